// A growable run of UTF-16 code units for staging text.
#ifndef KIVREL_MODEL_UNIT_BUFFER_H_
#define KIVREL_MODEL_UNIT_BUFFER_H_

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "model/prefault.h"

namespace Kivrel::internal {

// The reader stages a paragraph's text here. It grows without first zeroing
// what the next copy overwrites, as a vector's resize would. A long text's
// space comes as a large block: each doubling past the heap's mapping
// threshold would otherwise take fresh pages one fault at a time, a quarter
// of a run over paragraphs of megabytes.
class UnitBuffer {
 public:
  UnitBuffer() = default;
  UnitBuffer(const UnitBuffer&) = delete;
  UnitBuffer& operator=(const UnitBuffer&) = delete;
  ~UnitBuffer() { release(); }

  // Room for count more units at the end; they count as held at once.
  char16_t* extend(std::size_t count) {
    if (capacity_ - size_ < count) grow(size_ + count);
    char16_t* at = units_ + size_;
    size_ += count;
    return at;
  }
  void append(const char16_t* units, std::size_t count) {
    std::memcpy(extend(count), units, count * sizeof(char16_t));
  }
  const char16_t* data() const { return units_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Empties the buffer, and frees its space when it holds more than limit units.
  void clear(std::size_t limit) {
    size_ = 0;
    if (capacity_ > limit) release();
  }

 private:
  static constexpr std::size_t kFirstCapacity = 64;
  static constexpr std::size_t kLargeBytes = kPrefaultMinBytes;

  static char16_t* allocate(std::size_t capacity) {
    if (capacity > static_cast<std::size_t>(-1) / sizeof(char16_t)) throw std::bad_alloc();
    const std::size_t bytes = capacity * sizeof(char16_t);
    if (bytes < kLargeBytes) return new char16_t[capacity];
    if (void* p = allocateLargeBlock(bytes)) return static_cast<char16_t*>(p);
    throw std::bad_alloc();
  }
  void release() noexcept {
    const std::size_t bytes = capacity_ * sizeof(char16_t);
    if (bytes < kLargeBytes) {
      delete[] units_;
    } else {
      freeLargeBlock(units_, bytes);
    }
    units_ = nullptr;
    capacity_ = 0;
  }
  void grow(std::size_t atLeast) {
    const std::size_t capacity = std::max({atLeast, 2 * capacity_, kFirstCapacity});
    char16_t* bigger = allocate(capacity);
    if (size_ > 0) std::memcpy(bigger, units_, size_ * sizeof(char16_t));
    release();  // leaves size_ as it is
    units_ = bigger;
    capacity_ = capacity;
  }

  char16_t* units_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_UNIT_BUFFER_H_

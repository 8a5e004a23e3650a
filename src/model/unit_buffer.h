// A growable run of UTF-16 code units for staging text.
#ifndef KIVREL_MODEL_UNIT_BUFFER_H_
#define KIVREL_MODEL_UNIT_BUFFER_H_

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

namespace Kivrel::internal {

// The reader stages a paragraph's text here. It grows without first zeroing
// what the next copy overwrites, as a vector's resize would.
class UnitBuffer {
 public:
  // Room for count more units at the end; they count as held at once.
  char16_t* extend(std::size_t count) {
    if (capacity_ - size_ < count) grow(size_ + count);
    char16_t* at = units_.get() + size_;
    size_ += count;
    return at;
  }
  void append(const char16_t* units, std::size_t count) {
    std::memcpy(extend(count), units, count * sizeof(char16_t));
  }
  const char16_t* data() const { return units_.get(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Empties the buffer, and frees its space when it holds more than limit units.
  void clear(std::size_t limit) {
    size_ = 0;
    if (capacity_ > limit) {
      units_.reset();
      capacity_ = 0;
    }
  }

 private:
  static constexpr std::size_t kFirstCapacity = 64;
  void grow(std::size_t atLeast) {
    const std::size_t capacity = std::max({atLeast, 2 * capacity_, kFirstCapacity});
    std::unique_ptr<char16_t[]> bigger(new char16_t[capacity]);
    if (size_ > 0) std::memcpy(bigger.get(), units_.get(), size_ * sizeof(char16_t));
    units_ = std::move(bigger);
    capacity_ = capacity;
  }

  std::unique_ptr<char16_t[]> units_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_UNIT_BUFFER_H_

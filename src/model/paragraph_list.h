// The list of a page's paragraphs.
#ifndef KIVREL_MODEL_PARAGRAPH_LIST_H_
#define KIVREL_MODEL_PARAGRAPH_LIST_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

namespace Kivrel {

class MPParagraph;

// A growable list of paragraph pointers that keeps a single one in its own
// bytes. A std::vector takes 24 bytes and, for its first element, a heap
// chunk of 32: in a stream of one-paragraph pages, up to one per 16 bytes
// of input, that was a third of what the model paid for a page.
class ParagraphList {
 public:
  using value_type = MPParagraph*;
  using iterator = MPParagraph**;
  using const_iterator = MPParagraph* const*;

  ParagraphList() = default;
  ~ParagraphList() {
    if (onHeap()) ::operator delete(many_);
  }
  ParagraphList(const ParagraphList&) = delete;
  ParagraphList& operator=(const ParagraphList&) = delete;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  iterator begin() { return data(); }
  iterator end() { return data() + size_; }
  const_iterator begin() const { return data(); }
  const_iterator end() const { return data() + size_; }

  MPParagraph*& operator[](std::size_t i) { return data()[i]; }
  MPParagraph* operator[](std::size_t i) const { return data()[i]; }
  MPParagraph*& at(std::size_t i) {
    if (i >= size_) throw std::out_of_range("ParagraphList::at");
    return data()[i];
  }
  MPParagraph*& back() { return data()[size_ - 1]; }

  void push_back(MPParagraph* p) {
    if (size_ == capacity_) growTo(static_cast<std::size_t>(capacity_) * 2);
    data()[size_++] = p;
  }
  void pop_back() { --size_; }
  // Room for n paragraphs without another allocation.
  void reserve(std::size_t n) {
    if (n > capacity_) growTo(n);
  }
  // Keeps the storage.
  void clear() { size_ = 0; }
  iterator erase(iterator first, iterator last) {
    std::memmove(first, last, static_cast<std::size_t>(end() - last) * sizeof(MPParagraph*));
    size_ -= static_cast<std::uint32_t>(last - first);
    return first;
  }
  iterator erase(iterator position) { return erase(position, position + 1); }

 private:
  static constexpr std::size_t kMaxSize = UINT32_MAX;

  bool onHeap() const { return capacity_ > 1; }
  MPParagraph** data() { return onHeap() ? many_ : &one_; }
  MPParagraph* const* data() const { return onHeap() ? many_ : &one_; }

  void growTo(std::size_t n) {
    if (n > kMaxSize) {
      if (capacity_ == kMaxSize) throw std::bad_alloc();
      n = kMaxSize;
    }
    auto* grown = static_cast<MPParagraph**>(::operator new(n * sizeof(MPParagraph*)));
    if (size_ > 0) std::memcpy(grown, data(), size_ * sizeof(MPParagraph*));
    if (onHeap()) ::operator delete(many_);
    many_ = grown;
    capacity_ = static_cast<std::uint32_t>(n);
  }

  // one_ while the capacity is 1, many_ after.
  union {
    MPParagraph* one_ = nullptr;
    MPParagraph** many_;
  };
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 1;
};

}  // namespace Kivrel

#endif  // KIVREL_MODEL_PARAGRAPH_LIST_H_

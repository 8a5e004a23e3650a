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

// A growable list of paragraph pointers in one word: a single paragraph is
// kept in the word itself, more in a heap block that also holds the size
// and capacity. A std::vector takes 24 bytes and a heap chunk for its first
// element; in a stream of one-paragraph pages, up to one per 16 bytes of
// input, every byte of a page counts.
// The word tells an empty list by null, so a null listed alone goes to a
// heap block, and writing null over a lone paragraph empties the list.
class ParagraphList {
 public:
  using value_type = MPParagraph*;
  using iterator = MPParagraph**;
  using const_iterator = MPParagraph* const*;

  ParagraphList() = default;
  ~ParagraphList() {
    if (onHeap()) ::operator delete(heap());
  }
  ParagraphList(const ParagraphList&) = delete;
  ParagraphList& operator=(const ParagraphList&) = delete;

  std::size_t size() const { return onHeap() ? heap()->size : (word_ != nullptr); }
  bool empty() const { return size() == 0; }
  std::size_t capacity() const { return onHeap() ? heap()->capacity : 1; }

  iterator begin() { return data(); }
  iterator end() { return data() + size(); }
  const_iterator begin() const { return data(); }
  const_iterator end() const { return data() + size(); }

  MPParagraph*& operator[](std::size_t i) { return data()[i]; }
  MPParagraph* operator[](std::size_t i) const { return data()[i]; }
  MPParagraph*& at(std::size_t i) {
    if (i >= size()) throw std::out_of_range("ParagraphList::at");
    return data()[i];
  }
  MPParagraph*& back() { return data()[size() - 1]; }

  void push_back(MPParagraph* p) {
    if (!onHeap()) {
      if (word_ == nullptr && p != nullptr) {
        word_ = p;
        return;
      }
      growForOneMore();  // the lone paragraph, or a null, goes to a block
    } else if (heap()->size == heap()->capacity) {
      growForOneMore();
    }
    Heap* h = heap();
    items(h)[h->size++] = p;
  }
  void pop_back() {
    if (onHeap()) {
      --heap()->size;
    } else {
      word_ = nullptr;
    }
  }
  // Room for n paragraphs without another allocation.
  void reserve(std::size_t n) {
    if (n > capacity()) growTo(n);
  }
  // Room for one more, growing as push_back would: after it, the next
  // push_back cannot throw.
  void reserveOneMore() {
    if (size() == capacity()) growForOneMore();
  }
  // Keeps the storage.
  void clear() {
    if (onHeap()) {
      heap()->size = 0;
    } else {
      word_ = nullptr;
    }
  }
  iterator erase(iterator first, iterator last) {
    const std::size_t removed = static_cast<std::size_t>(last - first);
    if (removed == 0) return first;
    if (!onHeap()) {
      word_ = nullptr;  // the one paragraph
      return data();
    }
    std::memmove(first, last, static_cast<std::size_t>(end() - last) * sizeof(MPParagraph*));
    heap()->size -= static_cast<std::uint32_t>(removed);
    return first;
  }
  iterator erase(iterator position) { return erase(position, position + 1); }

 private:
  static constexpr std::size_t kMaxSize = UINT32_MAX;
  static constexpr std::uintptr_t kHeapTag = 1;

  // The block behind more than one paragraph; its items follow it.
  struct Heap {
    std::uint32_t size;
    std::uint32_t capacity;
  };
  static_assert(sizeof(Heap) % alignof(MPParagraph*) == 0);
  static MPParagraph** items(Heap* h) { return reinterpret_cast<MPParagraph**>(h + 1); }

  std::uintptr_t bits() const { return reinterpret_cast<std::uintptr_t>(word_); }
  bool onHeap() const { return bits() & kHeapTag; }
  Heap* heap() const { return reinterpret_cast<Heap*>(bits() & ~kHeapTag); }
  MPParagraph** data() { return onHeap() ? items(heap()) : &word_; }
  MPParagraph* const* data() const { return onHeap() ? items(heap()) : &word_; }

  // Doubles a block; a list without one gets a block for two.
  void growForOneMore() { growTo(onHeap() ? std::size_t{heap()->capacity} * 2 : 2); }

  void growTo(std::size_t n) {
    if (n > kMaxSize) {
      if (capacity() == kMaxSize) throw std::bad_alloc();
      n = kMaxSize;
    }
    auto* grown = static_cast<Heap*>(::operator new(sizeof(Heap) + n * sizeof(MPParagraph*)));
    const std::size_t count = size();
    if (count > 0) std::memcpy(items(grown), data(), count * sizeof(MPParagraph*));
    grown->size = static_cast<std::uint32_t>(count);
    grown->capacity = static_cast<std::uint32_t>(n);
    if (onHeap()) ::operator delete(heap());
    word_ = reinterpret_cast<MPParagraph*>(reinterpret_cast<std::uintptr_t>(grown) | kHeapTag);
  }

  // Null when empty, the paragraph when it is the only one and the list has
  // never grown, else the heap block's address with kHeapTag set.
  MPParagraph* word_ = nullptr;
};

}  // namespace Kivrel

#endif  // KIVREL_MODEL_PARAGRAPH_LIST_H_

// The text of one paragraph, in the space of a pointer.
#ifndef KIVREL_MODEL_PARAGRAPH_TEXT_H_
#define KIVREL_MODEL_PARAGRAPH_TEXT_H_

#include <unicode/unistr.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/checked_string.h"

namespace Kivrel {

// A paragraph's code units behind their length, in storage the model's arena
// holds or, for a text assigned by hand, on the heap. A UnicodeString in
// every paragraph would take 64 bytes, most of a paragraph object, while the
// passes only ever read a text: this takes a quarter off a large document's
// peak memory, and half off that of a stream of empty paragraphs.
class ParagraphText {
 public:
  ParagraphText() = default;
  ~ParagraphText() { releaseOwned(); }
  ParagraphText(const ParagraphText&) = delete;
  ParagraphText& operator=(const ParagraphText&) = delete;
  ParagraphText(ParagraphText&& other) noexcept {
    setBits(other.bits());
    other.setBits(0);
  }
  ParagraphText& operator=(ParagraphText&& other) noexcept {
    if (this != &other) {
      releaseOwned();
      setBits(other.bits());
      other.setBits(0);
    }
    return *this;
  }

  // Bytes of storage that hold n units and their length.
  static constexpr std::size_t storageBytes(std::size_t n) {
    return kUnitsOffset + n * sizeof(char16_t);
  }

  // Copies n units into storage (storageBytes(n) bytes aligned to at least
  // 4, which outlive this text) and makes them this text.
  void setStored(void* storage, const char16_t* units, int32_t n) {
    // Copied before the old storage goes: units may lie in it.
    char* bytes = n > 0 ? static_cast<char*>(storage) : nullptr;
    if (bytes) {
      std::memcpy(bytes, &n, sizeof n);
      std::memcpy(bytes + kUnitsOffset, units, static_cast<std::size_t>(n) * sizeof(char16_t));
    }
    releaseOwned();
    setBits(reinterpret_cast<std::uintptr_t>(bytes));
  }

  // Makes this text read the storage other's text reads. REQUIRES: other
  // does not own it (setStored gave it), and it outlives this text; other
  // itself may go first.
  void share(const ParagraphText& other) {
    releaseOwned();
    setBits(other.bits() & ~kOwned);
  }

  // A copy of text on the heap.
  ParagraphText& operator=(const icu::UnicodeString& text) {
    const int32_t n = text.isBogus() ? 0 : text.length();
    void* storage = n > 0 ? ::operator new(storageBytes(static_cast<std::size_t>(n))) : nullptr;
    setStored(storage, text.getBuffer(), n);
    if (storage) setBits(bits() | kOwned);
    return *this;
  }

  bool isEmpty() const { return bits() == 0; }
  int32_t length() const {
    int32_t n = 0;
    if (bits()) std::memcpy(&n, stored(), sizeof n);
    return n;
  }
  // Null for an empty text.
  const char16_t* units() const {
    return bits() ? reinterpret_cast<const char16_t*>(stored() + kUnitsOffset) : nullptr;
  }
  // A read-only string over the units. A copy made from it is a real one,
  // but a move takes the alias along: what may outlive the model uses copy().
  icu::UnicodeString view() const { return icu::UnicodeString(false, units(), length()); }
  // Throws std::bad_alloc where ICU has no memory for the copy.
  icu::UnicodeString copy() const {
    icu::UnicodeString text(units(), length());
    text::throwIfBogus(text);
    return text;
  }

 private:
  static constexpr std::size_t kUnitsOffset = sizeof(int32_t);
  static constexpr std::uintptr_t kOwned = 1;  // storage is at least 4-aligned

  // Kept as bytes, so that a paragraph needs no more than 4-byte alignment
  // and its five 4-byte fields follow without padding: 28 bytes, not 32.
  std::uintptr_t bits() const {
    std::uintptr_t b;
    std::memcpy(&b, bits_, sizeof b);
    return b;
  }
  void setBits(std::uintptr_t b) { std::memcpy(bits_, &b, sizeof b); }
  const char* stored() const { return reinterpret_cast<const char*>(bits() & ~kOwned); }
  void releaseOwned() {
    if (bits() & kOwned) ::operator delete(const_cast<char*>(stored()));
    setBits(0);
  }

  // The storage's address, kOwned when this text owns it.
  unsigned char bits_[sizeof(std::uintptr_t)] = {};
};

}  // namespace Kivrel

#endif  // KIVREL_MODEL_PARAGRAPH_TEXT_H_

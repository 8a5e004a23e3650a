// The document model of one run: pages, paragraphs, character styles.
#ifndef KIVREL_MODEL_MODEL_H_
#define KIVREL_MODEL_MODEL_H_

#include <unicode/unistr.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kivrel/record_writer.h"
#include "model/little_endian.h"
#include "model/paragraph_arena.h"
#include "model/record_format.h"

namespace Kivrel {

// Initial point of every paragraph: ordinary text without a heading number.
constexpr int kPlainPoint = 10;

class MPParagraph {
 public:
  icu::UnicodeString text;
  int styleIndex = 0;
  int point = kPlainPoint;  // >= 0: outline point; < 0: a ReasonCode
  std::int32_t tableCells = 0;
  std::int32_t cx = 0;
  std::int32_t cy = 0;

  // The reader takes paragraphs from the model's arena
  // (new (arena) MPParagraph); plain new makes a single one. delete ends
  // either.
  static void* operator new(std::size_t size) {
    return internal::ParagraphArena::allocateSingle(size);
  }
  static void* operator new(std::size_t size, internal::ParagraphArena& arena) {
    return arena.allocate(size);
  }
  static void operator delete(void* p) noexcept { internal::ParagraphArena::release(p); }
  static void operator delete(void* p, internal::ParagraphArena&) noexcept {
    internal::ParagraphArena::release(p);
  }
};

// Page flag bits.
enum PageFlag : std::uint32_t {
  kPageAfterRefusedTitle = 0x2,
  kPageExcluded = 0x4,
};

class MPPage {
 public:
  MPPage(std::int32_t width, std::int32_t height, bool specialSection)
      : width(width), height(height), specialSection(specialSection) {}
  ~MPPage() {
    for (MPParagraph* p : paragraphs) delete p;
  }
  MPPage(const MPPage&) = delete;
  MPPage& operator=(const MPPage&) = delete;

  std::vector<MPParagraph*> paragraphs;  // owned
  std::uint32_t flags = 0;
  std::int32_t width;
  std::int32_t height;
  bool specialSection;
};

struct StyleEntry {
  int useCount = 0;
  unsigned char format[kCharacterFormatBodySize] = {};

  std::uint32_t flag() const { return load<std::uint32_t>(charformat::kFlag); }
  std::int32_t fontNo() const { return load<std::int32_t>(charformat::kFontNo); }
  std::int32_t charSize() const { return load<std::int32_t>(charformat::kCharSize); }
  std::uint32_t value56() const { return load<std::uint32_t>(charformat::kValue56); }

 private:
  template <typename T>
  T load(std::size_t offset) const {
    return internal::loadLe<T>(format + offset);
  }
};

struct PointInfo {
  int styleIndex = 0;
  int count = 0;
};

namespace internal {

// The paragraphs on all the pages.
inline std::size_t paragraphCount(const std::vector<MPPage*>& pages) {
  std::size_t total = 0;
  for (const MPPage* page : pages) {
    if (page) total += page->paragraphs.size();
  }
  return total;
}

}  // namespace internal

}  // namespace Kivrel

#endif  // KIVREL_MODEL_MODEL_H_

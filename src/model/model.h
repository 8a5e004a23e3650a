// The document model of one run: pages, paragraphs, character styles.
#ifndef KIVREL_MODEL_MODEL_H_
#define KIVREL_MODEL_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kivrel/record_writer.h"
#include "model/little_endian.h"
#include "model/paragraph_arena.h"
#include "model/paragraph_list.h"
#include "model/paragraph_text.h"
#include "model/record_format.h"

namespace Kivrel {

// Initial point of every paragraph: ordinary text without a heading number.
constexpr int kPlainPoint = 10;

class MPParagraph {
 public:
  ParagraphText text;
  int styleIndex = 0;
  int point = kPlainPoint;  // >= 0: outline point; < 0: a ReasonCode
  std::int32_t tableCells = 0;
  std::int32_t cx = 0;
  std::int32_t cy = 0;

  // The reader takes paragraphs from the model's arena
  // (new (arena) MPParagraph), which ends them; plain new makes a single one,
  // which delete ends.
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void* operator new(std::size_t size, internal::ParagraphArena& arena) {
    return arena.allocate(size);
  }
  static void operator delete(void* p) noexcept { ::operator delete(p); }
  static void operator delete(void*, internal::ParagraphArena&) noexcept {}
};
static_assert(alignof(MPParagraph) >= 2, "a page's list tags its heap block in the low bit");

// Page flag bits.
enum PageFlag : std::uint32_t {
  kPageAfterRefusedTitle = 0x2,
  kPageExcluded = 0x4,
};

class MPPage {
 public:
  MPPage(std::int32_t width, std::int32_t height, bool specialSection)
      : width(width), height(height), specialSection(specialSection) {}
  // Deletes the paragraphs it lists: by then only single ones (releaseModel
  // and discardFromModel take the arena's off first).
  ~MPPage() {
    for (MPParagraph* p : paragraphs) delete p;
  }
  MPPage(const MPPage&) = delete;
  MPPage& operator=(const MPPage&) = delete;

  // The reader takes pages from the model's arena, as it does paragraphs.
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void* operator new(std::size_t size, internal::ParagraphArena& arena) {
    return arena.allocatePage(size);
  }
  static void operator delete(void* p) noexcept { ::operator delete(p); }
  static void operator delete(void*, internal::ParagraphArena&) noexcept {}

  ParagraphList paragraphs;  // owned
  std::uint32_t flags = 0;
  std::int32_t width;
  std::int32_t height;
  bool specialSection;
};
static_assert(sizeof(MPPage) <= 24, "a page per 16 bytes of stream: keep it small");

// The fields of a character format that tell styles apart. They are all a
// run reads back from a style, so an entry keeps no more of the format:
// a stream of distinct formats then costs the model a quarter of its size.
struct StyleFormat {
  std::uint32_t flag = 0;
  std::int32_t fontNo = 0;
  std::int32_t charSize = 0;
  std::uint16_t word28 = 0;
  std::uint16_t word30 = 0;
  std::uint32_t value56 = 0;
  std::uint32_t value100 = 0;

  // body: a CharacterFormat body (kCharacterFormatBodySize bytes).
  static StyleFormat of(const unsigned char* body) {
    StyleFormat f;
    f.flag = internal::loadLe<std::uint32_t>(body + charformat::kFlag);
    f.fontNo = internal::loadLe<std::int32_t>(body + charformat::kFontNo);
    f.charSize = internal::loadLe<std::int32_t>(body + charformat::kCharSize);
    f.word28 = internal::loadLe<std::uint16_t>(body + charformat::kWord28);
    f.word30 = internal::loadLe<std::uint16_t>(body + charformat::kWord30);
    f.value56 = internal::loadLe<std::uint32_t>(body + charformat::kValue56);
    f.value100 = internal::loadLe<std::uint32_t>(body + charformat::kValue100);
    return f;
  }
  bool operator==(const StyleFormat& o) const {
    return flag == o.flag && fontNo == o.fontNo && charSize == o.charSize && word28 == o.word28 &&
           word30 == o.word30 && value56 == o.value56 && value100 == o.value100;
  }
};

struct StyleEntry {
  int useCount = 0;
  StyleFormat format;

  // The reader takes entries from the model's arena, as it does paragraphs.
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void* operator new(std::size_t size, internal::ParagraphArena& arena) {
    return arena.allocateStyle(size);
  }
  static void operator delete(void* p) noexcept { ::operator delete(p); }
  static void operator delete(void*, internal::ParagraphArena&) noexcept {}

  std::uint32_t flag() const { return format.flag; }
  std::int32_t fontNo() const { return format.fontNo; }
  std::int32_t charSize() const { return format.charSize; }
  std::uint32_t value56() const { return format.value56; }
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

// The record stream reader: builds the pages, paragraphs and style table of a
// run and writes one log line per record.
#include <array>
#include <cstdint>
#include <cstring>
#include <istream>
#include <limits>
#include <ostream>
#include <vector>

#include "interface/kivrant_internals.h"
#include "kivrel/kivrant.h"
#include "kivrel/record_writer.h"
#include "model/block_input.h"
#include "model/little_endian.h"
#include "model/list_new.h"
#include "model/log_text.h"
#include "model/paragraph_arena.h"
#include "model/prefault.h"
#include "model/model.h"
#include "model/style_table.h"
#include "model/unit_buffer.h"
#include "model/wrapping.h"

namespace Kivrel {

namespace {

constexpr std::size_t kHeaderFieldSize = 4;
// Long Text bodies are taken in pieces of this size, so memory follows what
// the input holds, not what a header claims.
constexpr std::size_t kChunkSize = internal::BlockInput::kMaxRead;

// The log's fixed texts, as Shift-JIS bytes (the Japanese in the comments).
constexpr char kHeaderType[] = "recordType = ";
constexpr char kHeaderLength[] = ", recordLength = ";
constexpr char kRule[] = "----------------------------------";  // 34 hyphens
// ページ番号
constexpr char kPageNumber[] = "\x83y\x81[\x83W\x94\xD4\x8D\x86";
// [表の行書式]
constexpr char kTableRowFormatLine[] = "[\x95\x5C\x82\xCC\x8Ds\x8F\x91\x8E\xAE]\n";
// [段落書式]
constexpr char kParagraphFormatLabel[] = "[\x92i\x97\x8E\x8F\x91\x8E\xAE]";
// 文字数
constexpr char kCharCountLabel[] = "\x95\xB6\x8E\x9A\x90\x94";
// 文字サイズ
constexpr char kCharSizeLabel[] = "\x95\xB6\x8E\x9A\x83T\x83\x43\x83Y";
// [文字書式]
constexpr char kCharacterFormatLabel[] = "[\x95\xB6\x8E\x9A\x8F\x91\x8E\xAE]";
// フォントNO
constexpr char kFontNoLabel[] = "\x83t\x83H\x83\x93\x83gNO";
// スタイルNO
constexpr char kStyleNoLabel[] = "\x83X\x83^\x83\x43\x83\x8BNO";
// [文字列]
constexpr char kTextLabel[] = "[\x95\xB6\x8E\x9A\x97\xF1]";
// [セル終了]
constexpr char kCellEndLine[] = "[\x83Z\x83\x8B\x8FI\x97\xB9]\n";
// [表の行終了]
constexpr char kTableRowEndLine[] = "[\x95\x5C\x82\xCC\x8Ds\x8FI\x97\xB9]\n";
// [改行]
constexpr char kLineBreakLine[] = "[\x89\xFC\x8Ds]\n";
// [段落位置]
constexpr char kPositionLabel[] = "[\x92i\x97\x8E\x88\xCA\x92u]";

constexpr char16_t kTabText[] = u"    ";  // a Tab record stands for four spaces

std::uint32_t loadU32(const unsigned char* p) { return internal::loadLe<std::uint32_t>(p); }
std::int32_t loadI32(const unsigned char* p) { return internal::loadLe<std::int32_t>(p); }
void storeU32(unsigned char* p, std::uint32_t v) { internal::storeLe(p, v); }

class RecordReader {
 public:
  RecordReader(Kivrant& k, std::istream& in, internal::ParagraphArena& arena)
      : in_(in),
        log_(KivrantInternals::logStream(k)),
        pages_(KivrantInternals::pages(k)),
        pageCount_(KivrantInternals::pageCount(k)),
        styles_(KivrantInternals::styleTable(k)),
        styleIndex_(styles_, &arena),
        arena_(arena) {}
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;
  ~RecordReader() {
    try {
      storePendingText();
    } catch (...) {  // leaving by an exception already; the run drops the model
    }
  }

  void run() {
    for (;;) {
      std::uint32_t type = 0;
      std::uint32_t length = 0;
      if (const unsigned char* header = in_.readBuffered(2 * kHeaderFieldSize)) {
        type = loadU32(header);
        length = loadU32(header + kHeaderFieldSize);
      } else if (!readHeaderByField(type, length)) {
        return storePendingText();
      }
      if (log_) *log_ << kHeaderType << type << kHeaderLength << length << '\n';
      dispatch(type, length);
    }
  }

 private:
  // The header as two reads, where the input may end inside it. False when
  // the type field could not be read.
  bool readHeaderByField(std::uint32_t& type, std::uint32_t& length) {
    std::size_t got = 0;
    const unsigned char* bytes = in_.read(kHeaderFieldSize, got);
    if (in_.failed() || got == 0) return false;
    type = loadU32(bytes);
    // Unchecked: a cut length keeps the bytes read as its low bytes, and the
    // record then meets the failed stream.
    bytes = in_.read(kHeaderFieldSize, got);
    unsigned char field[kHeaderFieldSize] = {};
    std::memcpy(field, bytes, got);
    length = loadU32(field);
    return true;
  }

  void dispatch(std::uint32_t type, std::uint32_t length) {
    switch (static_cast<RecordType>(type)) {
      case RecordType::kSection:
        return onSection();
      case RecordType::kTableRowFormat:
        return onTableRowFormat();
      case RecordType::kReserved3:
        readBody(kReserved3BodySize);
        return;
      case RecordType::kParagraphFormat:
        return onParagraphFormat();
      case RecordType::kCharacterFormat:
        return onCharacterFormat();
      case RecordType::kText:
        return onText(length);
      case RecordType::kParagraphBreak:
        return onParagraphBreak(length);
      case RecordType::kCellEnd:
        return onCellEnd(length);
      case RecordType::kTableRowEnd:
        return onTableRowEnd(length);
      case RecordType::kLineBreak:
        return onLineBreak(length);
      case RecordType::kPageBreak:
        return onPageBreak(length);
      case RecordType::kTab:
        return onTab();
      case RecordType::kParagraphPosition:
        return onParagraphPosition();
    }
    skip(length);
  }

  void onSection() {
    const unsigned char* b = readBody(kSectionBodySize);
    if (!b) return;
    if (loadU32(b + section::kOptions) & kIgnoredSectionOption) return;
    bool allZero = true;
    for (std::size_t i = 0; i < kSectionBodySize && allZero; ++i) allZero = b[i] == 0;
    if (allZero) return;
    std::int32_t width = loadI32(b + section::kWidth);
    std::int32_t height = loadI32(b + section::kHeight);
    openPage(width, height, (loadU32(b + section::kFlags) & kSpecialSectionFlag) != 0);
    if (log_) {
      *log_ << "#sect " << kPageNumber << ' ' << pageCount_ << " width = " << width
            << " height = " << height << ' ' << kRule << '\n';
    }
  }

  void onTableRowFormat() {
    const unsigned char* b = readBody(kTableRowFormatBodySize);
    if (!b || !currentPage_) return;
    inTableRow_ = true;
    rowCells_ = loadI32(b + tablerow::kTableCells);
    if (log_) *log_ << kTableRowFormatLine;
    startParagraph();
  }

  void onParagraphFormat() {
    const unsigned char* b = readBody(kParagraphFormatBodySize);
    if (!b || !currentPage_) return;
    std::int32_t charSize = loadI32(b + paraformat::kCharSize);
    if (log_) {
      *log_ << kParagraphFormatLabel << " flag = " << loadU32(b + paraformat::kFlag)
            << " owflag = " << loadI32(b + paraformat::kOwflag) << ' ' << kCharCountLabel << " = "
            << loadI32(b + paraformat::kCharCount) << ' ' << kCharSizeLabel << " = " << charSize
            << " fi = " << loadI32(b + paraformat::kFi) << " li = " << loadI32(b + paraformat::kLi)
            << " ri = " << loadI32(b + paraformat::kRi) << " sb = " << loadI32(b + paraformat::kSb)
            << " sa = " << loadI32(b + paraformat::kSa) << '\n';
    }
    startParagraph();
    runMaxSize_ = charSize;
    runFlags_ = 0;
    if (inTableRow_) currentParagraph_->tableCells = rowCells_;
  }

  void onCharacterFormat() {
    const unsigned char* body = readBody(kCharacterFormatBodySize);
    if (!body || !currentParagraph_) return;
    // A copy to adjust: the input's bytes may be a read-only mapping.
    std::array<unsigned char, kCharacterFormatBodySize> format;
    std::memcpy(format.data(), body, format.size());
    unsigned char* b = format.data();
    runFlags_ |= loadU32(b + charformat::kFlag);
    storeU32(b + charformat::kFlag, runFlags_);
    std::int32_t charSize = loadI32(b + charformat::kCharSize);
    if (!(charSize > runMaxSize_)) {
      charSize = runMaxSize_;
      storeU32(b + charformat::kCharSize, static_cast<std::uint32_t>(charSize));
    }
    runMaxSize_ = charSize;
    int styleIndex = styleIndex_.findOrAdd(b);
    currentParagraph_->styleIndex = styleIndex;
    if (log_) {
      *log_ << '\t' << kCharacterFormatLabel << " flag = " << static_cast<std::int32_t>(runFlags_)
            << ' ' << kFontNoLabel << " = " << loadI32(b + charformat::kFontNo) << ' '
            << kCharSizeLabel << " = " << charSize << ' ' << kStyleNoLabel << " = " << styleIndex
            << '\n';
    }
  }

  void onText(std::uint32_t length) {
    if (!currentParagraph_) return skip(length);
    // In chunks of even size, so a code unit never straddles two reads; a cut
    // or odd last byte is dropped.
    std::uint32_t remaining = length;
    while (remaining > 0 && !in_.failed()) {
      std::size_t want = remaining < kChunkSize ? remaining : kChunkSize;
      std::size_t got = 0;
      const unsigned char* bytes = in_.read(want, got);
      std::size_t count = got / 2;
      if (count == 0) break;  // a lone odd byte: nothing to copy, and no buffer to copy into
      char16_t* units = pending_.extend(count);
      if constexpr (internal::kLittleEndianHost) {
        std::memcpy(units, bytes, count * sizeof(char16_t));  // the stream's order already
      } else {
        for (std::size_t i = 0; i < count; ++i) units[i] = internal::loadLe<char16_t>(bytes + 2 * i);
      }
      remaining -= static_cast<std::uint32_t>(got);
      if (got < want) break;
    }
    if (log_) {
      *log_ << "\t\t" << kTextLabel << " [";
      internal::writeLogText(*log_, pendingView());
      *log_ << "]\n";
    }
  }

  void onParagraphBreak(std::uint32_t length) {
    skip(length);
    if (currentPage_) startParagraph();
  }

  void onCellEnd(std::uint32_t length) {
    if (log_) *log_ << kCellEndLine;
    skip(length);
  }

  void onTableRowEnd(std::uint32_t length) {
    skip(length);
    if (!currentPage_) return;
    inTableRow_ = false;
    if (log_) *log_ << kTableRowEndLine;
    startParagraph();
  }

  void onLineBreak(std::uint32_t length) {
    skip(length);
    if (!currentPage_) return;
    if (log_) *log_ << kLineBreakLine;
    startParagraph();
  }

  void onPageBreak(std::uint32_t length) {
    if (!pages_.empty()) {
      const MPPage* last = pages_.back();
      openPage(last->width, last->height, last->specialSection);
      if (log_) *log_ << "#page " << kPageNumber << ' ' << pageCount_ << kRule << '\n';
    }
    skip(length);
  }

  void onTab() {
    if (currentParagraph_) pending_.append(kTabText, 4);
  }

  void onParagraphPosition() {
    const unsigned char* b = readBody(kParagraphPositionBodySize);
    if (!b || !currentParagraph_) return;
    currentParagraph_->cx = loadI32(b);
    currentParagraph_->cy = loadI32(b + 4);
    if (log_) {
      *log_ << kPositionLabel << " cx = " << currentParagraph_->cx
            << " cy = " << currentParagraph_->cy << '\n';
    }
  }

  // Reads a fixed-size body; null when the input ended first.
  const unsigned char* readBody(std::size_t size) {
    std::size_t got = 0;
    const unsigned char* body = in_.read(size, got);
    return got == size ? body : nullptr;
  }

  // Passes over a body by a relative seek, or by reading where the input
  // cannot seek (a pipe).
  void skip(std::uint32_t length) { in_.skip(length); }

  void openPage(std::int32_t width, std::int32_t height, bool specialSection) {
    MPPage* page = internal::listNew(
        pages_, [&] { return new (arena_) MPPage(width, height, specialSection); });
    // Pages tend to hold as many paragraphs as the one before: one
    // allocation for the list instead of one per doubling. At most the
    // previous page's count goes unused.
    if (currentPage_) page->paragraphs.reserve(currentPage_->paragraphs.size());
    currentPage_ = page;
    pageCount_ = internal::wrapAdd(pageCount_, 1);
  }

  void startParagraph() {
    storePendingText();  // first, so the text lands next to its paragraph
    if (currentParagraph_ && currentParagraph_->text.isEmpty()) listBlankAsOneBefore();
    // Every member has an initialiser; value-initialising would zero it all first.
    currentParagraph_ =
        internal::listNew(currentPage_->paragraphs, [this] { return new (arena_) MPParagraph; });
    paragraphPage_ = currentPage_;
  }

  // Most paragraph starts open a paragraph that stays blank, such as the one
  // between a paragraph's break and the next one's format: half of a
  // document's paragraphs, and all of a stream of bare starts. A finished
  // blank paragraph alike in every field to the last one kept is listed as
  // that one, and its storage goes back. Nothing tells the two apart: a
  // paragraph without text is only ever read, and what the passes write into
  // it (always a rejection, as it has no text) is read back only as that.
  void listBlankAsOneBefore() {
    MPParagraph* blank = currentParagraph_;
    if (lastBlank_ && alike(*blank, *lastBlank_) && arena_.isLast(blank, sizeof(MPParagraph))) {
      paragraphPage_->paragraphs.back() = lastBlank_;
      blank->~MPParagraph();
      arena_.reuseInPlaceOfLast(blank);
      currentParagraph_ = nullptr;
    } else {
      lastBlank_ = blank;
    }
  }

  static bool alike(const MPParagraph& a, const MPParagraph& b) {
    return a.styleIndex == b.styleIndex && a.point == b.point && a.tableCells == b.tableCells &&
           a.cx == b.cx && a.cy == b.cy;
  }

  // The current paragraph's whole text (it gets none before it is current).
  icu::UnicodeString pendingView() const {
    return icu::UnicodeString(false, pending_.data(), static_cast<int32_t>(pending_.size()));
  }

  // Gives the current paragraph its text in a buffer of its exact size:
  // appending run by run would leave a quarter and more unused.
  void storePendingText() {
    if (!currentParagraph_ || pending_.empty()) return;
    const std::size_t n = pending_.size();
    if (sameAsLastStored()) {
      // Running headers, repeated labels: a text equal to the last one
      // stored is not stored again, as nothing changes a text once read.
      currentParagraph_->text.share(lastStored_->text);
    } else if (n <= static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
      // In the arena, mostly right after its paragraph, so the paragraph
      // holds no memory of its own and the model goes without a walk over
      // it. Beyond what a string can hold, the text stays empty, as a failed
      // append leaves it; where memory runs out, the run fails instead of
      // going on without the text.
      void* stored = arena_.allocateBytes(ParagraphText::storageBytes(n));
      currentParagraph_->text.setStored(stored, pending_.data(), static_cast<int32_t>(n));
      lastStored_ = currentParagraph_;
    }
    // A huge paragraph does not keep its staging space for the rest of the run.
    pending_.clear(16 * kChunkSize);
  }

  bool sameAsLastStored() const {
    if (!lastStored_) return false;
    const ParagraphText& last = lastStored_->text;
    return static_cast<std::size_t>(last.length()) == pending_.size() &&
           std::memcmp(last.units(), pending_.data(), pending_.size() * sizeof(char16_t)) == 0;
  }

  internal::BlockInput in_;
  std::ostream* log_;
  std::vector<MPPage*>& pages_;
  int& pageCount_;
  std::vector<StyleEntry*>& styles_;
  internal::StyleTableIndex styleIndex_;
  internal::ParagraphArena& arena_;

  MPPage* currentPage_ = nullptr;
  MPParagraph* currentParagraph_ = nullptr;
  MPPage* paragraphPage_ = nullptr;  // the page whose last paragraph is currentParagraph_
  MPParagraph* lastBlank_ = nullptr;  // the blank paragraph others alike are listed as
  // The paragraph whose text was stored last, in the arena (empty and
  // shared texts store nothing).
  const MPParagraph* lastStored_ = nullptr;
  bool inTableRow_ = false;
  std::int32_t rowCells_ = 0;
  std::uint32_t runFlags_ = 0;
  std::int32_t runMaxSize_ = 0;

  // Text and tab spaces of currentParagraph_, stored into it when the next
  // paragraph starts or the input ends.
  internal::UnitBuffer pending_;
};

}  // namespace

void Kivrant::analyzePages(std::istream& in) {
  if (!paragraphArena) paragraphArena = new internal::ParagraphArena;
  RecordReader reader(*this, in, *paragraphArena);
  reader.run();
  // The passes add nothing to the model.
  paragraphArena->releaseUnusedTail();
}

}  // namespace Kivrel

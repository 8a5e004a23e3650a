// Writes record streams, the input format of Kivrant::extract.
#ifndef KIVREL_RECORD_WRITER_H_
#define KIVREL_RECORD_WRITER_H_

#include <unicode/unistr.h>

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string_view>

#include "kivrel/export.h"

namespace Kivrel {

// Record types of the stream format.
enum class RecordType : std::uint32_t {
  kSection = 1,
  kTableRowFormat = 2,
  kReserved3 = 3,
  kParagraphFormat = 4,
  kCharacterFormat = 5,
  kText = 6,
  kParagraphBreak = 7,
  kCellEnd = 8,
  kTableRowEnd = 9,
  kLineBreak = 10,
  kPageBreak = 11,
  kTab = 19,
  kParagraphPosition = 20,
};

// Body sizes of the fixed-size records; part of the format.
constexpr std::size_t kSectionBodySize = 356;
constexpr std::size_t kTableRowFormatBodySize = 64;
constexpr std::size_t kReserved3BodySize = 80;
constexpr std::size_t kParagraphFormatBodySize = 1408;
constexpr std::size_t kCharacterFormatBodySize = 120;
constexpr std::size_t kParagraphPositionBodySize = 8;
constexpr std::size_t kRecordHeaderSize = 8;
// A record whose body the reader skips, with a recordLength this large or
// larger, moves the reader to the end of the stream.
constexpr std::uint32_t kSkipToEndLength = 0x80000000u;

// True when head, the first four bytes of an input (all of a shorter one),
// is the header of a Section record, with which every record stream opens.
// extract reads other bytes too, as an empty document, so a host that takes
// files from users checks this to tell them they gave the wrong one.
inline bool opensRecordStream(std::string_view head) {
  constexpr char kSectionType[4] = {1, 0, 0, 0};
  return head.size() >= 4 && head.substr(0, 4) == std::string_view(kSectionType, 4);
}

struct SectionFields {
  std::uint32_t sectionFlags = 0;    // 0x80: special section
  std::uint32_t sectionOptions = 0;  // 0x02: the reader ignores the record
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// The two bits of SectionFields that the reader looks at.
constexpr std::uint32_t kSpecialSectionFlag = 0x80;    // in sectionFlags
constexpr std::uint32_t kIgnoredSectionOption = 0x02;  // in sectionOptions

struct ParagraphFormatFields {
  std::uint32_t flag = 0;
  std::int32_t owflag = 0;
  std::int32_t charCount = 0;
  std::int32_t charSize = 0;  // starting character size (half-points)
  std::int32_t fi = 0;
  std::int32_t li = 0;
  std::int32_t ri = 0;
  std::int32_t sb = 0;
  std::int32_t sa = 0;
};

struct CharacterFormatFields {
  std::uint32_t flag = 0;  // 0x4: bold
  std::int32_t fontNo = 0;
  std::int32_t charSize = 0;  // half-points
  std::uint16_t word28 = 0;
  std::uint16_t word30 = 0;
  std::uint32_t value56 = 0;  // non-zero: emphasised
  std::uint32_t value100 = 0;
};

// One call per record; every call writes a complete record (header and body
// of the exact size the reader consumes). A text of 2^30 code units or more,
// or of more than 2^30 UTF-8 bytes, goes out as several Text records, which
// the reader appends alike. The stream must be binary and must outlive the
// writer. Write errors show in the stream's state.
class KIVREL_EXPORT RecordWriter {
 public:
  explicit RecordWriter(std::ostream& out);

  void section(const SectionFields& fields);
  void tableRowFormat(std::int32_t tableCells);
  void paragraphFormat(const ParagraphFormatFields& fields);
  void characterFormat(const CharacterFormatFields& fields);
  void text(const icu::UnicodeString& text);
  void text(std::u16string_view text);
  void text(const char16_t* text) { this->text(std::u16string_view(text)); }
  // Invalid UTF-8 becomes U+FFFD.
  void textUtf8(std::string_view utf8);
  void paragraphBreak();
  void cellEnd();
  void tableRowEnd();
  void lineBreak();
  void pageBreak();
  void tab();
  void paragraphPosition(std::int32_t cx, std::int32_t cy);
  // Any record, with a recordLength that need not match the body.
  void raw(std::uint32_t recordType, std::uint32_t recordLength, const void* body,
           std::size_t bodySize);

  // Bytes written so far.
  std::uint64_t bytesWritten() const { return bytesWritten_; }

 private:
  void header(std::uint32_t recordType, std::uint32_t recordLength);
  void bytes(const void* data, std::size_t size);

  std::ostream& out_;
  std::uint64_t bytesWritten_ = 0;
};

}  // namespace Kivrel

#endif  // KIVREL_RECORD_WRITER_H_

// Writes record streams in the layout the record reader consumes.
#include "kivrel/record_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "interface/text_pieces.h"
#include "model/little_endian.h"
#include "model/record_format.h"

namespace Kivrel {

namespace {

// Fields at byte offsets of a record body, little-endian on any host.
void storeU32(unsigned char* body, std::size_t offset, std::uint32_t v) {
  internal::storeLe(body + offset, v);
}
void storeI32(unsigned char* body, std::size_t offset, std::int32_t v) {
  internal::storeLe(body + offset, v);
}
void storeU16(unsigned char* body, std::size_t offset, std::uint16_t v) {
  internal::storeLe(body + offset, v);
}

constexpr std::uint32_t typeValue(RecordType type) { return static_cast<std::uint32_t>(type); }

// Text bodies are written in bounded pieces so a long run needs no second
// copy of the whole text.
constexpr std::size_t kTextChunkUnits = 4096;

}  // namespace

RecordWriter::RecordWriter(std::ostream& out) : out_(out) {}

void RecordWriter::header(std::uint32_t recordType, std::uint32_t recordLength) {
  unsigned char h[kRecordHeaderSize];
  storeU32(h, 0, recordType);
  storeU32(h, 4, recordLength);
  bytes(h, sizeof h);
}

void RecordWriter::bytes(const void* data, std::size_t size) {
  if (size == 0) return;
  out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  bytesWritten_ += size;
}

void RecordWriter::section(const SectionFields& fields) {
  std::array<unsigned char, kSectionBodySize> body{};
  storeU32(body.data(), section::kFlags, fields.sectionFlags);
  storeU32(body.data(), section::kOptions, fields.sectionOptions);
  storeI32(body.data(), section::kWidth, fields.width);
  storeI32(body.data(), section::kHeight, fields.height);
  header(typeValue(RecordType::kSection), kSectionBodySize);
  bytes(body.data(), body.size());
}

void RecordWriter::tableRowFormat(std::int32_t tableCells) {
  std::array<unsigned char, kTableRowFormatBodySize> body{};
  storeI32(body.data(), tablerow::kTableCells, tableCells);
  header(typeValue(RecordType::kTableRowFormat), kTableRowFormatBodySize);
  bytes(body.data(), body.size());
}

void RecordWriter::paragraphFormat(const ParagraphFormatFields& fields) {
  std::array<unsigned char, kParagraphFormatBodySize> body{};
  unsigned char* b = body.data();
  storeU32(b, paraformat::kFlag, fields.flag);
  storeI32(b, paraformat::kOwflag, fields.owflag);
  storeI32(b, paraformat::kCharCount, fields.charCount);
  storeI32(b, paraformat::kCharSize, fields.charSize);
  storeI32(b, paraformat::kFi, fields.fi);
  storeI32(b, paraformat::kLi, fields.li);
  storeI32(b, paraformat::kRi, fields.ri);
  storeI32(b, paraformat::kSb, fields.sb);
  storeI32(b, paraformat::kSa, fields.sa);
  header(typeValue(RecordType::kParagraphFormat), kParagraphFormatBodySize);
  bytes(b, body.size());
}

void RecordWriter::characterFormat(const CharacterFormatFields& fields) {
  std::array<unsigned char, kCharacterFormatBodySize> body{};
  unsigned char* b = body.data();
  storeU32(b, charformat::kFlag, fields.flag);
  storeI32(b, charformat::kFontNo, fields.fontNo);
  storeI32(b, charformat::kCharSize, fields.charSize);
  storeU16(b, charformat::kWord28, fields.word28);
  storeU16(b, charformat::kWord30, fields.word30);
  storeU32(b, charformat::kValue56, fields.value56);
  storeU32(b, charformat::kValue100, fields.value100);
  header(typeValue(RecordType::kCharacterFormat), kCharacterFormatBodySize);
  bytes(b, body.size());
}

void RecordWriter::text(const icu::UnicodeString& text) {
  this->text(std::u16string_view(text.getBuffer(), static_cast<std::size_t>(text.length())));
}

void RecordWriter::text(std::u16string_view text) {
  do {
    const std::u16string_view record = text.substr(0, internal::kMaxTextRecordUnits);
    text.remove_prefix(record.size());
    header(typeValue(RecordType::kText), static_cast<std::uint32_t>(record.size() * 2));
    unsigned char chunk[kTextChunkUnits * 2];
    for (std::size_t start = 0; start < record.size(); start += kTextChunkUnits) {
      std::size_t n = std::min(kTextChunkUnits, record.size() - start);
      for (std::size_t i = 0; i < n; ++i) storeU16(chunk, i * 2, record[start + i]);
      bytes(chunk, n * 2);
    }
  } while (!text.empty());
}

void RecordWriter::textUtf8(std::string_view utf8) {
  do {
    const std::size_t n = internal::firstUtf8PieceBytes(utf8, internal::kMaxUtf8PieceBytes);
    text(icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(n))));
    utf8.remove_prefix(n);
  } while (!utf8.empty());
}

void RecordWriter::paragraphBreak() { header(typeValue(RecordType::kParagraphBreak), 0); }

void RecordWriter::cellEnd() { header(typeValue(RecordType::kCellEnd), 0); }

void RecordWriter::tableRowEnd() { header(typeValue(RecordType::kTableRowEnd), 0); }

void RecordWriter::lineBreak() { header(typeValue(RecordType::kLineBreak), 0); }

void RecordWriter::pageBreak() { header(typeValue(RecordType::kPageBreak), 0); }

// The reader consumes nothing after a Tab header, so its length must be 0.
void RecordWriter::tab() { header(typeValue(RecordType::kTab), 0); }

void RecordWriter::paragraphPosition(std::int32_t cx, std::int32_t cy) {
  unsigned char body[kParagraphPositionBodySize];
  storeI32(body, 0, cx);
  storeI32(body, 4, cy);
  header(typeValue(RecordType::kParagraphPosition), kParagraphPositionBodySize);
  bytes(body, sizeof body);
}

void RecordWriter::raw(std::uint32_t recordType, std::uint32_t recordLength, const void* body,
                       std::size_t bodySize) {
  header(recordType, recordLength);
  bytes(body, bodySize);
}

}  // namespace Kivrel

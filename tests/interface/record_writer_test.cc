// The record writer: exact record sizes, field offsets and byte order.
#include "kivrel/record_writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <utility>
#include <vector>

namespace Kivrel {
namespace {

std::uint32_t u32(const std::string& s, std::size_t at) {
  return std::uint32_t{static_cast<unsigned char>(s[at])} |
         (std::uint32_t{static_cast<unsigned char>(s[at + 1])} << 8) |
         (std::uint32_t{static_cast<unsigned char>(s[at + 2])} << 16) |
         (std::uint32_t{static_cast<unsigned char>(s[at + 3])} << 24);
}

struct WriterCase {
  const char* name;
  std::function<void(RecordWriter&)> write;
  std::uint32_t type;
  std::uint32_t length;
  std::size_t bodySize;
  std::vector<std::pair<std::size_t, std::uint32_t>> fields;  // body offset -> value
};

void PrintTo(const WriterCase& c, std::ostream* os) { *os << c.name; }

class RecordWriterRecords : public ::testing::TestWithParam<WriterCase> {};

TEST_P(RecordWriterRecords, WritesHeaderBodySizeAndFields) {
  const WriterCase& c = GetParam();
  std::ostringstream out;
  RecordWriter w(out);
  c.write(w);
  std::string bytes = out.str();
  ASSERT_EQ(bytes.size(), kRecordHeaderSize + c.bodySize);
  EXPECT_EQ(w.bytesWritten(), bytes.size());
  EXPECT_EQ(u32(bytes, 0), c.type);
  EXPECT_EQ(u32(bytes, 4), c.length);
  std::size_t nonZero = 0;
  for (auto [offset, value] : c.fields) {
    EXPECT_EQ(u32(bytes, kRecordHeaderSize + offset), value) << "offset " << offset;
  }
  for (std::size_t i = kRecordHeaderSize; i < bytes.size(); ++i) nonZero += bytes[i] != 0;
  std::size_t expectedNonZero = 0;
  for (auto [offset, value] : c.fields) {
    for (int b = 0; b < 4; ++b) expectedNonZero += ((value >> (8 * b)) & 0xFF) != 0;
  }
  EXPECT_EQ(nonZero, expectedNonZero) << "bytes outside the named fields are zero";
}

INSTANTIATE_TEST_SUITE_P(
    Records, RecordWriterRecords,
    ::testing::Values(
        WriterCase{"Section",
                   [](RecordWriter& w) {
                     w.section({0x80, 0x02, 12000, -5});
                   },
                   1,
                   356,
                   356,
                   {{0, 0x80}, {4, 0x02}, {8, 12000}, {12, 0xFFFFFFFBu}}},
        WriterCase{
            "TableRowFormat", [](RecordWriter& w) { w.tableRowFormat(3); }, 2, 64, 64, {{16, 3}}},
        WriterCase{"ParagraphFormat",
                   [](RecordWriter& w) {
                     w.paragraphFormat({1, 2, 3, 4, 5, 6, 7, 8, 9});
                   },
                   4,
                   1408,
                   1408,
                   {{0, 1}, {8, 2}, {20, 3}, {24, 4}, {40, 5}, {44, 6}, {48, 7}, {52, 8}, {56, 9}}},
        WriterCase{"CharacterFormat",
                   [](RecordWriter& w) {
                     w.characterFormat({0x04, 7, 40, 0x1111, 0x2222, 0x01020304u, 9});
                   },
                   5,
                   120,
                   120,
                   {{0, 4}, {16, 7}, {24, 40}, {28, 0x22221111u}, {56, 0x01020304u}, {100, 9}}},
        WriterCase{"TextIsUtf16LittleEndian",
                   [](RecordWriter& w) { w.text(std::u16string_view(u"\u898bA")); },
                   6,
                   4,
                   4,
                   {{0, 0x0041898Bu}}},
        WriterCase{"InvalidUtf8BecomesReplacementCharacter",
                   [](RecordWriter& w) {
                     w.textUtf8(
                         "\xFF"
                         "a");
                   },
                   6,
                   4,
                   4,
                   {{0, 0x0061FFFDu}}},
        WriterCase{"ParagraphBreak", [](RecordWriter& w) { w.paragraphBreak(); }, 7, 0, 0, {}},
        WriterCase{"CellEnd", [](RecordWriter& w) { w.cellEnd(); }, 8, 0, 0, {}},
        WriterCase{"TableRowEnd", [](RecordWriter& w) { w.tableRowEnd(); }, 9, 0, 0, {}},
        WriterCase{"LineBreak", [](RecordWriter& w) { w.lineBreak(); }, 10, 0, 0, {}},
        WriterCase{"PageBreak", [](RecordWriter& w) { w.pageBreak(); }, 11, 0, 0, {}},
        WriterCase{"Tab", [](RecordWriter& w) { w.tab(); }, 19, 0, 0, {}},
        WriterCase{"ParagraphPosition",
                   [](RecordWriter& w) { w.paragraphPosition(-1, 70); },
                   20,
                   8,
                   8,
                   {{0, 0xFFFFFFFFu}, {4, 70}}},
        WriterCase{"RawKeepsItsClaimedLength",
                   [](RecordWriter& w) { w.raw(15, 1000, "\x01\0\0\0", 4); },
                   15,
                   1000,
                   4,
                   {{0, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecordWriter, LongTextIsWrittenWhole) {
  std::u16string text(10000, u'x');
  text[9999] = u'y';
  std::ostringstream out;
  RecordWriter w(out);
  w.text(text);
  std::string bytes = out.str();
  ASSERT_EQ(bytes.size(), 8u + 20000u);
  EXPECT_EQ(u32(bytes, 4), 20000u);
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("x\0y\0", 4));
}

}  // namespace
}  // namespace Kivrel

// The record writer: what the reader does not read back.
#include <gtest/gtest.h>

#include <sstream>

#include "kivrel/record_writer.h"

namespace Kivrel {
namespace {

std::uint32_t u32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

TEST(RecordWriter, RecordsHaveTheirFormatSizesAndFieldOffsets) {
  std::ostringstream out;
  RecordWriter w(out);
  w.characterFormat({0x04, 7, 40, 0x1111, 0x2222, 0x01020304u, 9});
  w.tab();
  w.raw(15, 1000, "\x01\0\0\0", 4);
  std::string b = out.str();
  ASSERT_EQ(b.size(), 8u + 120u + 8u + 8u + 4u);
  EXPECT_EQ(w.bytesWritten(), b.size());
  EXPECT_EQ(u32(b, 0), 5u);
  EXPECT_EQ(u32(b, 4), 120u);
  const std::pair<std::size_t, std::uint32_t> fields[] = {
      {0, 4}, {16, 7}, {24, 40}, {28, 0x22221111u}, {56, 0x01020304u}, {100, 9}};
  for (auto [offset, value] : fields) EXPECT_EQ(u32(b, 8 + offset), value) << offset;
  EXPECT_EQ(u32(b, 128), 19u);
  EXPECT_EQ(u32(b, 132), 0u);  // a Tab has no body
  EXPECT_EQ(u32(b, 140), 1000u);  // raw keeps the claimed length
}

TEST(RecordWriter, TextIsUtf16LittleEndianAcrossChunks) {
  std::u16string text(10000, u'x');
  text[9999] = u'\u898b';
  std::ostringstream out;
  RecordWriter w(out);
  w.text(text);
  w.textUtf8("\xFF" "a");  // invalid UTF-8 becomes U+FFFD
  std::string b = out.str();
  ASSERT_EQ(b.size(), 8u + 20000u + 8u + 4u);
  EXPECT_EQ(u32(b, 4), 20000u);
  EXPECT_EQ(u32(b, 8 + 19996), 0x898B0078u);
  EXPECT_EQ(u32(b, 20012), 4u);
  EXPECT_EQ(u32(b, 20016), 0x0061FFFDu);
}

}  // namespace
}  // namespace Kivrel

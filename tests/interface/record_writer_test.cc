// The record writer: what the reader does not read back.
#include <gtest/gtest.h>

#include <unicode/unistr.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "interface/text_pieces.h"
#include "kivrel/record_writer.h"

namespace Kivrel {
namespace {

std::uint32_t u32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

// The reader shares the writer's offsets, so reading back cannot catch a
// field moved within the body; the offsets are those of the stream format.
TEST(RecordWriter, CharacterFormatFieldsSitAtTheirStreamOffsets) {
  std::ostringstream out;
  RecordWriter w(out);
  w.characterFormat({0x04, 7, 40, 0x1111, 0x2222, 0x01020304u, 9});
  const std::string b = out.str();
  ASSERT_EQ(b.size(), 8u + 120u);
  EXPECT_EQ(w.bytesWritten(), b.size());
  const std::pair<std::size_t, std::uint32_t> fields[] = {
      {0, 4}, {16, 7}, {24, 40}, {28, 0x22221111u}, {56, 0x01020304u}, {100, 9}};
  for (auto [offset, value] : fields) EXPECT_EQ(u32(b, 8 + offset), value) << offset;
}

TEST(RecordStreamHead, OnlyAWholeLittleEndianSectionTypeOpensAStream) {
  std::ostringstream written;
  RecordWriter(written).section({});
  EXPECT_TRUE(opensRecordStream(written.str()));
  using namespace std::string_view_literals;
  const std::pair<std::string_view, bool> cases[] = {
      {"\x01\0\0\0"sv, true},  {"\x01\0\0"sv, false},      {""sv, false},
      {"\x02\0\0\0"sv, false}, {"\x01\0\0\x01"sv, false}, {"\0\0\0\x01"sv, false},
  };
  for (auto [head, opens] : cases) EXPECT_EQ(opensRecordStream(head), opens) << head.size();
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

// Very long UTF-8 is converted piece by piece; a cut inside a character, or
// inside a malformed sequence, would change what the reader gets back.
TEST(RecordWriter, Utf8PiecesConvertToWhatTheWholeDoes) {
  std::vector<std::string> inputs = {
      "abc\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80xyz",
      "\xE2\x82\xE2\x82\xAC\xF0\x90\x80\x41",  // truncated sequences
      "a\x80\x80\x80\x80\x80\x80\xBFz",           // lone continuation bytes
      "\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xF8\x88\x80\x80\x80",  // never well formed
  };
  const char alphabet[] = "a\x80\x9F\xBF\xC3\xE2\xED\xF0\xF4\xF8";
  std::mt19937 random(20261208);
  for (int n = 0; n < 200; ++n) {
    std::string s;
    for (int i = 0; i < 40; ++i) s += alphabet[random() % (sizeof alphabet - 1)];
    inputs.push_back(s);
  }
  for (const std::string& input : inputs) {
    const icu::UnicodeString whole = icu::UnicodeString::fromUTF8(input);
    for (std::size_t maxBytes = 4; maxBytes <= 9; ++maxBytes) {
      icu::UnicodeString joined;
      std::string_view rest = input;
      while (!rest.empty()) {
        std::size_t n = internal::firstUtf8PieceBytes(rest, maxBytes);
        ASSERT_GE(n, 1u);
        ASSERT_LE(n, maxBytes);
        joined += icu::UnicodeString::fromUTF8(icu::StringPiece(rest.data(), static_cast<int32_t>(n)));
        rest.remove_prefix(n);
      }
      EXPECT_EQ(joined, whole) << testing::PrintToString(input) << " in pieces of " << maxBytes;
    }
  }
}

}  // namespace
}  // namespace Kivrel

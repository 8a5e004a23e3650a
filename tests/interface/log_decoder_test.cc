#include "kivrel/log_decoder.h"

#include <gtest/gtest.h>
#include <unicode/unistr.h>

#include <random>
#include <string>

namespace Kivrel {
namespace {

std::string wholeByIcu(const std::string& bytes) {
  const icu::UnicodeString text(bytes.data(), static_cast<int32_t>(bytes.size()), "windows-31j");
  std::string utf8;
  text.toUTF8String(utf8);
  return utf8;
}

TEST(KivLogDecoder, PiecesCutAnywhereDecodeAsTheWholeLog) {
  std::vector<std::string> logs = {
      "#sect \x83\x79\x81\x5b\x83\x57 1\n",  // ページ
      "\x81",                                 // a lead byte and nothing after it
      "\x82\xa0\x81\x40\xfc\xfc\xa0\xdf",     // あ, the ideographic space, unmapped, half-width
      "\x87\x40\xed\x40\xfa\x40\xf0\x40",     // NEC and IBM extensions, user-defined area
  };
  // Lead bytes, trail bytes, single bytes and bytes no sequence starts with.
  const unsigned char alphabet[] = {'a', '\n', 0x00, 0x7f, 0x80, 0x81, 0x82, 0x9f, 0xa0,
                                    0xdf, 0xe0, 0xef, 0xf0, 0xfc, 0xfd, 0xff, 0x40, 0x9e};
  std::mt19937 random(20261208);
  for (int n = 0; n < 300; ++n) {
    std::string log;
    for (int i = 0; i < 48; ++i) log += static_cast<char>(alphabet[random() % sizeof alphabet]);
    logs.push_back(log);
  }
  KivLogDecoder decoder;  // reused: finish starts it afresh
  for (const std::string& log : logs) {
    const std::string expected = wholeByIcu(log);
    EXPECT_EQ(logToUtf8(log), expected);
    for (std::size_t piece = 1; piece <= 7; ++piece) {
      std::string utf8;
      for (std::size_t at = 0; at < log.size(); at += piece) {
        decoder.decode(std::string_view(log).substr(at, piece), utf8);
      }
      decoder.finish(utf8);
      EXPECT_EQ(utf8, expected) << testing::PrintToString(log) << " in pieces of " << piece;
    }
  }
  EXPECT_EQ(logToUtf8("#sect \x83\x79\x81\x5b\x83\x57"), "#sect ページ");
  EXPECT_EQ(logToUtf8("a\x81"), "a\x1A");        // cut after its lead byte
  EXPECT_EQ(logToUtf8("\xfc\xfc"), "\xEF\xBF\xBD");  // well formed, not mapped
}

}  // namespace
}  // namespace Kivrel

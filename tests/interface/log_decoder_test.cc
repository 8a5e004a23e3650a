#include "kivrel/log_decoder.h"

#include <gtest/gtest.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <stdexcept>
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

// Keeps what it is handed; throws from the delivery numbered failAt.
class CollectingLogBuffer : public KivLogBuffer {
 public:
  CollectingLogBuffer(bool decode, std::size_t blockBytes, int failAt = -1)
      : KivLogBuffer(decode, blockBytes), failAt_(failAt) {}
  std::string raw, utf8;
  int deliveries = 0;
  std::size_t largest = 0;

 protected:
  void deliver(std::string_view rawPart, std::string_view utf8Part) override {
    if (deliveries++ == failAt_) throw std::runtime_error("disk full");
    raw += rawPart;
    utf8 += utf8Part;
    largest = std::max(largest, rawPart.size());
  }

 private:
  int failAt_;
};

TEST(KivLogBuffer, HandsOnEveryByteInBlocksAndTheirUtf8) {
  std::string log;
  for (int i = 0; i < 500; ++i) log += "#sect \x83\x79\x81\x5b\x83\x57 " + std::to_string(i) + "\n";
  log += "\x81";  // cut after a lead byte: its substitution comes at the end
  for (const bool decode : {false, true}) {
    CollectingLogBuffer buffer(decode, 100);
    std::ostream out(&buffer);
    for (std::size_t at = 0; at < log.size(); at += 37) out << log.substr(at, 37);
    out.flush();
    buffer.finish();
    buffer.rethrowIfFailed();
    EXPECT_EQ(buffer.raw, log);
    EXPECT_EQ(buffer.utf8, decode ? logToUtf8(log) : "");
    EXPECT_LE(buffer.largest, 100u);
    // Full blocks; decoding adds the cut character's substitution at the end.
    EXPECT_EQ(buffer.deliveries, static_cast<int>((log.size() + 99) / 100) + decode);
  }
}

TEST(KivLogBuffer, AFailedDeliveryDropsTheRestAndIsRethrown) {
  CollectingLogBuffer buffer(true, 16, 2);
  std::ostream out(&buffer);
  out << std::string(100, 'x');
  buffer.finish();
  EXPECT_FALSE(out.good());
  EXPECT_EQ(buffer.raw, std::string(32, 'x'));
  EXPECT_EQ(buffer.deliveries, 3);
  EXPECT_THROW(buffer.rethrowIfFailed(), std::runtime_error);
  EXPECT_NO_THROW(buffer.rethrowIfFailed());  // once
}

}  // namespace
}  // namespace Kivrel

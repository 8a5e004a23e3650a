#include "text/normalize.h"

#include <gtest/gtest.h>

#include <climits>

#include "text/number_reader.h"
#include "text/text_test_util.h"

namespace Kivrel::text {
namespace {

struct StringCase {
  const char* input;
  const char* expected;
};

TEST(Normalize, TrimStrAndDeleteNumberFromString) {
  const StringCase trimmed[] = {
      {"\u3000 Title \u3000", "Title"},
      {" \u3000 ", ""},
      {"\t\r\n\v\fA B\u2028\u2029", "A B"},
      {"\x1c\x1fX\u3000\u3000", "X"},
      {"a\u3000 \u3000b", "a\u3000 \u3000b"},
      // No-break spaces and U+0085 are not white space to the trimmer.
      {"\u2007x\u202f", "\u2007x\u202f"},
      {"\u0085x\u00a0", "\u0085x\u00a0"},
  };
  for (const StringCase& c : trimmed) {
    icu::UnicodeString s = u16(c.input);
    trimStr(s);
    EXPECT_EQ(utf8(s), c.expected) << "input: " << c.input;
  }
  // Spaces and digits of both widths go; an empty result becomes "1".
  const StringCase skeletons[] = {
      {"- 3 -", "--"}, {"\uff11\uff12", "1"}, {"", "1"}, {" \u3000 9 ", "1"},
      {"Seite\u3000\uff13\uff10", "Seite"}, {"1a2b3", "ab"}, {"\u2460x\u00a0", "\u2460x\u00a0"},
  };
  for (const StringCase& c : skeletons) {
    icu::UnicodeString s = u16(c.input);
    deleteNumberFromString(s);
    EXPECT_EQ(utf8(s), c.expected) << "input: " << c.input;
  }
  icu::UnicodeString bogus;
  bogus.setToBogus();
  deleteNumberFromString(bogus);
  EXPECT_EQ(utf8(bogus), "1");
}

// The passes find trimmed bounds without copying; they must cut where trimStr
// does for every code unit at either end (the shortcut skips some units).
TEST(Normalize, TrimmedBoundsCutWhereTrimStrCutsForEveryEndUnit) {
  auto cutsLikeTrimStr = [](const icu::UnicodeString& text) {
    icu::UnicodeString expected(text);
    trimStr(expected);
    return trimmedView(text.getBuffer(), text.length()) == expected &&
           trimsToEmpty(text) == expected.isEmpty();
  };
  const char16_t inner[] = {u'a', 0x3000, u' ', 0x3042};
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    const char16_t unit = static_cast<char16_t>(c);
    ASSERT_TRUE(cutsLikeTrimStr(icu::UnicodeString(unit))) << "unit U+" << std::hex << c;
    for (char16_t middle : inner) {
      const char16_t shapes[][3] = {{unit, middle, unit}, {unit, middle, u'b'},
                                    {u'b', middle, unit}};
      for (const auto& shape : shapes) {
        ASSERT_TRUE(cutsLikeTrimStr(icu::UnicodeString(shape, 3)))
            << "unit U+" << std::hex << c << " around U+" << static_cast<int>(middle);
      }
    }
  }
}

TEST(GetFirstDigit, ReturnsLastDigitOfLeadingDigitsAndParenthesesAndPositionPastTheStop) {
  const struct {
    const char* input;
    char16_t digit;
    int position;
  } cases[] = {
      {"12. Scope", u'2', 3}, {"(3) Terms", u'3', 3}, {"A. Scope", u'A', 1},
      {"", 0xFFFF, 1},        {"((7", u'7', 4},       {"(A", u'(', 2},
      {"\uff08\uff15)", 0xFF15, 3}, {"1(2(x", u'2', 5},
  };
  for (const auto& c : cases) {
    int position = -7;
    EXPECT_EQ(getFirstDigit(u16(c.input), position), c.digit) << "input: " << c.input;
    EXPECT_EQ(position, c.position) << "input: " << c.input;
  }
}

TEST(ReadInt, ReadsLikeTheWideRuntimeConversionWithFullwidthDigitsAndSaturation) {
  const struct {
    const char* input;
    int expected;
  } cases[] = {
      {"  \t\n\v\f\r42x", 42},
      {"+7", 7},
      {"-15-20", -15},
      {"1\uff12 3", 12},
      {"abc", 0},
      {"+-3", 0},
      {"\u30003", 0},  // an ideographic space is not skipped
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"99999999999999999999999", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},
      {"-00000000000000000000005", -5},
  };
  for (const auto& c : cases) EXPECT_EQ(readInt(u16(c.input)), c.expected) << c.input;
  // A limit acts as if the string ended there.
  const icu::UnicodeString s = u16("p. 123456");
  EXPECT_EQ(readInt(s, 3), 123456);
  EXPECT_EQ(readInt(s, 3, 6), 123);
  EXPECT_EQ(readInt(s, 2, 2), 0);
  EXPECT_EQ(readInt(s, 9), 0);
  EXPECT_EQ(readInt(s, 5, 1000), 3456);
}

}  // namespace
}  // namespace Kivrel::text

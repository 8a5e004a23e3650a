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

TEST(TrimStr, StripsWhiteSpaceAndIdeographicSpaceAtBothEndsOnly) {
  const StringCase cases[] = {
      {"\u3000 Title \u3000", "Title"},
      {" \u3000 ", ""},
      {"", ""},
      {"\t\r\n\v\fA B\u2028\u2029", "A B"},
      {"\x1c\x1fX\u3000\u3000", "X"},
      {"a\u3000 \u3000b", "a\u3000 \u3000b"},
      // No-break spaces and U+0085 are not white space to the trimmer.
      {"\u2007x\u202f", "\u2007x\u202f"},
      {"\u0085x\u0085", "\u0085x\u0085"},
      {"\u00a0 x \u00a0", "\u00a0 x \u00a0"},
  };
  for (const StringCase& c : cases) {
    icu::UnicodeString s = u16(c.input);
    trimStr(s);
    EXPECT_EQ(utf8(s), c.expected) << "input: " << c.input;
  }
}

TEST(DeleteNumberFromString, RemovesSpacesAndDigitsOfBothWidthsAndNeverLeavesItEmpty) {
  const StringCase cases[] = {
      {"- 3 -", "--"},
      {"12/20", "/"},
      {"\uff11\uff12", "1"},
      {"", "1"},
      {" \u3000 9 ", "1"},
      {"Seite\u3000\uff13\uff10", "Seite"},
      {"1a2b3", "ab"},
      {"\u2460x\u00a0", "\u2460x\u00a0"},
  };
  for (const StringCase& c : cases) {
    icu::UnicodeString s = u16(c.input);
    deleteNumberFromString(s);
    EXPECT_EQ(utf8(s), c.expected) << "input: " << c.input;
  }
}

TEST(GetFirstDigit, ReturnsLastDigitOfLeadingDigitsAndParenthesesAndPositionPastTheStop) {
  struct Case {
    const char* input;
    char16_t digit;
    int position;
  };
  const Case cases[] = {
      {"12. Scope", u'2', 3}, {"(3) Terms", u'3', 3}, {"A. Scope", u'A', 1},
      {"", 0xFFFF, 1},        {"((7", u'7', 4},       {"7", u'7', 2},
      {"(A", u'(', 2},        {"\uff08\uff15)", 0xFF15, 3}, {"1(2(x", u'2', 5},
      {"\uff11\uff19 z", 0xFF19, 3},
  };
  for (const Case& c : cases) {
    const icu::UnicodeString s = u16(c.input);
    int position = -7;
    EXPECT_EQ(getFirstDigit(s, position), c.digit) << "input: " << c.input;
    EXPECT_EQ(position, c.position) << "input: " << c.input;
  }
}

TEST(ReadInt, ReadsLikeTheWideRuntimeConversionWithFullwidthDigitsAndSaturation) {
  struct Case {
    const char* input;
    int expected;
  };
  const Case cases[] = {
      {"  \t\n\v\f\r42x", 42},
      {"+7", 7},
      {"-15-20", -15},
      {"\uff11\uff12", 12},
      {"1\uff12 3", 12},
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {"+-3", 0},
      {"\u30003", 0},  // an ideographic space is not skipped
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"99999999999999999999999", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},
      {"-00000000000000000000005", -5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readInt(u16(c.input)), c.expected) << "input: " << c.input;
  }
}

TEST(ReadInt, StopsAtTheLimitAsIfTheStringEndedThere) {
  const icu::UnicodeString s = u16("p. 123456");
  EXPECT_EQ(readInt(s, 3), 123456);
  EXPECT_EQ(readInt(s, 3, 6), 123);
  EXPECT_EQ(readInt(s, 2, 2), 0);
  EXPECT_EQ(readInt(s, 9), 0);
  EXPECT_EQ(readInt(s, 5, 1000), 3456);
}

}  // namespace
}  // namespace Kivrel::text

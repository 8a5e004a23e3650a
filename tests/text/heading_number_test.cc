#include "text/heading_number.h"

#include <gtest/gtest.h>

#include <random>

#include "text/text_test_util.h"

namespace Kivrel::text {
namespace {

TEST(HeadingNumber, PointAndPatternOfEachKindOfNumbering) {
  const struct {
    const char* input;
    int point;
    const char* pattern;
  } cases[] = {
      // Dotted groups rank by depth; an unterminated number ranks one deeper.
      {"1. Intro", 600, "1."},
      {"1 Intro", 600, "1."},
      {"1.Intro", 600, "1."},
      {"1Intro", 10, "1"},
      {"1", 10, ""},
      {"1.1 Intro", 500, "1.1"},
      {"1.1. Intro", 500, "1.1."},
      {"1.1", 600, "1."},
      {"1.1Intro", 600, "1.1"},
      {"1.9Ii", 600, "1.9"},
      {"1.9Vi", 600, "1."},
      {"1.1.1 Intro", 400, "1.1.1"},
      {"1.1.1.1 Intro", 300, "1.1.1.1"},
      {"1.2.3.4", 400, "1.2.3."},
      {"1.2.3.4. X", 10, "1.2.3.4"},
      {"1-2 x", 500, "1.2"},
      {"1・2 x", 500, "1.2"},
      {"１．２　概要", 500, "1.2"},
      {"１２.", 600, "12."},
      {"1２ x", 10, ""},
      {"　1 概要", 600, "1."},
      // Parenthesised and circled numbers rank lowest.
      {"1)", 200, "1)"},
      {"(1) text", 200, "(1)"},
      {"（１）", 200, "(1)"},
      {"a) x", 200, "a)"},
      {"1.)", 10, "1."},
      {"① text", 200, "①"},
      {"①", 200, ""},
      {"(注) x", 10, "("},
      {"(abc", -3400, "("},
      // Suffixes and the ordinal prefix rank above dotted numbers.
      {"第3章 概要", 1000, "第3章"},
      {"第1章:概要", 10, "第1"},
      {"第一章", 1000, "第一章"},
      {"1.2章", 1000, "1.2章"},
      {"章 X", 1000, "章"},
      {"第1節", 900, "第1節"},
      {"2条 x", 800, "2条"},
      {"3項", 700, "3項"},
      {"第1部", 1100, "第1部"},
      {"第1 概要", 1100, "第1"},
      {"第12回", 1200, "第1"},
      {"第1回", -3400, "第"},
      {"第 概要", 10, "第"},
      // Letters, kana and numerals form groups by kind.
      {"A. Intro", 10, "A."},
      {"A Intro", 10, "A"},
      {"A.", 600, "A."},
      {"A.1 x", 500, "A.1"},
      {"XIV. x", 600, "XIV."},
      {"Ix y", 10, ""},
      {"Ⅳ x", 600, "Ⅳ."},
      {"ア 概要", 600, "ア."},
      {"アイ", 10, ""},
      {"十二 概要", 600, "十二."},
      {"1十 x", 600, "1十."},
      {"一、概要", 10, ""},
      {"○ x", 600, "○."},
      {"〇 x", 10, ""},
      {"§1 x", 600, "(1."},
      {"- item", 10, ""},
      {"", 10, ""},
  };
  for (const auto& c : cases) {
    icu::UnicodeString text = u16(c.input);
    EXPECT_EQ(headingNumberPoint(text.getBuffer(), text.length()), c.point) << "input: " << c.input;
    EXPECT_EQ(getPointAndSimplification(text), c.point) << "input: " << c.input;
    EXPECT_EQ(utf8(text), c.pattern) << "input: " << c.input;
  }
}

// The level pass reads the point without building the pattern: it must
// decide as the pattern would, on any mix of the units numbering is made of.
TEST(HeadingNumber, PointWithoutThePatternEqualsThePointWithIt) {
  const icu::UnicodeString alphabet =
      u16("0123456789１２．.-・ )(（）§第章節条項部回一二十〇○①ⅣアイAaIVXxz概 　\t、");
  std::mt19937 random(20261209);
  for (int round = 0; round < 200000; ++round) {
    icu::UnicodeString text;
    const int n = static_cast<int>(random() % 9);
    for (int i = 0; i < n; ++i) text.append(alphabet.charAt(static_cast<int32_t>(random() % alphabet.length())));
    icu::UnicodeString pattern;
    const int withPattern = headingNumberPoint(text, pattern);
    ASSERT_EQ(headingNumberPoint(text.getBuffer(), text.length()), withPattern)
        << "input: " << utf8(text) << ", pattern " << utf8(pattern);
  }
}

}  // namespace
}  // namespace Kivrel::text

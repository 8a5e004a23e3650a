#include "text_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace Kivrel::pdf {
namespace {

constexpr double kPageWidth = 595;

// A line of text at x, baseline y; each character is half an em wide.
struct TextLine {
  std::u16string text;
  double x;
  double y;
  double size = 10;
  bool bold = false;
};

std::vector<Word> words(const std::vector<TextLine>& lines) {
  std::vector<Word> out;
  for (const TextLine& l : lines) {
    for (std::size_t start = 0; start <= l.text.size();) {
      const std::size_t end = std::min(l.text.find(u' ', start), l.text.size());
      Word w;
      w.text = l.text.substr(start, end - start);
      w.x0 = l.x + 0.5 * l.size * start;
      w.x1 = l.x + 0.5 * l.size * end;
      w.y0 = l.y - 0.8 * l.size;
      w.y1 = l.y + 0.2 * l.size;
      w.fontSize = l.size;
      w.bold = l.bold;
      w.spaceAfter = end < l.text.size();
      out.push_back(w);
      start = end + 1;
    }
  }
  return out;
}

// One string per item; the cells of a table row are joined by "|".
std::vector<std::u16string> texts(const std::vector<LayoutItem>& items) {
  std::vector<std::u16string> out;
  for (const LayoutItem& item : items) {
    out.emplace_back();
    for (const TextBlock& cell : item.cells) {
      out.back() += (out.back().empty() ? u"" : u"|") + cell.text;
    }
    if (item.tableRow != (item.cells.size() > 1)) out.back() += u" (bad row)";
  }
  return out;
}

// 40 characters fill a line of the test column (x 72 to 272).
const std::u16string kFull = u"aaaa bbbb cccc dddd eeee ffff gggg hhhhh";

TEST(TextLayout, LinesMakeParagraphsAndTableRows) {
  struct Case {
    const char* name;
    std::vector<TextLine> lines;
    std::vector<std::u16string> expected;
  };
  const Case cases[] = {
      {"full line continues", {{kFull, 72, 100}, {u"end of it", 72, 112}}, {kFull + u" end of it"}},
      {"weight alone changes", {{kFull, 72, 100, 10, true}, {kFull, 72, 112}}, {kFull, kFull}},
      {"size alone changes", {{kFull, 72, 100, 11}, {kFull, 72, 112}}, {kFull, kFull}},
      {"wide line gap", {{kFull, 72, 100}, {kFull, 72, 130}}, {kFull, kFull}},
      {"room left on the line", {{u"short", 72, 100}, {kFull, 72, 112}}, {u"short", kFull}},
      {"indented first line",
       {{kFull, 72, 100}, {kFull, 72, 112}, {kFull, 90, 124}, {kFull, 72, 136}},
       {kFull + u" " + kFull, kFull + u" " + kFull}},
      {"hanging indent after a number",
       {{u"1. aaaa bbbb cccc dddd eeee ffff gggg h", 72, 100}, {u"continued", 87, 112}},
       {u"1. aaaa bbbb cccc dddd eeee ffff gggg h continued"}},
      {"hyphen at the line end",
       {{u"aaaa bbbb cccc dddd eeee ffff gggg exam-", 72, 100}, {u"ple", 72, 112}},
       {u"aaaa bbbb cccc dddd eeee ffff gggg example"}},
      {"cells side by side on consecutive baselines; one such line alone is no table",
       {{u"key", 72, 100}, {u"value", 200, 100}, {u"key", 72, 114}, {u"value", 200, 114},
        {u"Name", 72, 200}, {u"Page 3", 400, 200}},
       {u"key|value", u"key|value", u"Name\tPage 3"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(texts(layoutPage(words(c.lines), kPageWidth)), c.expected) << c.name;
  }
}

TEST(TextLayout, TwoColumnsReadLeftThenRight) {
  const std::u16string column = u"aaaa bbbb cccc dddd eeee ffff gggg hhhh";
  std::vector<TextLine> two;
  std::vector<TextLine> one;
  for (int i = 0; i < 3; ++i) {  // the fewest lines that make a column
    two.push_back({u"L" + column, 50, 100.0 + 12 * i});
    two.push_back({u"R" + column, 320, 100.0 + 12 * i});
    one.push_back({column + u" " + column, 50, 100.0 + 12 * i});
  }
  const std::u16string left = u"L" + column + u" L" + column + u" L" + column;
  const std::u16string right = u"R" + column + u" R" + column + u" R" + column;
  EXPECT_EQ(texts(layoutPage(words(two), kPageWidth)), (std::vector<std::u16string>{left, right}));
  const double gutter = findGutter(words(two), kPageWidth);
  EXPECT_GT(gutter, 250);
  EXPECT_LT(gutter, 320);
  EXPECT_LT(findGutter(words(one), kPageWidth), 0);
  // The same columns at the left of pages claiming absurd widths: no gutter
  // in the middle, found without a counter per point of the width.
  for (double width : {1e9, 1e12, std::numeric_limits<double>::infinity()}) {
    EXPECT_LT(findGutter(words(two), width), 0) << width;
  }
}

TEST(TextLayout, WordsBeyondAnyRealPageAreBoundedOrDropped) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<Word> page = words({{u"Huge", 1e12, 1e12, 1e300}, {u"Tiny", 72, 200, 1e-300},
                                  {u"Body", 72, 300}});
  for (double bad : {nan, inf}) {
    Word w = page.back();
    w.text = u"Lost";
    w.x1 = bad;
    page.push_back(w);
    w.x1 = page.back().x0 + 20;
    w.fontSize = bad;
    page.push_back(w);
  }
  const std::vector<LayoutItem> items = layoutPage(page, inf);
  EXPECT_EQ(texts(items), (std::vector<std::u16string>{u"Tiny", u"Body", u"Huge"}));
  for (const LayoutItem& item : items) {
    const TextBlock& b = item.cells.front();
    EXPECT_LE(std::max({std::abs(b.x0), std::abs(b.x1), std::abs(b.y0), std::abs(b.y1)}), 1e6);
    EXPECT_LE(b.fontSize, 1e5);
    EXPECT_GE(item.blankLinesBefore, 0);
    EXPECT_LE(item.blankLinesBefore, 3);
  }
}

}  // namespace
}  // namespace Kivrel::pdf

#include "text_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Kivrel::pdf {
namespace {

constexpr double kPageWidth = 595;
constexpr double kSize = 10;

// Words of a line of text at x, baseline y, each character 5 points wide.
std::vector<Word> line(const std::u16string& text, double x, double y, double size = kSize,
                       bool bold = false) {
  std::vector<Word> words;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u' ', start);
    if (end == std::u16string::npos) end = text.size();
    Word w;
    w.text = text.substr(start, end - start);
    w.x0 = x + 0.5 * size * start;
    w.x1 = x + 0.5 * size * end;
    w.y0 = y - 0.8 * size;
    w.y1 = y + 0.2 * size;
    w.fontSize = size;
    w.bold = bold;
    w.spaceAfter = end < text.size();
    words.push_back(w);
    start = end + 1;
  }
  return words;
}

void add(std::vector<Word>& page, std::vector<Word> more) {
  page.insert(page.end(), more.begin(), more.end());
}

std::vector<std::u16string> texts(const std::vector<LayoutItem>& items) {
  std::vector<std::u16string> out;
  for (const LayoutItem& item : items) {
    for (const TextBlock& cell : item.cells) out.push_back(cell.text);
  }
  return out;
}

// 40 characters fill a line of the test column (x 72 to 272).
const std::u16string kFull = u"aaaa bbbb cccc dddd eeee ffff gggg hhhhh";

TEST(TextLayout, LinesJoinIntoParagraphsUntilStyleSpacingOrIndentChanges) {
  struct Case {
    const char* name;
    std::vector<Word> words;
    std::vector<std::u16string> expected;
  };
  std::vector<Case> cases;
  {
    std::vector<Word> w;
    add(w, line(kFull, 72, 100));
    add(w, line(u"end of it", 72, 112));
    cases.push_back({"full line continues", w, {kFull + u" end of it"}});
  }
  {
    std::vector<Word> w;
    add(w, line(u"Heading", 72, 100, 14, true));
    add(w, line(kFull, 72, 116));
    cases.push_back({"size and weight change", w, {u"Heading", kFull}});
  }
  {
    std::vector<Word> w;
    add(w, line(kFull, 72, 100));
    add(w, line(kFull, 72, 130));
    cases.push_back({"wide line gap", w, {kFull, kFull}});
  }
  {
    std::vector<Word> w;
    add(w, line(u"short", 72, 100));
    add(w, line(kFull, 72, 112));
    cases.push_back({"room left on the line", w, {u"short", kFull}});
  }
  {
    std::vector<Word> w;
    add(w, line(kFull, 72, 100));
    add(w, line(kFull, 72, 112));
    add(w, line(kFull, 90, 124));
    cases.push_back({"indented first line", w, {kFull + u" " + kFull, kFull}});
  }
  {
    std::vector<Word> w;
    add(w, line(u"1. aaaa bbbb cccc dddd eeee ffff gggg h", 72, 100));
    add(w, line(u"continued", 87, 112));
    cases.push_back({"hanging indent after a number", w,
                     {u"1. aaaa bbbb cccc dddd eeee ffff gggg h continued"}});
  }
  {
    std::vector<Word> w;
    add(w, line(u"aaaa bbbb cccc dddd eeee ffff gggg exam-", 72, 100));
    add(w, line(u"ple", 72, 112));
    cases.push_back({"hyphen at the line end", w,
                     {u"aaaa bbbb cccc dddd eeee ffff gggg example"}});
  }
  for (const Case& c : cases) {
    EXPECT_EQ(texts(layoutPage(c.words, kPageWidth)), c.expected) << c.name;
  }
}

TEST(TextLayout, CellsSideBySideOnConsecutiveBaselinesMakeRows) {
  std::vector<Word> w;
  for (int row = 0; row < 2; ++row) {
    add(w, line(u"key", 72, 100 + 14 * row));
    add(w, line(u"value", 200, 100 + 14 * row));
  }
  add(w, line(u"Name", 72, 200));
  add(w, line(u"Page 3", 400, 200));  // one such row alone is no table
  const std::vector<LayoutItem> items = layoutPage(w, kPageWidth);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_TRUE(items[0].tableRow);
  EXPECT_EQ(items[0].cells.size(), 2u);
  EXPECT_TRUE(items[1].tableRow);
  EXPECT_FALSE(items[2].tableRow);
  EXPECT_EQ(items[2].cells[0].text, u"Name\tPage 3");
}

TEST(TextLayout, GutterIsFoundOnlyBetweenTwoColumnsOfText) {
  const std::u16string column = u"aaaa bbbb cccc dddd eeee ffff gggg hhhh";
  std::vector<Word> twoColumns;
  std::vector<Word> oneColumn;
  for (int i = 0; i < 5; ++i) {
    add(twoColumns, line(column, 50, 100 + 12 * i));
    add(twoColumns, line(column, 320, 100 + 12 * i));
    add(oneColumn, line(column + u" " + column, 50, 100 + 12 * i));
  }
  const double gutter = findGutter(twoColumns, kPageWidth);
  EXPECT_GT(gutter, 245);
  EXPECT_LT(gutter, 320);
  EXPECT_LT(findGutter(oneColumn, kPageWidth), 0);
}

}  // namespace
}  // namespace Kivrel::pdf

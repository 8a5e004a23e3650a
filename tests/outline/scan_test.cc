// Table-of-contents and list scans: what a scan from one start marks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "outline/scan_fixture.h"

namespace Kivrel::testing {
namespace {

constexpr int T = kTableOfContents;
constexpr int L = kListItem;
constexpr int E = kEmptyText;
constexpr int N = kPlainPoint;

struct ScanCase {
  const char* name;
  PageTexts page;
  int start;
  std::vector<int> expected;
};

class TocScanOnOnePage : public ::testing::TestWithParam<ScanCase> {};

TEST_P(TocScanOnOnePage, MarksTheRegionFromTheStart) {
  const ScanCase& c = GetParam();
  // Page index 6 of 7: no back-marking.
  std::vector<PageTexts> doc(6, PageTexts{"filler"});
  doc.push_back(c.page);
  ScanDoc d(doc);
  d.toc(6, c.start);
  EXPECT_EQ(d.pagePoints(6), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Regions, TocScanOnOnePage,
    ::testing::Values(
        ScanCase{"TwoLinesThenBodyMarkNothing",
                 {"Intro ..... 1", "Scope ..... 2", "Body one", "Body two"}, 0, {N, N, N, N}},
        ScanCase{"HeadingAboveThreeLinesIsTaken",
                 {"Contents", "Intro ..... 1", "Scope ..... 2", "Terms ..... 3"}, 0,
                 {T, T, T, T}},
        ScanCase{"GroupHeadingBetweenLinesIsTaken",
                 {"A ... 1", "B ... 2", "C ... 3", "Part II", "D ... 4", "Body", "Body"}, 0,
                 {T, T, T, T, T, N, N}},
        ScanCase{"ThreeEmptyParagraphsAreSkipped",
                 {"A ... 1", "B ... 2", "", "", "", "C ... 3"}, 0, {T, T, E, E, E, T}},
        ScanCase{"FourthEmptyParagraphEndsTheRegion",
                 {"A ... 1", "B ... 2", "", "", "", "", "C ... 3", "D ... 4"}, 0,
                 {N, N, E, E, E, E, N, N}},
        ScanCase{"StartInsideMarksFromThereToTheLastParagraph",
                 {"Contents", "Body", "A ... 1", "B ... 2", "C ... 3"}, 2, {N, N, T, T, T}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TocScan, HeaderAndFooterBetweenPagesAreMarkedWithTheRegion) {
  // Same footer and header on three pages or more, so both are running ones.
  ScanDoc d({{"A ... 1", "B ... 2", "_Page 1"},
             {"^Guide", "C ... 3", "D ... 4", "_Page 2"},
             {"^Guide", "Body", "Body", "_Page 3"},
             {"^Guide"}});
  d.toc(0, 0);
  EXPECT_EQ(d.pagePoints(0), (std::vector<int>{T, T, T}));
  EXPECT_EQ(d.pagePoints(1), (std::vector<int>{T, T, T, N}));
  EXPECT_EQ(d.pagePoints(2), (std::vector<int>{N, N, N, N}));
}

TEST(TocScan, RunningHeaderDoesNotCountAsAnOtherLine) {
  // Body, header, body would end the walk if the header counted as text.
  ScanDoc d({{"A ... 1", "Body", "^Guide", "B ... 2", "C ... 3"},
             {"^Guide", "x"},
             {"^Guide", "y"}});
  d.toc(0, 0);
  EXPECT_EQ(d.pagePoints(0), (std::vector<int>{T, T, T, T, T}));
}

TEST(TocScan, BackMarksThePageAboveAStartOnAnEarlyPage) {
  struct Case {
    int pages;
    int startPage;
    bool backMarked;
  };
  for (Case c : {Case{40, 2, true}, Case{40, 6, false}, Case{150, 9, true},
                 Case{150, 10, false}}) {
    std::vector<PageTexts> doc(c.pages, PageTexts{"filler"});
    doc[c.startPage] = {"Title", "Preface", "", "Note", "A ... 1", "B ... 2", "C ... 3"};
    ScanDoc d(doc);
    d.toc(c.startPage, 4);
    std::vector<int> above = c.backMarked ? std::vector<int>{N, T, T, T}
                                          : std::vector<int>{N, N, E, N};
    above.insert(above.end(), {T, T, T});
    EXPECT_EQ(d.pagePoints(c.startPage), above) << c.pages << " pages, start page "
                                                  << c.startPage;
  }
}

TEST(TocScan, RepeatedBackMarkRewritesWhatChangedAboveIt) {
  // Two regions on the first page; between the scans title detection
  // rewrites the top of the page, the first back-mark included.
  ScanDoc d({{"Head", "a", "b", "c", "d", "A ... 1", "B ... 2", "C ... 3", "y", "z", "u",
              "D ... 4", "E ... 5", "F ... 6"}});
  d.toc(0, 5);
  for (int i = 0; i <= 7; ++i) d.paragraph(0, i)->point = kTitleBlock;
  d.toc(0, 10);
  std::vector<int> expected(14, T);
  expected[0] = kTitleBlock;
  EXPECT_EQ(d.pagePoints(0), expected);
}

struct ItemCase {
  const char* name;
  PageTexts page;
  std::vector<int> expected;  // after a scan from paragraph 0
};

class ItemScanFromFirst : public ::testing::TestWithParam<ItemCase> {};

TEST_P(ItemScanFromFirst, MarksTheListThatFollows) {
  const ItemCase& c = GetParam();
  // Two more pages carry the running header "Chapter 2" / "第2章".
  ScanDoc d({c.page, {"^Chapter 2", "^第2章"}, {"^Chapter 2", "^第2章"}});
  d.items(0, 0);
  EXPECT_EQ(d.pagePoints(0), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ItemScanFromFirst,
    ::testing::Values(
        ItemCase{"ConsecutiveNumbers", {"1. A", "2. B", "3. C", "Body"}, {L, L, L, N}},
        ItemCase{"NineToTen", {"9. x", "10. y", "11. z"}, {L, L, L}},
        ItemCase{"LettersWithParenthesis", {"a) x", "b) y"}, {L, L}},
        ItemCase{"CircledNumbers", {"① x", "② y"}, {L, L}},
        ItemCase{"KatakanaTwoApartIsNoList", {"ア x", "イ y"}, {N, N}},
        ItemCase{"RepeatedWhiteCircle", {"○ a", "○ b", "○ c"}, {L, L, L}},
        ItemCase{"RepeatedBlackCircleIsNoList", {"● a", "● b"}, {N, N}},
        ItemCase{"RunningHeaderWithNumberIsSkipped", {"1. A", "^Chapter 2", "2. B"}, {L, N, L}},
        ItemCase{"RunningHeaderWithoutNumberEnds", {"1. A", "^第2章", "2. B"}, {N, N, N}},
        ItemCase{"TwoEmptyParagraphsAreSkipped", {"1. A", "", "", "2. B"}, {L, E, E, L}},
        ItemCase{"ThirdEmptyParagraphEnds", {"1. A", "", "", "", "2. B"}, {N, E, E, E, N}},
        ItemCase{"RunningHeaderStartMarksNothing", {"^Chapter 2", "D. x", "E. y"}, {N, N, N}},
        ItemCase{"SequenceBreakEndsTheList", {"1. A", "2. B", "7. C", "8. D"}, {L, L, N, N}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ItemScan, OverwritesATableOfContentsMarkOfTheSameStart) {
  ScanDoc d({{"1. A ... 1", "2. B ... 2", "3. C ... 3"}, {"x"}, {"x"}, {"x"}, {"x"}, {"x"}});
  d.toc(0, 0);
  EXPECT_EQ(d.pagePoints(0), (std::vector<int>{T, T, T}));
  d.items(0, 0);
  EXPECT_EQ(d.pagePoints(0), (std::vector<int>{L, L, L}));
}

}  // namespace
}  // namespace Kivrel::testing

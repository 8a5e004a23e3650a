// Table-of-contents and list scans: what a scan from one start marks. The
// memoised walks are checked against plain ones in scan_equivalence_test.cc;
// these cases pin what the plain walks themselves do.
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
  PageTexts page;
  int start;
  std::vector<int> expected;
};

TEST(TocScan, BackMarksThePageAboveAStartOnAnEarlyPage) {
  struct Case {
    int pages, startPage;
    bool backMarked;
  };
  for (Case c : {Case{40, 2, true}, Case{40, 4, true}, Case{40, 5, false},
                 Case{150, 9, true}, Case{150, 10, false}}) {
    std::vector<PageTexts> doc(c.pages, PageTexts{"filler"});
    doc[c.startPage] = {"Title", "Preface", "", "Note", "A ... 1", "B ... 2", "C ... 3"};
    ScanDoc d(doc);
    d.toc(c.startPage, 4);
    std::vector<int> expected = c.backMarked ? std::vector<int>{N, T, T, T, T, T, T}
                                             : std::vector<int>{N, N, E, N, T, T, T};
    EXPECT_EQ(d.pagePoints(c.startPage), expected) << c.pages << " pages, start " << c.startPage;
  }
}

TEST(ItemScan, MarksTheListThatFollowsTheStart) {
  const ScanCase cases[] = {
      {{"1. A", "2. B", "3. C", "Body"}, 0, {L, L, L, N}},
      {{"9. x", "10. y", "11. z"}, 0, {L, L, L}},
      {{"a) x", "b) y"}, 0, {L, L}},
      {{"① x", "② y"}, 0, {L, L}},
      {{"ア x", "イ y"}, 0, {N, N}},  // two code units apart
      {{"○ a", "○ b", "○ c"}, 0, {L, L, L}},
      {{"● a", "● b"}, 0, {N, N}},
      {{"1. A", "^Chapter 2", "2. B"}, 0, {L, N, L}},
      {{"1. A", "^第2章", "2. B"}, 0, {N, N, N}},
      {{"1. A", "", "", "2. B"}, 0, {L, E, E, L}},
      {{"1. A", "", "", "", "2. B"}, 0, {N, E, E, E, N}},
      {{"^Chapter 2", "D. x", "E. y"}, 0, {N, N, N}},
      {{"1. A", "2. B", "7. C", "8. D"}, 0, {L, L, N, N}},
  };
  for (const ScanCase& c : cases) {
    SCOPED_TRACE(c.page[0] + " / " + c.page[1]);
    // Two more pages carry the running headers "Chapter 2" and "第2章".
    ScanDoc d({c.page, {"^Chapter 2", "^第2章"}, {"^Chapter 2", "^第2章"}});
    d.items(0, c.start);
    EXPECT_EQ(d.pagePoints(0), c.expected);
  }
}

}  // namespace
}  // namespace Kivrel::testing

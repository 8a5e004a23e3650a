// End-to-end runs: record streams built with DocBuilder, checked by their
// outline items, the output stage's log lines and the per-paragraph verdicts.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "interface/kivrant_internals.h"
#include "kivrel/kivrant.h"
#include "model/model.h"
#include "outline/reason_codes.h"
#include "support/doc_builder.h"

namespace Kivrel::testing {
namespace {

using K = KivrantInternals;

// Default flags without title detection, so that the first page's largest
// text stays an ordinary candidate.
constexpr int kNoTitle = kKeepCommas | kIndentRefinement;
constexpr int kHeading = 28;
constexpr int kBody = 20;
constexpr std::int32_t kTopCy = 500;
constexpr std::int32_t kBottomCy = 16000;
constexpr int kAccepted = 1;  // verdict table marker: became an item

class VerdictLog : public KivVerdictHandler {
 public:
  void onVerdict(const KivParagraphVerdict& v) override { verdicts.push_back(v); }
  std::vector<KivParagraphVerdict> verdicts;
};

class StopAt : public KivProgressHandler {
 public:
  explicit StopAt(int poll) : poll_(poll) {}
  int onProgress() override { return ++calls == poll_ ? -1 : 0; }
  int calls = 0;

 private:
  int poll_;
};

std::string utf8(const UnicodeString& u) {
  std::string s;
  u.toUTF8String(s);
  return s;
}

std::string describe(KivOutlineList& list) {
  std::ostringstream out;
  for (int i = 0; i < list.getCount(); ++i) {
    KivOutlineItem* item = list.getAt(i);
    out << item->getPageNo() << ' ' << item->getPoint() << " |" << utf8(item->getString())
        << "| " << item->getCx() << ',' << item->getCy() << '\n';
  }
  return out.str();
}

// The lines the output stage writes: everything from the first page line on
// (the record reader's lines come before it).
std::string outputLines(const std::string& log) {
  std::size_t at = log.find(sjis("---------------- ページ番号 "));
  return at == std::string::npos ? std::string() : log.substr(at);
}

std::string pageLine(int n) {
  return sjis("---------------- ページ番号 ") + std::to_string(n) + "----------------\n";
}
std::string dropLine(int code, const char* text) {
  return sjis("削除理由 = ") + std::to_string(code) + " [" + sjis(text) + "]\n";
}

struct Outcome {
  int rc = 0;
  std::string items;
  std::string log;
  std::vector<KivParagraphVerdict> verdicts;
};

Outcome run(Kivrant& k, const std::string& bytes, KivSettings* settings) {
  std::istringstream in(bytes, std::ios::binary);
  std::ostringstream log(std::ios::binary);
  VerdictLog verdicts;
  k.setLogStream(&log);
  k.setVerdictHandler(&verdicts);
  KivOutlineList list;
  Outcome o;
  o.rc = k.extract(in, list, settings);
  k.setLogStream(nullptr);
  k.setVerdictHandler(nullptr);
  o.items = describe(list);
  o.log = outputLines(log.str());
  o.verdicts = verdicts.verdicts;
  return o;
}

Outcome run(const std::string& bytes, int flags) {
  Kivrant k;
  KivSettings settings;
  settings.flags = flags;
  return run(k, bytes, &settings);
}

// Three pages with a running header, a page-number footer, one heading and
// two sentences each; "Review copy" sits in the bottom band of two pages only.
std::string reportWithRunningBands() {
  const char* headings[] = {"Overview", "Design", "Testing"};
  DocBuilder b;
  b.page();
  for (int p = 0; p < 3; ++p) {
    if (p > 0) b.pageBreak();
    b.para("Kivrel Guide", {.cy = kTopCy});
    b.para(headings[p], {.size = kHeading, .cy = 3000});
    b.para("The body says something.");
    b.para("More body follows here.");
    if (p < 2) b.para("Review copy", {.cy = 15500});
    b.para("Page " + std::to_string(p + 1), {.cy = kBottomCy});
  }
  return b.build();
}

TEST(RunningHeaders, BandTextOnEveryPageIsDroppedAndTextBelowThresholdIsKept) {
  Outcome o = run(reportWithRunningBands(), kNoTitle);
  ASSERT_EQ(o.rc, 0);
  EXPECT_EQ(o.items,
            "1 109 |Overview| 1800,3000\n"
            "1 10 |Review copy| 1800,15500\n"
            "2 109 |Design| 1800,3000\n"
            "2 10 |Review copy| 1800,15500\n"
            "3 109 |Testing| 1800,3000\n");
  std::string expected;
  for (int p = 1; p <= 3; ++p) {
    expected += pageLine(p) + dropLine(kRunningHeaderFooter, "Kivrel Guide") +
                dropLine(kSentence, "The body says something.") +
                dropLine(kSentence, "More body follows here.") +
                dropLine(kRunningHeaderFooter, ("Page " + std::to_string(p)).c_str());
  }
  EXPECT_EQ(logToUtf8(o.log), logToUtf8(expected));
  EXPECT_EQ(o.log, expected);
}

TEST(Extraction, SameDocumentGivesSameItemsAndLogOnReusedAndFreshExtractors) {
  const std::string doc = reportWithRunningBands();
  KivSettings settings;
  settings.flags = kNoTitle;
  Kivrant reused;
  Outcome first = run(reused, doc, &settings);
  Outcome second = run(reused, doc, &settings);
  Kivrant a, b;
  Outcome freshA = run(a, doc, &settings);
  Outcome freshB = run(b, doc, &settings);
  for (const Outcome* o : {&second, &freshA, &freshB}) {
    EXPECT_EQ(o->items, first.items);
    EXPECT_EQ(o->log, first.log);
  }
  EXPECT_FALSE(first.items.empty());
}

std::string titlePage(std::int32_t titleCy) {
  DocBuilder b;
  b.page();
  b.para("Kivrel Annual Report", {.size = 40, .cy = titleCy});
  b.para("Prepared by the team", {.cy = titleCy + 600});
  b.para("Early draft", {.cy = titleCy + 1000});
  b.pageBreak();
  b.para("Lead in", {.cy = 3000});
  b.para("Overview", {.size = kHeading});
  b.para("It starts here.");
  return b.build();
}

TEST(TitleBlock, HighTitleAndItsBlockLeaveTheOutline) {
  Outcome o = run(titlePage(4431), KivSettings().flags);
  EXPECT_EQ(o.items, "2 10 |Lead in| 1800,3000\n2 109 |Overview| 1800,3400\n");
  EXPECT_EQ(o.log, pageLine(1) + dropLine(kTitleBlock, "Kivrel Annual Report") +
                       dropLine(kAfterTitle, "Prepared by the team") +
                       dropLine(kAfterTitle, "Early draft") + pageLine(2) +
                       dropLine(kSentence, "It starts here."));
}

TEST(TitleBlock, LowCandidateIsRefusedAndItsPageLeftOut) {
  // 16838 * 5/19 = 4431.05: one unit lower is no title.
  Outcome o = run(titlePage(4432), KivSettings().flags);
  EXPECT_EQ(o.log, pageLine(1) + dropLine(kAfterRefusedTitle, "Kivrel Annual Report") +
                       dropLine(kAfterRefusedTitle, "Prepared by the team") +
                       dropLine(kAfterRefusedTitle, "Early draft") + pageLine(2) +
                       dropLine(kSentence, "It starts here."));
  ASSERT_FALSE(o.verdicts.empty());
  EXPECT_EQ(o.verdicts[0].value, kAfterRefusedTitle);
}

TEST(TitleBlock, NullSettingsChooseNoTitle) {
  Kivrant k;
  Outcome o = run(k, titlePage(3000), nullptr);
  EXPECT_EQ(o.log.find(sjis("削除理由 = -2200")), std::string::npos);
  EXPECT_NE(o.items.find("|Kivrel Annual Report|"), std::string::npos);
}

// Verdict of one line placed after a large lead paragraph and three body
// sentences, which make size 20 the body style.
int verdictOf(const std::string& text, int flags = kNoTitle, Para opts = {}) {
  DocBuilder b;
  b.page();
  b.para("Lead heading", {.size = kHeading});
  for (int i = 0; i < 3; ++i) b.para("Filler sentence.");
  b.para(text, opts);
  b.para("Last line.");
  Outcome o = run(b.build(), flags);
  for (const KivParagraphVerdict& v : o.verdicts) {
    if (v.paragraphIndex == 4) return v.accepted ? kAccepted : v.value;
  }
  return 0;  // no verdict: the line was empty after trimming
}

TEST(CandidateTests, EachTestRejectsWithItsCode) {
  struct Case {
    const char* name;
    std::string text;
    int flags;
    int expected;
  };
  const Case cases[] = {
      {"final period", "A finished sentence.", kNoTitle, kSentence},
      {"ideographic full stop inside", "\u3002x", kNoTitle, kSentence},
      {"final period kept by flag", "A finished sentence.", kNoTitle | kKeepSentences, kAccepted},
      {"ideographic comma kept by default", "Alpha\u3001beta", kNoTitle, kAccepted},
      {"ideographic comma without its flag", "Alpha\u3001beta", kIndentRefinement, kSentence},
      {"parenthesised remark", "(see below)", kNoTitle, kParenthesised},
      {"corner brackets", "\u300Cquoted\u300D", kNoTitle, kParenthesised},
      {"lone parenthesis", "(", kNoTitle, kParenthesised},
      {"brackets kept by flag", "[see below]", kNoTitle | kKeepParenthesised, kAccepted},
      {"single bullet", "\u2022 Bullet point", kNoTitle, kListItem},
      {"doubled bullet is no bullet", "\u2022\u2022 Emphasis", kNoTitle, kAccepted},
      {"https link", "https://example.org/a", kNoTitle, kLinkOrPath},
      {"http later in the text", "See http:here", kNoTitle, kAccepted},
      {"mail address", "Write to dev@example.org", kNoTitle, kLinkOrPath},
      {"at sign without a later dot", "Now. at@home", kNoTitle | kKeepSentences, kAccepted},
      {"colon backslash at the start", ":\\temp", kNoTitle, kLinkOrPath},
      {"drive letter path", "C:\\temp", kNoTitle, kAccepted},
      {"symbols only", "# # #", kNoTitle, kSymbolsOnly},
      {"symbols then a letter", "# # #z", kNoTitle, kAccepted},
      {"length at the limit", std::string(80, 'z'), kNoTitle, kTooLong},
      {"length below the limit", std::string(79, 'z'), kNoTitle, kAccepted},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(verdictOf(c.text, c.flags), c.expected) << c.name;
  }
}

TEST(CandidateTests, TextSmallerThanBodyIsDropped) {
  EXPECT_EQ(verdictOf("Footnote text", kNoTitle, {.size = 16}), kSmallerThanBody);
  EXPECT_EQ(verdictOf("Footnote text", kNoTitle, {.size = kBody}), kAccepted);
}

// The output of a table-of-contents document ignores points, so the tests
// that still run there are seen in the model after pass 2.
TEST(CandidateTests, TocDocumentRunsOnlyTableSentenceBracketAndSymbolTests) {
  struct Case {
    const char* text;
    int size;
    int plainRun;
    int tocRun;
  };
  const Case cases[] = {
      {"Footnote text", 16, kSmallerThanBody, kPlainPoint},
      {"\u2022 Bullet point", kBody, kListItem, kPlainPoint},
      {"https://example.org/a", kBody, kLinkOrPath, kPlainPoint},
      {"Ends here.", kBody, kSentence, kSentence},
      {"(see below)", kBody, kParenthesised, kParenthesised},
      {"# # #", kBody, kSymbolsOnly, kSymbolsOnly},
  };
  for (const Case& c : cases) {
    DocBuilder b;
    b.page();
    b.para("Lead heading", {.size = kHeading});
    for (int i = 0; i < 3; ++i) b.para("Filler sentence.");
    b.para(c.text, {.size = c.size});
    const std::string doc = b.build();
    for (bool toc : {false, true}) {
      Kivrant k;
      StopAt stop(2);
      k.setProgressHandler(&stop);
      KivSettings settings;
      settings.flags = kNoTitle | (toc ? kTocDocument : 0);
      KivOutlineList list;
      std::istringstream in(doc, std::ios::binary);
      ASSERT_EQ(K::extractMain(k, in, list, &settings), -1);
      EXPECT_EQ(K::pages(k).at(0)->paragraphs.back()->point, toc ? c.tocRun : c.plainRun)
          << c.text << (toc ? " (table of contents)" : "");
      releaseModel(k);
    }
  }
}

TEST(CandidateTests, TableRowsAreTableText) {
  DocBuilder b;
  b.page();
  b.para("Lead heading", {.size = kHeading});
  b.row({"Cell one", "Cell two"});
  // One-cell paragraphs in a row: the second one follows table text.
  b.row({"Single a", "Single b"}, {.tableCells = 1});
  b.para("After the table");
  Outcome o = run(b.build(), kNoTitle);
  EXPECT_EQ(o.log, pageLine(1) + dropLine(kTableText, "Cell one") +
                       dropLine(kTableText, "Cell two") + dropLine(kTableText, "Single a") +
                       dropLine(kTableText, "Single b"));
  EXPECT_EQ(o.items, "1 109 |Lead heading| 1800,3367\n1 10 |After the table| 1800,4567\n");
}

TEST(OutlineStart, FirstFifthBeforeTheFirstHeadingIsFrontMatter) {
  DocBuilder b;
  b.page();
  b.para("Cover line");
  b.pageBreak();
  b.para("Second page note");
  b.pageBreak();
  b.para("Another note");
  for (int p = 3; p < 10; ++p) {
    b.pageBreak();
    b.para(p == 3 ? "Overview" : "Body page", {.size = p == 3 ? kHeading : kBody});
  }
  Outcome o = run(b.build(), kNoTitle);
  // 10 pages: the first two are front matter until a heading appears.
  std::string expected = pageLine(1) + dropLine(kBeforeOutlineStart, "Cover line") + pageLine(2) +
                         dropLine(kBeforeOutlineStart, "Second page note");
  for (int p = 3; p <= 10; ++p) expected += pageLine(p);
  EXPECT_EQ(o.log, expected);
  EXPECT_EQ(o.items.substr(0, o.items.find('\n') + 1), "3 10 |Another note| 1800,3367\n");
}

TEST(PointFrequency, PlainPointOnManyParagraphsPerPageIsBodyText) {
  struct Case {
    int pages;
    int plainLines;
    bool dropped;
  };
  // The level assignment counts a plain paragraph twice (number and size).
  const Case cases[] = {{1, 15, true}, {1, 5, false}, {25, 15, false}};
  for (const Case& c : cases) {
    DocBuilder b;
    b.page();
    b.para("Overview", {.size = kHeading});
    for (int i = 0; i < c.plainLines; ++i) b.para("Plain line");
    for (int p = 1; p < c.pages; ++p) b.pageBreak();
    Outcome o = run(b.build(), kNoTitle);
    int frequent = 0;
    for (const KivParagraphVerdict& v : o.verdicts) frequent += v.value == kPointTooFrequent;
    EXPECT_EQ(frequent, c.dropped ? c.plainLines : 0) << c.pages << " pages";
  }
}

TEST(TocDocument, LinesBecomeItemsWithPrintedPagePlusOffset) {
  DocBuilder b;
  b.page();
  b.para("Contents");
  b.para("Introduction ........ 12");
  b.para("PAGE");
  b.para("12");
  b.para("Scope 3");
  KivSettings settings;
  settings.flags = kKeepCommas | kTocDocument;
  settings.pageOffset = 2;
  Kivrant k;
  Outcome o = run(k, b.build(), &settings);
  EXPECT_EQ(o.log,
            pageLine(1) + dropLine(kNotATocEntry, "PAGE") + dropLine(kNotATocEntry, "12"));
  ASSERT_EQ(o.verdicts.size(), 5u);
  std::istringstream items(o.items);
  std::string line;
  std::vector<std::string> pagesTextsPositions;
  while (std::getline(items, line)) {
    std::istringstream fields(line);
    std::string page, point, rest;
    fields >> page >> point;
    std::getline(fields, rest);
    pagesTextsPositions.push_back(page + rest);
  }
  EXPECT_EQ(pagesTextsPositions, (std::vector<std::string>{
                                     "0 |Contents| 0,0", "14 |Introduction| 0,0", "5 |Scope| 0,0"}));
}

TEST(Progress, StopAtAnyPollLeavesTheListAndTheExtractorReusable) {
  const std::string doc = reportWithRunningBands();
  KivSettings settings;
  settings.flags = kNoTitle;
  Kivrant plain;
  const Outcome reference = run(plain, doc, &settings);
  for (int poll = 1; poll <= 3; ++poll) {
    Kivrant k;
    StopAt stop(poll);
    k.setProgressHandler(&stop);
    KivOutlineList list;
    UnicodeString earlier("earlier");
    list.items.push_back(new KivOutlineItem(7, 500, earlier, 0, 0));
    std::istringstream in(doc, std::ios::binary);
    EXPECT_EQ(k.extract(in, list, &settings), -1) << poll;
    EXPECT_EQ(stop.calls, poll);
    EXPECT_EQ(describe(list), "7 500 |earlier| 0,0\n") << poll;
    EXPECT_EQ(K::pageCount(k), 0);
    k.setProgressHandler(nullptr);
    Outcome again = run(k, doc, &settings);
    EXPECT_EQ(again.items, reference.items) << poll;
    EXPECT_EQ(again.log, reference.log) << poll;
  }
}

TEST(Progress, EachPollFollowsItsPhase) {
  const std::string doc = reportWithRunningBands();
  // Points of page 1's heading and first sentence when the run stops.
  struct Case {
    int poll;
    int headingPoint;
    int sentencePoint;
  };
  const Case cases[] = {{1, kPlainPoint, kPlainPoint},
                        {2, kPlainPoint, kSentence},
                        {3, 109, kSentence}};
  for (const Case& c : cases) {
    Kivrant k;
    StopAt stop(c.poll);
    k.setProgressHandler(&stop);
    KivSettings settings;
    settings.flags = kNoTitle;
    KivOutlineList list;
    std::istringstream in(doc, std::ios::binary);
    EXPECT_EQ(K::extractMain(k, in, list, &settings), -1);
    MPPage* first = K::pages(k).at(0);
    EXPECT_EQ(first->paragraphs.at(1)->point, c.headingPoint) << c.poll;
    EXPECT_EQ(first->paragraphs.at(2)->point, c.sentencePoint) << c.poll;
    EXPECT_EQ(list.getCount(), 0);
    releaseModel(k);
  }
}

TEST(HeaderFooterThreshold, GrowsWithPageCount) {
  struct Case {
    int pages;
    int repeats;
    bool dropped;
  };
  const Case cases[] = {{159, 3, true}, {160, 3, false}, {160, 4, true},
                        {240, 5, false}, {240, 6, true}, {1000, 6, true}};
  for (const Case& c : cases) {
    DocBuilder b;
    b.page();
    b.para("Overview", {.size = kHeading});
    for (int p = 1; p < c.pages; ++p) {
      b.pageBreak();
      if (p >= c.pages - c.repeats) b.para("Appendix", {.cy = kBottomCy});
    }
    Outcome o = run(b.build(), kNoTitle);
    int dropped = 0;
    for (const KivParagraphVerdict& v : o.verdicts) dropped += v.value == kRunningHeaderFooter;
    EXPECT_EQ(dropped, c.dropped ? c.repeats : 0) << c.pages << " pages";
  }
}

TEST(Verdicts, AcceptedVerdictsMatchTheItemsAndDropsTheLog) {
  Outcome o = run(reportWithRunningBands(), kNoTitle);
  std::string accepted;
  int drops = 0;
  for (const KivParagraphVerdict& v : o.verdicts) {
    if (v.accepted) {
      accepted += std::to_string(v.pageNo) + ' ' + std::to_string(v.value) + " |" +
                  utf8(v.text) + "| " + std::to_string(v.cx) + ',' + std::to_string(v.cy) + '\n';
    } else {
      ++drops;
      EXPECT_STRNE(describeReasonCode(v.value), "") << v.value;
    }
  }
  EXPECT_EQ(accepted, o.items);
  EXPECT_EQ(drops, 12);
  EXPECT_STREQ(describeReasonCode(42), "");
}

}  // namespace
}  // namespace Kivrel::testing

// End-to-end runs: record streams built with DocBuilder, checked by their
// outline items, the output stage's log lines and the per-paragraph verdicts.
#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include "document_generator.h"
#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "outline/reason_codes.h"
#include "support/doc_builder.h"

namespace Kivrel::testing {
namespace {

using K = KivrantInternals;

// The default flags without title detection.
constexpr int kNoTitle = kKeepCommas | kIndentRefinement;
constexpr int kHeading = 28;

struct Verdicts : KivVerdictHandler {
  void onVerdict(const KivParagraphVerdict& v) override { all.push_back(v); }
  int count(int code) const {
    int n = 0;
    for (const KivParagraphVerdict& v : all) n += !v.accepted && v.value == code;
    return n;
  }
  std::vector<KivParagraphVerdict> all;
};

struct StopAt : KivProgressHandler {
  explicit StopAt(int poll) : poll(poll) {}
  int onProgress() override { return ++calls == poll ? -1 : 0; }
  int poll;
  int calls = 0;
};

std::string pageLine(int n) {
  return sjis("---------------- ページ番号 ") + std::to_string(n) + "----------------\n";
}
std::string dropLine(int code, const std::string& text) {
  return sjis("削除理由 = ") + std::to_string(code) + " [" + sjis(text.c_str()) + "]\n";
}

struct Outcome {
  int rc = 0;
  std::string items;
  std::string log;  // the output stage's lines only
  Verdicts verdicts;
};

Outcome run(Kivrant& k, const std::string& bytes, KivSettings* settings,
            KivOutlineList* list = nullptr) {
  std::istringstream in(bytes, std::ios::binary);
  std::ostringstream log(std::ios::binary);
  KivOutlineList own;
  if (!list) list = &own;
  Outcome o;
  k.setLogStream(&log);
  k.setVerdictHandler(&o.verdicts);
  o.rc = k.extract(in, *list, settings);
  k.setLogStream(nullptr);
  k.setVerdictHandler(nullptr);
  o.items = itemLines(*list);
  // The record reader's lines come first.
  std::size_t at = log.str().find(sjis("---------------- ページ番号 "));
  if (at != std::string::npos) o.log = log.str().substr(at);
  return o;
}

Outcome run(const std::string& bytes, int flags) {
  Kivrant k;
  KivSettings settings;
  settings.flags = flags;
  return run(k, bytes, &settings);
}

// Three pages with a running header, a page-number footer, a heading and
// two sentences; "Review copy" is in the bottom band of two pages only.
std::string reportWithRunningBands() {
  const char* headings[] = {"Overview", "Design", "Testing"};
  DocBuilder b;
  b.page();
  for (int p = 0; p < 3; ++p) {
    if (p > 0) b.pageBreak();
    b.para("Kivrel Guide", {.cy = 500});
    b.para(headings[p], {.size = kHeading, .cy = 3000});
    b.para("The body says something.");
    b.para("More body follows here.");
    if (p < 2) b.para("Review copy", {.cy = 15500});
    b.para("Page " + std::to_string(p + 1), {.cy = 16000});
  }
  return b.build();
}

TEST(RunningHeaders, BandTextOnEveryPageIsDroppedAndTextBelowThresholdIsKept) {
  Outcome o = run(reportWithRunningBands(), kNoTitle);
  ASSERT_EQ(o.rc, 0);
  EXPECT_EQ(o.items,
            "1 109 |Overview| 1800,3000\n1 10 |Review copy| 1800,15500\n"
            "2 109 |Design| 1800,3000\n2 10 |Review copy| 1800,15500\n"
            "3 109 |Testing| 1800,3000\n");
  std::string expected;
  for (int p = 1; p <= 3; ++p) {
    expected += pageLine(p) + dropLine(kRunningHeaderFooter, "Kivrel Guide") +
                dropLine(kSentence, "The body says something.") +
                dropLine(kSentence, "More body follows here.") +
                dropLine(kRunningHeaderFooter, "Page " + std::to_string(p));
  }
  EXPECT_EQ(o.log, expected) << logToUtf8(o.log);

  // Verdicts mirror the items and the log.
  std::string accepted;
  for (const KivParagraphVerdict& v : o.verdicts.all) {
    if (v.accepted) accepted += itemLine(v.pageNo, v.value, v.text, v.cx, v.cy);
    if (!v.accepted) EXPECT_STRNE(describeReasonCode(v.value), "") << v.value;
  }
  EXPECT_EQ(accepted, o.items);
  EXPECT_EQ(o.verdicts.all.size(), 17u);
}

TEST(Progress, StopAtAnyPollLeavesTheListAndTheExtractorRunsAgainAsAFreshOne) {
  const std::string doc = reportWithRunningBands();
  KivSettings settings;
  settings.flags = kNoTitle;
  Kivrant fresh;
  const Outcome reference = run(fresh, doc, &settings);
  for (int poll = 1; poll <= 3; ++poll) {
    Kivrant k;
    StopAt stop(poll);
    k.setProgressHandler(&stop);
    KivOutlineList list;
    UnicodeString earlier("earlier");
    list.items.push_back(new KivOutlineItem(7, 500, earlier, 0, 0));
    Outcome stopped = run(k, doc, &settings, &list);
    EXPECT_EQ(stopped.rc, -1);
    EXPECT_EQ(stop.calls, poll);
    EXPECT_EQ(stopped.items, "7 500 |earlier| 0,0\n") << poll;
    EXPECT_EQ(stopped.log, "") << poll;
    k.setProgressHandler(nullptr);
    Outcome after = run(k, doc, &settings);
    EXPECT_EQ(after.items, reference.items) << poll;
    EXPECT_EQ(after.log, reference.log) << poll;
  }
}

// Points of the first page's paragraphs when a run stops at the given poll.
std::vector<int> pointsAtPoll(const std::string& doc, int flags, int poll) {
  Kivrant k;
  StopAt stop(poll);
  k.setProgressHandler(&stop);
  KivSettings settings;
  settings.flags = flags;
  KivOutlineList list;
  std::istringstream in(doc, std::ios::binary);
  EXPECT_EQ(K::extractMain(k, in, list, &settings), -1);
  std::vector<int> points;
  for (MPParagraph* p : K::pages(k).at(0)->paragraphs) points.push_back(p->point);
  releaseModel(k);
  return points;
}

TEST(Progress, EachPollComesAfterItsPhase) {
  const std::string doc = reportWithRunningBands();
  // Header, heading, two sentences, "Review copy", footer.
  EXPECT_EQ(pointsAtPoll(doc, kNoTitle, 1), (std::vector<int>{10, 10, 10, 10, 10, 10}));
  EXPECT_EQ(pointsAtPoll(doc, kNoTitle, 2), (std::vector<int>{10, 10, -2100, -2100, 10, 10}));
  EXPECT_EQ(pointsAtPoll(doc, kNoTitle, 3), (std::vector<int>{10, 109, -2100, -2100, 10, 10}));
}

std::string titleDocument(std::int32_t titleCy, std::int32_t height = kA4Height) {
  DocBuilder b;
  b.page(kA4Width, height);
  b.para("Kivrel Annual Report", {.size = 40, .cy = titleCy});
  b.para("Prepared by the team", {.cy = titleCy + 600});
  b.para("Early draft", {.cy = titleCy + 1000});
  b.paragraphBreak().paragraphBreak().paragraphBreak();  // the third empty one ends the block
  b.para("Still page one", {.cy = titleCy + 3000});
  b.pageBreak();
  b.para("Lead in", {.cy = 3000});
  b.para("Overview", {.size = kHeading});
  b.para("It starts here.");
  return b.build();
}

TEST(TitleBlock, HighCandidateTakesItsBlockOutAndALowOneLosesItsPage) {
  const std::string page2 = pageLine(2) + dropLine(kSentence, "It starts here.");
  const std::string acceptedLog = pageLine(1) + dropLine(kTitleBlock, "Kivrel Annual Report") +
                                  dropLine(kAfterTitle, "Prepared by the team") +
                                  dropLine(kAfterTitle, "Early draft") + page2;
  // 16838 * 5/19 = 4431.05; 16834 * 5/19 = 4430 exactly, still high enough.
  Outcome accepted = run(titleDocument(4431), KivSettings().flags);
  EXPECT_EQ(accepted.log, acceptedLog);
  EXPECT_EQ(run(titleDocument(4430, 16834), KivSettings().flags).log, acceptedLog);
  EXPECT_EQ(accepted.items, "1 10 |Still page one| 1800,7431\n2 10 |Lead in| 1800,3000\n"
                            "2 109 |Overview| 1800,3400\n");

  Outcome refused = run(titleDocument(4432), KivSettings().flags);
  EXPECT_EQ(refused.log, pageLine(1) + dropLine(kAfterRefusedTitle, "Kivrel Annual Report") +
                             dropLine(kAfterRefusedTitle, "Prepared by the team") +
                             dropLine(kAfterRefusedTitle, "Early draft") +
                             dropLine(kAfterRefusedTitle, "Still page one") + page2);

  Kivrant k;
  Outcome noSettings = run(k, titleDocument(3000), nullptr);
  EXPECT_EQ(noSettings.items.find("1 109 |Kivrel Annual Report|"), 0u) << noSettings.items;
}

// Point after the candidate tests of one line that follows a large lead
// paragraph and three sentences that make size 20 the body style.
int pointAfterTests(const std::string& text, int flags, int size) {
  DocBuilder b;
  b.page();
  b.para("Lead heading", {.size = kHeading});
  for (int i = 0; i < 3; ++i) b.para("Filler sentence.");
  b.para(text, {.size = size});
  b.para("Last line.");
  return pointsAtPoll(b.build(), flags, 2).at(4);
}

TEST(CandidateTests, EachTestRejectsWithItsCodeAndATocDocumentSkipsSome) {
  struct Case {
    std::string text;
    int flags;
    int expected;
    int size = 20;
  };
  constexpr int kToc = kNoTitle | kTocDocument;
  const Case cases[] = {
      {"A finished sentence.", kNoTitle, kSentence},
      {"\u3002x", kNoTitle, kSentence},
      {"A finished sentence.", kNoTitle | kKeepSentences, kPlainPoint},
      {"Alpha\u3001beta", kNoTitle, kPlainPoint},
      {"Alpha\u3001beta", kIndentRefinement, kSentence},
      {"(see below)", kNoTitle, kParenthesised},
      {"\u300Cquoted\u300D", kNoTitle, kParenthesised},
      {"(", kNoTitle, kParenthesised},
      {"[see below]", kNoTitle | kKeepParenthesised, kPlainPoint},
      {"\u2022 Bullet point", kNoTitle, kListItem},
      {"\u2022\u2022 Emphasis", kNoTitle, kPlainPoint},
      {"https://example.org/a", kNoTitle, kLinkOrPath},
      {"See http:here", kNoTitle, kPlainPoint},
      {"Write to dev@example.org", kNoTitle, kLinkOrPath},
      {"Now. at@home", kNoTitle | kKeepSentences, kPlainPoint},
      {":\\temp", kNoTitle, kLinkOrPath},
      {"C:\\temp", kNoTitle, kPlainPoint},
      {"# # #", kNoTitle, kSymbolsOnly},
      {"# # #z", kNoTitle, kPlainPoint},
      {std::string(80, 'z'), kNoTitle, kTooLong},
      {std::string(79, 'z'), kNoTitle, kPlainPoint},
      {"Footnote text", kNoTitle, kSmallerThanBody, 16},
      // A contents document skips the bullet, link, length and size tests only.
      {"\u2022 Bullet point", kToc, kPlainPoint},
      {"https://example.org/a", kToc, kPlainPoint},
      {std::string(80, 'z'), kToc, kPlainPoint},
      {"Footnote text", kToc, kPlainPoint, 16},
      {"A finished sentence.", kToc, kSentence},
      {"(see below)", kToc, kParenthesised},
      {"# # #", kToc, kSymbolsOnly},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + ", flags " + std::to_string(c.flags));
    EXPECT_EQ(pointAfterTests(c.text, c.flags, c.size), c.expected);
  }
}

TEST(CandidateTests, TableRowsAreTableText) {
  DocBuilder b;
  b.page();
  b.para("Lead heading", {.size = kHeading});
  b.row({"Cell one", "Cell two"});
  b.row({"Single a", "Single b"}, {.tableCells = 1});  // one-cell text after table text
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
  const char* firstLines[] = {"Cover line", "Second page note", "Another note", "Overview"};
  for (int p = 0; p < 10; ++p) {
    if (p > 0) b.pageBreak();
    b.para(p < 4 ? firstLines[p] : "Body page", {.size = p == 3 ? kHeading : 20});
  }
  Outcome o = run(b.build(), kNoTitle);
  std::string expected = pageLine(1) + dropLine(kBeforeOutlineStart, "Cover line") + pageLine(2) +
                         dropLine(kBeforeOutlineStart, "Second page note");
  for (int p = 3; p <= 10; ++p) expected += pageLine(p);
  EXPECT_EQ(o.log, expected);
}

TEST(OutlineStart, PointOnManyParagraphsPerPageIsBodyTextAndThresholdFollowsPageCount) {
  struct Case {
    int pages;
    int lines;         // after the heading, or (text null) band lines on the last pages
    const char* text;  // bold text follows a plain line, which makes its point 60
    bool bold;
    int frequent;
    int headers;
  };
  // A plain paragraph is counted twice by the level assignment, a font point
  // and a parenthesised number once.
  const Case cases[] = {
      {1, 15, "Plain line", false, 15, 0}, {1, 5, "Plain line", false, 0, 0},
      {25, 15, "Plain line", false, 0, 0}, {1, 20, "Bold line", true, 20, 0},
      {1, 19, "Bold line", true, 0, 0},    {14, 21, "Bold line", true, 21, 0},
      {15, 21, "Bold line", true, 0, 0},   {1, 20, "(1) Item", false, 0, 0},
      {159, 3, nullptr, false, 0, 3},      {160, 3, nullptr, false, 0, 0},
      {160, 4, nullptr, false, 0, 4},      {240, 5, nullptr, false, 0, 0},
      {240, 6, nullptr, false, 0, 6},      {1000, 6, nullptr, false, 0, 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.pages) + " pages, " + std::to_string(c.lines) + " lines " +
                 (c.text ? c.text : "in the band"));
    DocBuilder b;
    b.page();
    if (c.bold) b.para("Body words");
    b.para("Overview", {.size = kHeading});
    for (int i = 0; c.text && i < c.lines; ++i) b.para(c.text, {.bold = c.bold});
    for (int p = 1; p < c.pages; ++p) {
      b.pageBreak();
      if (!c.text && p >= c.pages - c.lines) b.para("Appendix", {.cy = 16000});
    }
    Outcome o = run(b.build(), kNoTitle);
    // Among the lines only: "Body words" shares their 10.
    const UnicodeString lineText = UnicodeString::fromUTF8(c.text ? c.text : "");
    int frequent = 0;
    for (const KivParagraphVerdict& v : o.verdicts.all) {
      frequent += v.value == kPointTooFrequent && v.text == lineText;
    }
    EXPECT_EQ(frequent, c.frequent);
    EXPECT_EQ(o.verdicts.count(kRunningHeaderFooter), c.headers);
  }
}

// A run with neither a log nor a verdict handler passes rejected paragraphs
// unseen; it must still give the outline a watched run gives, also where
// excluded pages and a refused title leave whole pages out.
TEST(Output, UnwatchedRunGivesTheOutlineOfAWatchedOne) {
  const std::string generated = bench::makeDocument(400, 20261207);
  DocBuilder lowTitle;  // its largest first-page text stands too low to be a title
  lowTitle.page().para("1 Scope").para("Cover text", {.size = 48, .cy = 9000}).para("1.1 Aim");
  for (int p = 0; p < 6; ++p) {
    lowTitle.pageBreak().para(std::to_string(p + 2) + " Part", {.size = kHeading});
    lowTitle.para("Body words").para(std::to_string(p + 2) + ".1 Detail");
  }
  const std::string lowTitleDoc = lowTitle.build();
  const struct Case {
    const std::string* doc;
    int flags;
    const char* excludePages;
  } cases[] = {
      {&generated, kNoTitle, ""},
      {&generated, kNoTitle | kDetectTitle, ""},
      {&generated, 0, ""},
      {&generated, kKeepSentences | kKeepParenthesised, ""},
      {&generated, kNoTitle | kTocDocument, ""},
      {&generated, kNoTitle, "1-2,5,9-"},
      {&generated, 0, "3-4,7"},
      {&lowTitleDoc, kDetectTitle, ""},
      {&lowTitleDoc, kNoTitle, "3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("flags " + std::to_string(c.flags) + ", excluded \"" + c.excludePages + "\"");
    KivSettings settings;
    settings.flags = c.flags;
    settings.excludePages = UnicodeString::fromUTF8(c.excludePages);
    Kivrant watched;
    const Outcome o = run(watched, *c.doc, &settings);
    if (c.flags & kDetectTitle && c.doc == &lowTitleDoc) {
      EXPECT_EQ(o.verdicts.count(kAfterRefusedTitle), 3);  // all of the first page
    }
    Kivrant unwatched;
    std::istringstream in(*c.doc, std::ios::binary);
    KivOutlineList list;
    // The run normalised the range text in place; the second one starts afresh.
    settings.excludePages = UnicodeString::fromUTF8(c.excludePages);
    ASSERT_EQ(unwatched.extract(in, list, &settings), 0);
    const std::string items = itemLines(list);
    EXPECT_FALSE(items.empty());
    EXPECT_EQ(items, o.items);
  }
}

TEST(TocDocument, LinesBecomeItemsWithPrintedPagePlusOffset) {
  DocBuilder b;
  b.page();
  for (const char* text : {"Contents", "Introduction ........ 12", "PAGE", "12", "Scope 3"}) {
    b.para(text);
  }
  KivSettings settings;
  settings.flags = kKeepCommas | kTocDocument;
  settings.pageOffset = 2;
  Kivrant k;
  Outcome o = run(k, b.build(), &settings);
  EXPECT_EQ(o.log, pageLine(1) + dropLine(kNotATocEntry, "PAGE") + dropLine(kNotATocEntry, "12"));
  EXPECT_EQ(o.items, "0 10 |Contents| 0,0\n14 10 |Introduction| 0,0\n5 10 |Scope| 0,0\n");

  // An offset at the int limit wraps rather than overflowing.
  settings.pageOffset = INT_MAX;
  EXPECT_EQ(run(k, b.build(), &settings).items,
            "0 10 |Contents| 0,0\n" + std::to_string(INT_MIN + 11) + " 10 |Introduction| 0,0\n" +
                std::to_string(INT_MIN + 2) + " 10 |Scope| 0,0\n");
}

TEST(TocDocument, LinesWithoutAPageNumberTakeThePointTheirSizeMeets) {
  DocBuilder b;
  b.page()
      .para("Part One", {.size = 32})
      .para("Introduction ........ 3")
      .para("Chapter", {.size = 24})
      .para("Body")
      .para("Indented", {.cx = 2520});
  // The level pass left "Indented" one indent step below ten, at 5; the
  // output places its style again from the top and meets ten first.
  EXPECT_EQ(run(b.build(), kKeepCommas | kTocDocument | kIndentRefinement).items,
            "0 109 |Part One| 0,0\n3 10 |Introduction| 0,0\n0 60 |Chapter| 0,0\n"
            "0 10 |Body| 0,0\n0 10 |Indented| 0,0\n");
}

}  // namespace
}  // namespace Kivrel::testing

// The quality mode against the exact extraction on documents where the exact
// rules keep a paragraph that is not a heading, and on clean documents.
#include "kivrel/quality.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/doc_builder.h"
#include "text/text_test_util.h"

namespace Kivrel::testing {
namespace {

constexpr int kFlags = kKeepCommas | kIndentRefinement;  // no title detection
constexpr int kHeading = 28;

using text::utf8;

// "text" per item, one line each.
std::string items(KivOutlineList& list) {
  std::string out;
  for (KivOutlineItem* i : list.items) out += utf8(i->text) + '\n';
  return out;
}

struct Runs {
  std::string exact;
  std::string quality;
  std::vector<KivQualityVerdict> verdicts;
  // "text level [reason]" of the kept items, "text reason" of the other
  // paragraphs whose quality decision has a reason.
  std::string decisions() const {
    std::string out;
    for (const KivQualityVerdict& v : verdicts) {
      if (v.accepted) {
        out += utf8(v.text) + " L" + std::to_string(v.level);
        if (v.reason) out += " " + std::to_string(v.reason);
        out += '\n';
      } else if (v.reason) {
        out += utf8(v.exact.text) + " " + std::to_string(v.reason) + '\n';
      }
    }
    return out;
  }
};

Runs runBoth(const std::string& bytes, int flags = kFlags) {
  Runs r;
  KivSettings settings;
  settings.flags = flags;
  Kivrant k;
  {
    std::istringstream in(bytes, std::ios::binary);
    KivOutlineList list;
    EXPECT_EQ(k.extract(in, list, &settings), 0);
    r.exact = items(list);
  }
  std::istringstream in(bytes, std::ios::binary);
  KivOutlineList list;
  EXPECT_EQ(extractQuality(k, in, list, &settings, &r.verdicts), 0);
  r.quality = items(list);
  return r;
}

// One paragraph of a test document; cells of a table row are split at '|'.
struct Line {
  const char* text;  // nullptr: three lines of body text; "\f": a new page
  int size = 20;
  bool bold = false;
  int cy = 0;  // 0: below the paragraph before
};
const Line kBody{nullptr};
const Line kPage{"\f"};

// Without charFormats no paragraph has a character format, so only the
// paragraph's size speaks.
std::string build(const std::vector<Line>& lines, bool charFormats) {
  DocBuilder b;
  b.page();
  for (const Line& l : lines) {
    Para opts{.size = l.size, .bold = l.bold, .charFormat = charFormats};
    if (l.cy) opts.cy = l.cy;
    const std::string text = l.text ? l.text : "";
    if (!l.text) {
      // Enough body text that the body size is unambiguous.
      for (int i = 0; i < 3; ++i) {
        b.para("The body says something about the topic here.", {.charFormat = charFormats});
      }
    } else if (text == "\f") {
      b.page();
    } else if (const std::size_t bar = text.find('|'); bar != std::string::npos) {
      b.row({text.substr(0, bar), text.substr(bar + 1)}, opts);
    } else {
      b.para(text, opts);
    }
  }
  return b.build();
}

struct Case {
  const char* name;
  std::vector<Line> doc;
  const char* exactItems;  // what the exact mode keeps, as a check of the setup
  const char* decisions;   // the quality mode's kept items and drops
  int flags = kFlags;
  bool charFormats = true;
};

const Case kCases[] = {
    {"BodySizeLineBetweenHeadingsIsDropped",
     {{"Overview", kHeading}, kBody, {"Review copy", 20, false, 15500}},
     "Overview\nReview copy\n", "Overview L1\nReview copy -5000\n"},
    {"NumberedListItemAtBodySizeIsDropped",
     {{"Setup", kHeading}, kBody, {"1) Install"}, kBody},
     "Setup\n1) Install\n", "Setup L1\n1) Install -5001\n"},
    {"LargeLineFollowedByItsOwnSizeIsAWrappedParagraph",
     {{"Overview", kHeading}, kBody, {"Warning", 24, true},
      {"do not unplug the device while it writes.", 24, true}, kBody},
     "Overview\nWarning\n", "Overview L1\nWarning -5002\n"},
    {"CodeSlightlyLargerThanBodyIsDropped",
     {{"Usage", kHeading}, kBody, {"total = sum(values, *count);", 22}, kBody},
     "Usage\ntotal = sum(values, *count);\n", "Usage L1\ntotal = sum(values, *count); -5003\n"},
    {"FigureAndTableLabelsAreDropped",
     {{"Results", kHeading}, kBody, {"Figure 3: Throughput", 22, true}, kBody,
      {"図2 構成", 22, true}, kBody},
     "Results\nFigure 3: Throughput\n図2 構成\n",
     "Results L1\nFigure 3: Throughput -5004\n図2 構成 -5004\n"},
    {"SectionNumberAndTitleOnOneLineAreOneHeading",
     {{"Design", kHeading}, kBody, {"3.2|Scope", 24, true}, kBody},
     "Design\n", "Design L1\n3.2 Scope L2 -5011\nScope -5006\n"},
    // Half a line of this size overflows 32 bits.
    {"NumberAndTitleInAHugeSizeAreStillOneLine",
     {{"Design", kHeading}, kBody, {"3.2|Scope", 600000000, true}, kBody},
     "Design\n", "Design L2\n3.2 Scope L1 -5011\nScope -5006\n"},
    {"BoldTagHeadingTheExactRulesCallParenthesisedIsPromoted",
     {{"Elements", kHeading}, kBody, {"<fontconfig>", 24, true}, kBody},
     "Elements\n", "Elements L1\n<fontconfig> L2 -5010\n"},
    {"LineEndingInAPageNumberAcrossAGapIsAContentsLine",
     {{"Contents", kHeading}, kBody, {"Installing the tool\t12", 24, true}, kBody},
     "Contents\nInstalling the tool    12\n", "Contents L1\nInstalling the tool    12 -5007\n"},
    // The repeated line sits below the band the exact rules watch for
    // running headers.
    {"RepeatedLineAtThePageTopIsFurnitureWhateverItsDigits",
     {{"Draft 1 of 3", 24, false, 2900}, {"Alpha", kHeading}, kBody, kPage,
      {"Draft 2 of 3", 24, false, 2900}, {"Beta", kHeading}, kBody, kPage,
      {"Draft 3 of 3", 24, false, 2900}, {"Gamma", kHeading}, kBody},
     "Draft 1 of 3\nAlpha\nDraft 2 of 3\nBeta\nDraft 3 of 3\nGamma\n",
     "Draft 1 of 3 -5005\nAlpha L1\nDraft 2 of 3 -5005\nBeta L1\nDraft 3 of 3 -5005\nGamma L1\n"},
    {"CleanDocumentKeepsTheExactItems",
     {{"Guide", 40, true}, kBody, {"Install", kHeading}, kBody, {"Details", 24, true}, kBody},
     "Guide\nInstall\nDetails\n", "Guide L1\nInstall L2\nDetails L3\n"},
    // "2 Limits" is one level deep at body size and face: body text.
    {"NumberTwoLevelsDeepStaysAHeadingAtBodySize",
     {{"1 Design", kHeading}, kBody, kBody, {"1.1.1 Inputs"}, kBody, kBody, {"2 Limits"}, kBody,
      kBody},
     "1 Design\n1.1.1 Inputs\n2 Limits\n", "1 Design L1\n1.1.1 Inputs L2\n2 Limits -5000\n"},
    // 1.1 has its parent's size and 2 is smaller than 1.1: depth decides.
    {"NumberingDepthComesBeforeSizeAndLevelsAreContiguous",
     {{"Preface", 40}, kBody, {"1 Start", kHeading}, kBody, {"1.1 Scope", kHeading}, kBody,
      {"1.1.1 Terms", 24}, kBody, {"2 Next", 24}, kBody},
     nullptr, "Preface L1\n1 Start L2\n1.1 Scope L3\n1.1.1 Terms L4\n2 Next L2\n"},
    {"PartIsAboveChapterAboveSection",
     {{"Part II Practice", kHeading}, kBody, {"Chapter 4 Tools", kHeading}, kBody,
      {"4.1 Editors", 24}, kBody, {"Chapter 5 Habits", kHeading}, kBody},
     nullptr, "Part II Practice L1\nChapter 4 Tools L2\n4.1 Editors L3\nChapter 5 Habits L2\n"},
    // With title detection the exact rules reject the whole first page; of
    // its lines only one followed by body text becomes a heading, and a date
    // never does.
    {"OnATitlePageOnlyALineBeforeBodyTextIsAHeading",
     {{"Kivrel Guide", 48, true}, {"Release 2", 28, true}, {"Summary", 24, true}, kBody,
      {"March 2026", 24, true}, kBody, kPage, {"Install", kHeading}, kBody},
     "Install\n", "Summary L2 -5010\nInstall L1\n", kFlags | kDetectTitle},
    {"JapaneseChapterIsAboveSection",
     {{"第1章 概要", 24}, kBody, {"第1節 目的", 24}, kBody, {"第2章 設計", 24}, kBody},
     nullptr, "第1章 概要 L1\n第1節 目的 L2\n第2章 設計 L1\n"},
    {"WithoutCharacterFormatsThePointsRankTheItems",
     {kBody, {"1.1 Scope"}, kBody, {"1.1.1 Terms"}, kBody, {"1.2 Goals"}, kBody},
     "1.1 Scope\n1.1.1 Terms\n1.2 Goals\n", "1.1 Scope L1\n1.1.1 Terms L2\n1.2 Goals L1\n", kFlags,
     false},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Quality : public ::testing::TestWithParam<Case> {};

TEST_P(Quality, DecidesAsTheLayoutSays) {
  const Runs r = runBoth(build(GetParam().doc, GetParam().charFormats), GetParam().flags);
  if (GetParam().exactItems) EXPECT_EQ(r.exact, GetParam().exactItems);
  EXPECT_EQ(r.decisions(), GetParam().decisions);
  // The items are the kept verdicts, and every reason has words.
  std::string kept;
  for (const KivQualityVerdict& v : r.verdicts) {
    if (v.accepted) kept += utf8(v.text) + '\n';
    if (v.reason) EXPECT_STRNE(describeQualityReason(v.reason), "");
  }
  EXPECT_EQ(r.quality, kept);
}

INSTANTIATE_TEST_SUITE_P(Quality, Quality, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace Kivrel::testing

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

Runs runBoth(const std::string& bytes) {
  Runs r;
  KivSettings settings;
  settings.flags = kFlags;
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

// Enough body text that the body size is unambiguous.
void body(DocBuilder& b, int lines = 3) {
  for (int i = 0; i < lines; ++i) b.para("The body says something about the topic here.");
}

struct SignalCase {
  const char* name;
  std::string (*doc)();
  const char* exactItems;    // what the exact mode wrongly keeps, as a check of the setup
  const char* decisions;     // the quality mode's kept items and drops
};

const SignalCase kSignalCases[] = {
    {"BodySizeLineBetweenHeadingsIsDropped",
     [] {
       DocBuilder b;
       b.page().para("Overview", {.size = kHeading});
       body(b);
       b.para("Review copy", {.cy = 15500});
       return b.build();
     },
     "Overview\nReview copy\n", "Overview L1\nReview copy -5000\n"},
    {"NumberedListItemAtBodySizeIsDropped",
     [] {
       DocBuilder b;
       b.page().para("Setup", {.size = kHeading});
       body(b);
       b.para("1) Install");
       body(b);
       return b.build();
     },
     "Setup\n1) Install\n", "Setup L1\n1) Install -5001\n"},
    {"LargeLineFollowedByItsOwnSizeIsAWrappedParagraph",
     [] {
       DocBuilder b;
       b.page().para("Overview", {.size = kHeading});
       body(b);
       b.para("Warning", {.size = 24, .bold = true});
       b.para("do not unplug the device while it writes.", {.size = 24, .bold = true});
       body(b);
       return b.build();
     },
     "Overview\nWarning\n", "Overview L1\nWarning -5002\n"},
    {"CodeSlightlyLargerThanBodyIsDropped",
     [] {
       DocBuilder b;
       b.page().para("Usage", {.size = kHeading});
       body(b);
       b.para("total = sum(values, *count);", {.size = 22});
       body(b);
       return b.build();
     },
     "Usage\ntotal = sum(values, *count);\n",
     "Usage L1\ntotal = sum(values, *count); -5003\n"},
    {"FigureAndTableLabelsAreDropped",
     [] {
       DocBuilder b;
       b.page().para("Results", {.size = kHeading});
       body(b);
       b.para("Figure 3: Throughput", {.size = 22, .bold = true});
       body(b);
       b.para("図2 構成", {.size = 22, .bold = true});
       body(b);
       return b.build();
     },
     "Results\nFigure 3: Throughput\n図2 構成\n",
     "Results L1\nFigure 3: Throughput -5004\n図2 構成 -5004\n"},
    {"SectionNumberAndTitleOnOneLineAreOneHeading",
     [] {
       DocBuilder b;
       b.page().para("Design", {.size = kHeading});
       body(b);
       b.row({"3.2", "Scope"}, {.size = 24, .bold = true});
       body(b);
       return b.build();
     },
     "Design\n", "Design L1\n3.2 Scope L2 -5011\nScope -5006\n"},
    {"NumberAndTitleInAHugeSizeAreStillOneLine",
     [] {
       DocBuilder b;
       b.page().para("Design", {.size = kHeading});
       body(b);
       b.row({"3.2", "Scope"}, {.size = 600000000, .bold = true});  // half a line overflows 32 bits
       body(b);
       return b.build();
     },
     "Design\n", "Design L2\n3.2 Scope L1 -5011\nScope -5006\n"},
    {"BoldTagHeadingTheExactRulesCallParenthesisedIsPromoted",
     [] {
       DocBuilder b;
       b.page().para("Elements", {.size = kHeading});
       body(b);
       b.para("<fontconfig>", {.size = 24, .bold = true});
       body(b);
       return b.build();
     },
     "Elements\n", "Elements L1\n<fontconfig> L2 -5010\n"},
    {"LineEndingInAPageNumberAcrossAGapIsAContentsLine",
     [] {
       DocBuilder b;
       b.page().para("Contents", {.size = kHeading});
       body(b);
       b.para("Installing the tool\t12", {.size = 24, .bold = true});
       body(b);
       return b.build();
     },
     "Contents\nInstalling the tool    12\n", "Contents L1\nInstalling the tool    12 -5007\n"},
    {"RepeatedLineAtThePageTopIsFurnitureWhateverItsDigits",
     [] {
       DocBuilder b;
       const char* titles[] = {"Alpha", "Beta", "Gamma"};
       for (int page = 1; page <= 3; ++page) {
         // Below the band the exact rules watch for running headers.
         b.page().para("Draft " + std::to_string(page) + " of 3", {.size = 24, .cy = 2900});
         b.para(titles[page - 1], {.size = kHeading});
         body(b);
       }
       return b.build();
     },
     "Draft 1 of 3\nAlpha\nDraft 2 of 3\nBeta\nDraft 3 of 3\nGamma\n",
     "Draft 1 of 3 -5005\nAlpha L1\nDraft 2 of 3 -5005\nBeta L1\nDraft 3 of 3 -5005\nGamma L1\n"},
};

class Signals : public ::testing::TestWithParam<SignalCase> {};

TEST_P(Signals, FixCaseTheExactModeGetsWrong) {
  Runs r = runBoth(GetParam().doc());
  EXPECT_EQ(r.exact, GetParam().exactItems);
  EXPECT_EQ(r.decisions(), GetParam().decisions);
  for (const KivQualityVerdict& v : r.verdicts) {
    if (v.reason) EXPECT_STRNE(describeQualityReason(v.reason), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Quality, Signals, ::testing::ValuesIn(kSignalCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QualityMode, CleanDocumentKeepsTheExactItems) {
  DocBuilder b;
  b.page().para("Guide", {.size = 40, .bold = true});
  body(b);
  b.para("Install", {.size = kHeading});
  body(b);
  b.para("Details", {.size = 24, .bold = true});
  body(b);
  Runs r = runBoth(b.build());
  EXPECT_EQ(r.quality, r.exact);
  EXPECT_EQ(r.quality, "Guide\nInstall\nDetails\n");
  EXPECT_EQ(r.decisions(), "Guide L1\nInstall L2\nDetails L3\n");
}

TEST(QualityMode, NumberTwoLevelsDeepStaysAHeadingAtBodySize) {
  DocBuilder b;
  b.page().para("1 Design", {.size = kHeading});
  body(b, 6);
  b.para("1.1.1 Inputs");  // two levels deep
  body(b, 6);
  b.para("2 Limits");      // one level at body size and face: body text
  body(b, 6);
  Runs r = runBoth(b.build());
  ASSERT_EQ(r.exact, "1 Design\n1.1.1 Inputs\n2 Limits\n");
  EXPECT_EQ(r.decisions(), "1 Design L1\n1.1.1 Inputs L2\n2 Limits -5000\n");
}

TEST(QualityLevels, NumberingDepthComesBeforeSizeAndLevelsAreContiguous) {
  DocBuilder b;
  b.page().para("Preface", {.size = 40});
  body(b);
  b.para("1 Start", {.size = kHeading});
  body(b);
  b.para("1.1 Scope", {.size = kHeading});  // same size as its parent: depth decides
  body(b);
  b.para("1.1.1 Terms", {.size = 24});
  body(b);
  b.para("2 Next", {.size = 24});  // smaller than 1.1 yet a top number
  body(b);
  Runs r = runBoth(b.build());
  EXPECT_EQ(r.decisions(),
            "Preface L1\n1 Start L2\n1.1 Scope L3\n1.1.1 Terms L4\n2 Next L2\n");
}

TEST(QualityLevels, WithoutCharacterFormatsThePointsRankTheItems) {
  const Para plain{.charFormat = false};
  DocBuilder b;
  b.page();
  for (const char* heading : {"1.1 Scope", "1.1.1 Terms", "1.2 Goals"}) {
    b.para("The body says something about the topic here.", plain);
    b.para(heading, plain);
  }
  b.para("The body says something about the topic here.", plain);
  Runs r = runBoth(b.build());
  ASSERT_EQ(r.exact, "1.1 Scope\n1.1.1 Terms\n1.2 Goals\n");
  EXPECT_EQ(r.quality, r.exact);
  EXPECT_EQ(r.decisions(), "1.1 Scope L1\n1.1.1 Terms L2\n1.2 Goals L1\n");
}

TEST(QualityLevels, PartIsAboveChapterAboveSection) {
  DocBuilder b;
  b.page().para("Part II Practice", {.size = kHeading});
  body(b);
  b.para("Chapter 4 Tools", {.size = kHeading});
  body(b);
  b.para("4.1 Editors", {.size = 24});
  body(b);
  b.para("Chapter 5 Habits", {.size = kHeading});
  body(b);
  Runs r = runBoth(b.build());
  EXPECT_EQ(r.decisions(),
            "Part II Practice L1\nChapter 4 Tools L2\n4.1 Editors L3\nChapter 5 Habits L2\n");
}

TEST(QualityLevels, JapaneseChapterIsAboveSection) {
  DocBuilder b;
  b.page().para("第1章 概要", {.size = 24});
  body(b);
  b.para("第1節 目的", {.size = 24});
  body(b);
  b.para("第2章 設計", {.size = 24});
  body(b);
  Runs r = runBoth(b.build());
  EXPECT_EQ(r.decisions(), "第1章 概要 L1\n第1節 目的 L2\n第2章 設計 L1\n");
}

}  // namespace
}  // namespace Kivrel::testing

// Level assignment: heading-number points, then size, weight and indent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "outline/reason_codes.h"
#include "support/doc_builder.h"

namespace Kivrel::testing {
namespace {

using K = KivrantInternals;

struct Heading {
  const char* text;
  int size;
  int cx;
};

class Levels : public ::testing::Test {
 protected:
  ~Levels() override { releaseModel(k); }

  // One page per inner list.
  void load(const std::vector<std::vector<Heading>>& pages) {
    DocBuilder b;
    for (const auto& page : pages) {
      b.page();
      for (const Heading& h : page) {
        Para opts;
        opts.size = h.size;
        opts.cx = h.cx;
        b.para(h.text, opts);
      }
    }
    loadModel(k, b.build());
  }
  std::vector<int> run(int flags) {
    settings.flags = flags;
    std::vector<int> indentLists[3];
    K::setupOutlineLevel(k, pointArray, indentLists, &settings);
    std::vector<int> out;
    for (MPPage* page : K::pages(k)) {
      for (MPParagraph* p : page->paragraphs) {
        if (!p->text.isEmpty()) out.push_back(p->point);
      }
    }
    return out;
  }

  Kivrant k;
  KivSettings settings;
  std::vector<int> pointArray;
};

TEST_F(Levels, StrongNumbersKeepTheirPointsAndPlainTextStaysTen) {
  load({{{"第2章 概要", 20, 1800}, {"1.2 Scope", 28, 1800}, {"Body", 20, 1800},
         {"More body", 20, 1800}}});
  EXPECT_EQ(run(0), (std::vector<int>{1000, 500, 10, 10}));
  EXPECT_EQ(pointArray, (std::vector<int>{10, 500, 1000}));
}

TEST_F(Levels, LargerPlainTextRanksAboveAndBetweenPointsInOrder) {
  load({{{"Body", 20, 1800}, {"Big", 28, 1800}, {"Big again", 28, 1800}, {"Mid", 24, 1800}}});
  EXPECT_EQ(run(0), (std::vector<int>{10, 109, 109, 60}));
  EXPECT_EQ(pointArray, (std::vector<int>{10, 60, 109}));
}

TEST_F(Levels, EachIndentStepLowersAFontPointByFiveOnlyWithTheRefinementFlag) {
  const std::vector<Heading> page = {
      {"Body", 20, 0}, {"(1) a", 28, 0}, {"(1) b", 28, 720}, {"(2) c", 28, 690}};
  load({page});
  EXPECT_EQ(run(kIndentRefinement), (std::vector<int>{10, 200, 195, 195}));
  EXPECT_EQ(pointArray, (std::vector<int>{10, 195, 200}));
  releaseModel(k);
  pointArray.clear();
  load({page});
  EXPECT_EQ(run(0), (std::vector<int>{10, 200, 200, 200}));
}

TEST_F(Levels, IndentRankIsTheFirstEntryWithinTolerance) {
  // Entries 1000, 1150 and 2000; 1075 adds none and takes the rank of 1000.
  // "Other" puts 5 in use first, which same-style text then gets as its font
  // point: rank 0 keeps it, rank 2 takes it to 0.
  load({{{"Body", 20, 1000}, {"Other", 20, 1150}, {"Near", 20, 1075}, {"Far", 20, 2000}}});
  EXPECT_EQ(run(kIndentRefinement), (std::vector<int>{10, 5, 5, 0}));
}

TEST_F(Levels, BareNumberingPrefixStaysRejectedAndUncounted) {
  load({{{"第1回", 20, 1800}, {"Body", 20, 1800}}});
  EXPECT_EQ(run(0), (std::vector<int>{kBareNumberingPrefix, 10}));
  EXPECT_EQ(pointArray, (std::vector<int>{10}));
}

TEST_F(Levels, SkippedPagesAndRejectedParagraphsAreLeftAlone) {
  load({{{"Body", 20, 1800}, {"Dropped", 28, 1800}}, {{"Big", 28, 1800}}, {{"Big", 28, 1800}}});
  K::pages(k)[0]->paragraphs[1]->point = kSentence;
  K::pages(k)[1]->flags |= kPageExcluded;
  K::pages(k)[2]->flags |= kPageAfterRefusedTitle;
  EXPECT_EQ(run(0), (std::vector<int>{10, kSentence, 10, 10}));
  EXPECT_EQ(pointArray, (std::vector<int>{10}));
}

TEST_F(Levels, SpecialSectionKeepsNumberPointsWithoutFontRefinement) {
  DocBuilder b;
  b.page().para("Body");
  b.page(kA4Width, kA4Height, true);
  Para big;
  big.size = 28;
  b.para("Big", big);
  b.para("1. Part", big);
  loadModel(k, b.build());
  EXPECT_EQ(run(kIndentRefinement), (std::vector<int>{10, 10, 600}));
}

}  // namespace
}  // namespace Kivrel::testing

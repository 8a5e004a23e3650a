// Level assignment: heading-number points, then size, weight and indent.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "outline/point_info_map.h"
#include "outline/reason_codes.h"
#include "support/doc_builder.h"

namespace Kivrel::testing {
namespace {

using K = KivrantInternals;

struct Heading {
  const char* text;
  int size;
  int cx = 1800;
};

class Levels : public ::testing::Test {
 protected:
  ~Levels() override { releaseModel(k); }

  // One page per inner list.
  void load(const std::vector<std::vector<Heading>>& pages) {
    releaseModel(k);
    pointArray.clear();
    DocBuilder b;
    for (const auto& page : pages) {
      b.page();
      for (const Heading& h : page) b.para(h.text, {.size = h.size, .cx = h.cx});
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

TEST_F(Levels, NumbersThenSizeThenIndentGiveThePoints) {
  struct Case {
    std::vector<Heading> page;
    int flags;
    std::vector<int> points;
    std::vector<int> inUse;
  };
  const Case cases[] = {
      // Strong numbers keep their points; plain text stays at ten.
      {{{"第2章 概要", 20}, {"1.2 Scope", 28}, {"Body", 20}, {"More body", 20}}, 0,
       {1000, 500, 10, 10}, {10, 500, 1000}},
      // Larger plain text ranks above the top, or between two points.
      {{{"Body", 20}, {"Big", 28}, {"Big again", 28}, {"Mid", 24}}, 0, {10, 109, 109, 60},
       {10, 60, 109}},
      // Ten stands for the smallest plain text: 20 takes over from 28
      // before the sizes are placed.
      {{{"Large", 28}, {"Body", 20}, {"Mid", 24}}, 0, {109, 10, 60}, {10, 60, 109}},
      // A heading-number point stands for the largest text seen with it, so
      // 24 ranks below 1000 rather than above it.
      {{{"第1章 A", 20}, {"第2章 B", 28}, {"第3章 C", 20}, {"Body", 20}, {"Mid", 24}}, 0,
       {1000, 1000, 1000, 10, 505}, {10, 505, 1000}},
      // Each indent step lowers a font point by five, only with the flag.
      {{{"Body", 20, 0}, {"(1) a", 28, 0}, {"(1) b", 28, 720}, {"(2) c", 28, 690}},
       kIndentRefinement, {10, 200, 195, 195}, {10, 195, 200}},
      {{{"Body", 20, 0}, {"(1) a", 28, 0}, {"(1) b", 28, 720}, {"(2) c", 28, 690}}, 0,
       {10, 200, 200, 200}, {10, 200}},
      // 1075 adds no entry and takes the rank of 1000; "Other" puts 5 in use
      // first, which same-style text then gets as its font point.
      {{{"Body", 20, 1000}, {"Other", 20, 1150}, {"Near", 20, 1075}, {"Far", 20, 2000}},
       kIndentRefinement, {10, 5, 5, 0}, {0, 5, 10}},
      // 1200 lies exactly the tolerance below 1300: no entry of its own, so
      // 1400 keeps rank 1.
      {{{"Body", 20, 1000}, {"Wide", 28, 1300}, {"Edge", 28, 1200}, {"Far", 28, 1400}},
       kIndentRefinement, {10, 104, 99, 94}, {10, 94, 99, 104}},
      // Distances are 32-bit: positions at opposite int limits, or 2^31
      // apart, share an indent; 111 apart across the limit they do not.
      {{{"Body", 20, INT_MIN}, {"Wrapped", 20, INT_MAX}}, kIndentRefinement, {10, 10}, {10}},
      {{{"Body", 20, INT_MAX}, {"Wrapped", 20, INT_MIN + 99}}, kIndentRefinement, {10, 10}, {10}},
      {{{"Body", 20, 0}, {"Opposite", 20, INT_MIN}}, kIndentRefinement, {10, 10}, {10}},
      {{{"Body", 20, INT_MIN + 50}, {"Apart", 20, INT_MAX - 60}}, kIndentRefinement, {10, 5},
       {5, 10}},
      // A bare numbering prefix stays rejected and uncounted.
      {{{"第1回", 20}, {"Body", 20}}, 0, {kBareNumberingPrefix, 10}, {10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.page[1].text) + " flags " + std::to_string(c.flags));
    load({c.page});
    EXPECT_EQ(run(c.flags), c.points);
    EXPECT_EQ(pointArray, c.inUse);
  }
}

TEST_F(Levels, SkippedPagesRejectedParagraphsAndSpecialSectionsAreNotRefined) {
  load({{{"Body", 20}, {"Dropped", 28}}, {{"Big", 28}}, {{"Big", 28}}});
  K::pages(k)[0]->paragraphs[1]->point = kSentence;
  K::pages(k)[1]->flags |= kPageExcluded;
  K::pages(k)[2]->flags |= kPageAfterRefusedTitle;
  EXPECT_EQ(run(0), (std::vector<int>{10, kSentence, 10, 10}));
  EXPECT_EQ(pointArray, (std::vector<int>{10}));

  releaseModel(k);
  DocBuilder b;
  b.page().para("Body");
  b.page(kA4Width, kA4Height, true).para("Big", {.size = 28}).para("1. Part", {.size = 28});
  loadModel(k, b.build());
  EXPECT_EQ(run(kIndentRefinement), (std::vector<int>{10, 10, 600}));
}

// The reader lists alike blank paragraphs as one object; called on such a
// model directly, without the driver's rejection of empty paragraphs, the
// pass must still refine that object once, not once per place.
TEST_F(Levels, ABlankListedInSeveralPlacesIsRefinedOnce) {
  for (int flags : {0, static_cast<int>(kIndentRefinement)}) {
    SCOPED_TRACE(flags);
    releaseModel(k);
    pointArray.clear();
    DocBuilder b;
    b.page().para("Big", {.size = 28}).paragraphBreak().paragraphBreak().paragraphBreak();
    b.para("Body", {.size = 20});
    loadModel(k, b.build());
    const auto& listed = K::pages(k)[0]->paragraphs;
    ASSERT_EQ(listed.size(), 5u);
    ASSERT_EQ(listed[1], listed[3]) << "blanks alike are listed as one";
    run(flags);
    const int refined = listed[1]->point;
    EXPECT_EQ(refined, listed[0]->point) << "the blank ranks with the larger text";
    EXPECT_EQ(K::pointInfoMap(k)->at(refined).count, 2) << "the big text and the blank, once";
  }
}

TEST_F(Levels, AnIndentStepBelowAWrappedPointWrapsToo) {
  load({{{"Body", 20, 1800}, {"Big", 32, 2520}}});
  // A point that earlier paragraphs left near the top of int.
  pointArray = {INT_MAX - 95};
  internal::pointInfosIn(K::pointInfoMap(k))[INT_MAX - 95] = PointInfo{0, 1};
  // Above the top: INT_MAX - 95 + 99 wraps to INT_MIN + 3, and one indent
  // step lower wraps back to INT_MAX - 1.
  EXPECT_EQ(run(kIndentRefinement), (std::vector<int>{10, INT_MAX - 1}));
}

}  // namespace
}  // namespace Kivrel::testing

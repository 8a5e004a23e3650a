// Walking paragraphs forward and backward across pages.
#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "support/doc_builder.h"

namespace Kivrel {
namespace {

enum class Dir { kNext, kPrev };

struct NavCase {
  Dir dir;
  int page, para;
  bool update;
  int wantPage, wantPara;  // -1, -1: null
  int afterPage, afterPara;
};

void PrintTo(const NavCase& c, std::ostream* os) {
  *os << (c.dir == Dir::kNext ? "next" : "prev") << " from (" << c.page << ", " << c.para
      << (c.update ? ") updating" : ")");
}

class Navigation : public ::testing::TestWithParam<NavCase> {
 protected:
  // Pages of 2, 0, 5, 1 and 0 paragraphs; each paragraph's cx is its
  // position as page * 100 + index.
  Navigation() {
    testing::DocBuilder b;
    const int counts[] = {2, 0, 5, 1, 0};
    for (int p = 0; p < 5; ++p) {
      b.page();
      for (int i = 0; i < counts[p]; ++i) b.para("x", {.cx = p * 100 + i, .cy = 0});
    }
    testing::loadModel(k, b.build());
  }
  ~Navigation() override { testing::releaseModel(k); }
  Kivrant k;
};

TEST_P(Navigation, ReturnsTheNeighbourAndMovesTheCallerOnlyWithUpdate) {
  NavCase c = GetParam();
  int page = c.page, para = c.para;
  MPParagraph* p = c.dir == Dir::kNext
                       ? KivrantInternals::getNextParagraph(k, page, para, c.update)
                       : KivrantInternals::getPrevParagraph(k, page, para, c.update);
  if (c.wantPage < 0) {
    EXPECT_EQ(p, nullptr);
  } else {
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->cx, c.wantPage * 100 + c.wantPara);
  }
  EXPECT_EQ(page, c.afterPage);
  EXPECT_EQ(para, c.afterPara);
}

INSTANTIATE_TEST_SUITE_P(
    Walks, Navigation,
    ::testing::Values(
        NavCase{Dir::kNext, 0, 0, true, 0, 1, 0, 1},
        NavCase{Dir::kNext, 0, 1, true, 2, 0, 2, 0},      // over the empty page
        NavCase{Dir::kNext, 0, 1, false, 2, 0, 0, 1},
        NavCase{Dir::kNext, 0, -1, false, 0, 0, 0, -1},
        NavCase{Dir::kNext, 3, 0, true, -1, -1, 5, 0},    // after the last page
        NavCase{Dir::kNext, 3, 0, false, -1, -1, 3, 0},
        NavCase{Dir::kNext, -1, 0, true, -1, -1, -1, 1},
        NavCase{Dir::kNext, 0, -5, true, 2, 0, 2, 0},     // negative: not on page 0
        NavCase{Dir::kNext, 0, INT_MAX, true, 2, 0, 2, 0},
        NavCase{Dir::kPrev, 2, 3, true, 2, 2, 2, 2},
        NavCase{Dir::kPrev, 3, 0, false, 2, 4, 3, 0},
        NavCase{Dir::kPrev, 3, 0, true, 2, 4, 2, 4},
        NavCase{Dir::kPrev, 2, 0, true, -1, -1, 0, -1},   // never enters page 0
        NavCase{Dir::kPrev, 0, 1, true, 0, 0, 0, 0},
        NavCase{Dir::kPrev, 0, 0, true, -1, -1, -1, -1},
        NavCase{Dir::kPrev, 5, 0, true, -1, -1, 5, -1},
        NavCase{Dir::kPrev, 4, 0, true, 3, 0, 3, 0}));

TEST(NavigationFailure, PreviousOnItsOwnPageChecksTheIndex) {
  testing::DocBuilder b;
  b.page().para("only");
  Kivrant k;
  testing::loadModel(k, b.build());
  int page = 0, para = 5;
  EXPECT_THROW(KivrantInternals::getPrevParagraph(k, page, para, false), std::out_of_range);
  testing::releaseModel(k);
}

}  // namespace
}  // namespace Kivrel

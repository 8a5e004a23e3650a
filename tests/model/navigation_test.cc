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

// Pages of 2, 0, 5, 1 and 0 paragraphs; each paragraph's cx is its position
// as page * 100 + index.
TEST(Navigation, ReturnsTheNeighbourAndMovesTheCallerOnlyWithUpdate) {
  testing::DocBuilder b;
  const int counts[] = {2, 0, 5, 1, 0};
  for (int p = 0; p < 5; ++p) {
    b.page();
    for (int i = 0; i < counts[p]; ++i) b.para("x", {.cx = p * 100 + i, .cy = 0});
  }
  Kivrant k;
  testing::loadModel(k, b.build());
  const NavCase cases[] = {
      {Dir::kNext, 0, 0, true, 0, 1, 0, 1},
      {Dir::kNext, 0, 1, true, 2, 0, 2, 0},  // over the empty page
      {Dir::kNext, 0, 1, false, 2, 0, 0, 1},
      {Dir::kNext, 0, -1, false, 0, 0, 0, -1},
      {Dir::kNext, 3, 0, true, -1, -1, 5, 0},  // after the last page
      {Dir::kNext, 3, 0, false, -1, -1, 3, 0},
      {Dir::kNext, -1, 0, true, -1, -1, -1, 1},
      {Dir::kNext, 0, -5, true, 2, 0, 2, 0},  // negative: not on page 0
      {Dir::kNext, 0, INT_MAX, true, 2, 0, 2, 0},
      {Dir::kPrev, 2, 3, true, 2, 2, 2, 2},
      {Dir::kPrev, 3, 0, false, 2, 4, 3, 0},
      {Dir::kPrev, 3, 0, true, 2, 4, 2, 4},
      {Dir::kPrev, 2, 0, true, -1, -1, 0, -1},  // never enters page 0
      {Dir::kPrev, 0, 1, true, 0, 0, 0, 0},
      {Dir::kPrev, 0, 0, true, -1, -1, -1, -1},
      {Dir::kPrev, 5, 0, true, -1, -1, 5, -1},
      {Dir::kPrev, 4, 0, true, 3, 0, 3, 0},
  };
  for (const NavCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.dir == Dir::kNext ? "next" : "prev") << " from ("
                                      << c.page << ", " << c.para << ") update " << c.update);
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
  // On its own page the previous paragraph's index is checked.
  int page = 0, para = 5;
  EXPECT_THROW(KivrantInternals::getPrevParagraph(k, page, para, false), std::out_of_range);
  testing::releaseModel(k);
}

}  // namespace
}  // namespace Kivrel

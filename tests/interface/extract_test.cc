// The run lifecycle of the extractor: log switching, copies, repeated runs.
#include <gtest/gtest.h>

#include <sstream>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "support/doc_builder.h"

namespace Kivrel {
namespace {

using testing::DocBuilder;

std::string twoPages() {
  DocBuilder b;
  b.page().para("One", {.size = 30, .bold = true}).pageBreak().para("Two", {.size = 24});
  return b.build();
}

int run(Kivrant& k, const std::string& bytes) {
  std::istringstream in(bytes);
  KivOutlineList result;
  return k.extract(in, result, nullptr);
}

bool idle(Kivrant& k) {
  return KivrantInternals::pageCount(k) == 0 && KivrantInternals::pages(k).empty() &&
         KivrantInternals::styleTable(k).empty() && KivrantInternals::pointInfoMap(k).empty();
}

TEST(Extract, EachRunLeavesTheExtractorIdleAndLogsLikeAFreshOne) {
  Kivrant k;
  EXPECT_EQ(run(k, ""), 0);
  EXPECT_TRUE(idle(k));
  std::ostringstream first, second;
  k.setLogStream(&first);
  EXPECT_EQ(run(k, twoPages()), 0);
  EXPECT_TRUE(idle(k));
  k.setLogStream(&second);
  EXPECT_EQ(run(k, twoPages()), 0);
  EXPECT_TRUE(idle(k));
  EXPECT_EQ(second.str(), first.str());
  EXPECT_NE(first.str().find(testing::sjis("#page ページ番号 2-")), std::string::npos);
}

TEST(Extract, CopiesShareTheLogStreamUntilTheyAreGivenTheirOwn) {
  Kivrant original;
  std::ostringstream log;
  original.setLogStream(&log);
  Kivrant copy(original);
  Kivrant assigned;
  assigned = original;
  run(copy, twoPages());
  const std::string once = log.str();
  EXPECT_FALSE(once.empty());
  run(assigned, twoPages());
  EXPECT_EQ(log.str(), once + once);
  copy.setLogStream(nullptr);  // switches off the copy's log only
  run(copy, twoPages());
  run(original, twoPages());
  EXPECT_EQ(log.str(), once + once + once);
}

}  // namespace
}  // namespace Kivrel

// The run lifecycle of the extractor: log switching, copies, repeated runs.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "support/doc_builder.h"
#include "support/stream_bufs.h"

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

// Copies the extractor it watches, or assigns to it, at its first poll.
class CopyingHandler : public KivProgressHandler {
 public:
  enum Act { kCopyFrom, kAssignTo, kAssignFrom };
  CopyingHandler(Kivrant& watched, Act act) : watched_(watched), act_(act) {}
  int onProgress() override {
    Kivrant idle;
    switch (act_) {
      case kCopyFrom: {
        Kivrant copy(watched_);
        break;
      }
      case kAssignTo:
        watched_ = idle;
        break;
      case kAssignFrom:
        idle = watched_;
        break;
    }
    return 0;
  }

 private:
  Kivrant& watched_;
  Act act_;
};

// Both ways out of a run by exception: a copy refused mid-run, and an input
// that throws as the reader meets its end.
TEST(Extract, AnExceptionLeavingARunLeavesTheExtractorIdle) {
  for (CopyingHandler::Act act :
       {CopyingHandler::kCopyFrom, CopyingHandler::kAssignTo, CopyingHandler::kAssignFrom}) {
    SCOPED_TRACE(act);
    Kivrant k;
    CopyingHandler handler(k, act);
    k.setProgressHandler(&handler);
    EXPECT_THROW(run(k, twoPages()), std::logic_error);
    EXPECT_TRUE(idle(k));
    k.setProgressHandler(nullptr);
    EXPECT_EQ(run(k, twoPages()), 0);
  }
  const std::string bytes = twoPages();
  testing::TrickleBuf buf(bytes.substr(0, bytes.size() - 1), true);
  std::istream in(&buf);
  in.exceptions(std::ios::badbit);
  Kivrant k;
  KivOutlineList result;
  EXPECT_THROW(k.extract(in, result, nullptr), std::runtime_error);
  EXPECT_TRUE(idle(k));
  EXPECT_EQ(run(k, bytes), 0);
}

}  // namespace
}  // namespace Kivrel

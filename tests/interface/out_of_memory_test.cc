// Runs that run out of memory at every allocation in turn: each leaves the
// extractor idle and whole for the next run (the sanitizer build reports a
// leak or a double free at any of them). A binary of its own, since it
// replaces the global allocation functions.
#include <gtest/gtest.h>

#include <new>
#include <sstream>
#include <string>

#include "interface/kivrant_internals.h"
#include "kivrel/quality.h"
#include "support/doc_builder.h"
#include "support/failing_allocator.h"

namespace Kivrel {
namespace {

using testing::allocationsMade;
using testing::DocBuilder;
using testing::failAllocationsAfter;
using testing::liveBlocks;

// Something of every kind the model holds: pages, blank and shared
// paragraphs, distinct formats, a table row, a contents page and a text long
// enough for a block of its own.
std::string everyKindOfObject() {
  DocBuilder b;
  b.page().para("Contents", {.size = 32, .bold = true});
  for (int i = 1; i <= 4; ++i)
    b.para("Chapter " + std::to_string(i) + " ........ " + std::to_string(i * 3));
  for (int page = 0; page < 6; ++page) {
    b.pageBreak().para("Running head", {.size = 16, .cy = 200});
    b.para(std::to_string(page + 1) + "\tChapter " + std::to_string(page + 1),
           {.size = 32, .bold = true, .cy = 4000});
    b.paragraphBreak().paragraphBreak();
    for (int i = 0; i < 8; ++i) {
      b.para("Body text " + std::to_string(i) + " of page " + std::to_string(page), {.size = 20});
      b.run(" and a note", {.size = 14 + page});
    }
    b.row({"cell a", "cell b"});
  }
  b.para(std::string(40000, 'x'), {.size = 20});
  return b.build();
}

struct RunResult {
  bool threw = false;
  int rc = 0;
  std::string outline;
  std::string log;
};

RunResult extractWithAllocationsLeft(Kivrant& k, const std::string& bytes, long left,
                                     bool quality) {
  RunResult run;
  std::istringstream in(bytes);
  std::ostringstream log;
  KivOutlineList result;
  KivSettings settings;
  k.setLogStream(&log);
  failAllocationsAfter(left);
  try {
    run.rc = quality ? extractQuality(k, in, result, &settings) : k.extract(in, result, &settings);
  } catch (const std::bad_alloc&) {
    run.threw = true;
  }
  failAllocationsAfter(-1);
  k.setLogStream(nullptr);
  run.outline = testing::itemLines(result);
  run.log = log.str();
  return run;
}

// The quality mode runs the exact one inside it, with a verdict handler of
// its own that must give way to the host's however the run ends.
class OutOfMemory : public ::testing::TestWithParam<bool> {};

class HostHandler : public KivVerdictHandler {
 public:
  void onVerdict(const KivParagraphVerdict&) override {}
};

TEST_P(OutOfMemory, ARunThatRunsOutAtAnyAllocationLeavesTheExtractorIdleForTheNext) {
  const bool quality = GetParam();
  const std::string bytes = everyKindOfObject();
  Kivrant k;
  HostHandler host;
  k.setVerdictHandler(&host);
  const long before = allocationsMade();
  const RunResult reference = extractWithAllocationsLeft(k, bytes, -1, quality);
  const long total = allocationsMade() - before;
  ASSERT_FALSE(reference.threw);
  ASSERT_NE(reference.outline.find("Chapter 6"), std::string::npos) << reference.outline;
  ASSERT_GT(total, 100);
  int threw = 0;
  for (long left = 0; left < total; ++left) {
    SCOPED_TRACE(left);
    const long liveBefore = liveBlocks();
    threw += extractWithAllocationsLeft(k, bytes, left, quality).threw;
    ASSERT_EQ(liveBlocks(), liveBefore);
    ASSERT_FALSE(KivrantInternals::holdsRunData(k));
    ASSERT_EQ(KivrantInternals::verdictHandler(k), &host);
    const RunResult again = extractWithAllocationsLeft(k, bytes, -1, quality);
    ASSERT_EQ(again.outline, reference.outline);
    ASSERT_TRUE(again.log == reference.log);
  }
  // Most allocations are the run's own; where one fails, the run stops.
  EXPECT_GT(threw, total / 2);
}

INSTANTIATE_TEST_SUITE_P(Modes, OutOfMemory, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Quality" : "Exact";
                         });

}  // namespace
}  // namespace Kivrel

// Runs that run out of memory at every allocation in turn: each leaves the
// extractor idle and whole for the next run (the sanitizer build reports a
// leak or a double free at any of them). A binary of its own, since it
// replaces the global allocation functions.
#include <gtest/gtest.h>

#include <new>
#include <sstream>
#include <string>
#include <vector>

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
// enough for a block of its own. Running heads and headings are longer than
// ICU keeps inside a string, so copies of them take its heap.
std::string everyKindOfObject() {
  DocBuilder b;
  b.page().para("Contents", {.size = 32, .bold = true});
  for (int i = 1; i <= 4; ++i) {
    b.para("Chapter " + std::to_string(i) + " ........ " + std::to_string(i * 3));
  }
  for (int page = 0; page < 6; ++page) {
    b.pageBreak().para("Running head of the report, on every page", {.size = 16, .cy = 200});
    b.para(std::to_string(page + 1) + "\tChapter " + std::to_string(page + 1) +
               ", with a title longer than a short string",
           {.size = 32, .bold = true, .cy = 4000});
    b.paragraphBreak().paragraphBreak();
    for (int i = 0; i < 8; ++i) {
      b.para("Body text " + std::to_string(i) + " of page " + std::to_string(page), {.size = 20});
      b.run(" and a note", {.size = 14 + page});
    }
    b.row({"cell a", "cell b"});
  }
  b.para(std::string(40000, 'x'), {.size = 20});
  // For the quality mode: a section number and its title on one line, and
  // a date and a heading with spaces around it, each standing out and long
  // enough for the heap.
  b.pageBreak().para("7.2", {.size = 28, .bold = true, .cx = 1800, .cy = 3000});
  b.para("The title of a section on the number's line",
         {.size = 28, .bold = true, .cx = 2800, .cy = 3000});
  b.para("Report of the review board, 10 December 2026", {.size = 28, .bold = true, .cy = 4000});
  b.para("   A heading with spaces around it, in bold   ", {.size = 28, .bold = true, .cy = 5000});
  return b.build();
}

// Page 2 and pages past the end, in as many units as ICU keeps inside a
// string: the separator the parser appends takes its heap.
constexpr char16_t kExcludedPages[] = u"2, 1000-2000, 3000-4000, 50";
static_assert(sizeof kExcludedPages / sizeof(char16_t) - 1 == 27);

// Which allocations fail: those of operator new, which throw, or those of
// ICU's heap, which return null and leave a string bogus or as it was.
enum class Heap { kOperatorNew, kIcu };

struct Mode {
  bool quality;
  Heap heap;
  int failing;  // in a row, or testing::kAllThatFollow
};

long allocationsOn(Heap heap) {
  return heap == Heap::kIcu ? testing::icuAllocationsMade() : allocationsMade();
}

void failAfter(const Mode& mode, long left) {
  if (mode.heap == Heap::kIcu) {
    testing::failIcuAllocationsAfter(left, mode.failing);
  } else {
    failAllocationsAfter(left, mode.failing);
  }
}

// A log whose storage is set aside before the run: an std::ostringstream
// growing would take allocations meant for the run, and a stream swallows
// their failure.
class ReservedLog : public std::streambuf {
 public:
  explicit ReservedLog(std::size_t capacity) {
    text_.reserve(capacity);
    reserved_ = text_.capacity();
  }
  const std::string& text() const { return text_; }
  bool grew() const { return text_.capacity() != reserved_; }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof()))
      text_.push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    text_.append(s, static_cast<std::size_t>(n));
    return n;
  }

 private:
  std::string text_;
  std::size_t reserved_ = 0;
};

struct RunResult {
  bool threw = false;
  int rc = 0;
  std::string outline;
  std::string log;
};

RunResult extractWithAllocationsLeft(Kivrant& k, const std::string& bytes, long left,
                                     const Mode& mode) {
  RunResult run;
  std::istringstream in(bytes);
  ReservedLog logBuffer(4 * bytes.size());
  std::ostream log(&logBuffer);
  KivOutlineList result;
  KivSettings settings;
  settings.excludePages = kExcludedPages;
  k.setLogStream(&log);
  failAfter(mode, left);
  try {
    run.rc =
        mode.quality ? extractQuality(k, in, result, &settings) : k.extract(in, result, &settings);
  } catch (const std::bad_alloc&) {
    run.threw = true;
  }
  failAfter(mode, -1);
  k.setLogStream(nullptr);
  run.outline = testing::itemLines(result);
  run.log = logBuffer.text();
  EXPECT_FALSE(logBuffer.grew()) << "the log's storage took allocations of the run";
  return run;
}

// The quality mode runs the exact one inside it, with a verdict handler of
// its own that must give way to the host's however the run ends.
class OutOfMemory : public ::testing::TestWithParam<Mode> {};

class HostHandler : public KivVerdictHandler {
 public:
  void onVerdict(const KivParagraphVerdict&) override {}
};

TEST_P(OutOfMemory, ARunThatRunsOutAtAnyAllocationFailsWholeAndLeavesTheExtractorIdle) {
  const Mode mode = GetParam();
  const std::string bytes = everyKindOfObject();
  Kivrant k;
  HostHandler host;
  k.setVerdictHandler(&host);
  const long before = allocationsOn(mode.heap);
  const RunResult reference = extractWithAllocationsLeft(k, bytes, -1, mode);
  const long total = allocationsOn(mode.heap) - before;
  ASSERT_FALSE(reference.threw);
  ASSERT_NE(reference.outline.find("Chapter 6"), std::string::npos) << reference.outline;
  ASSERT_GT(total, 100);
  int threw = 0;
  for (long left = 0; left < total; ++left) {
    SCOPED_TRACE(left);
    const long liveBefore = liveBlocks();
    {
      const RunResult failed = extractWithAllocationsLeft(k, bytes, left, mode);
      threw += failed.threw;
      // A run gives all of its result or none: no text cut short, no log
      // line without its text, no items of a run that failed.
      if (failed.threw) {
        EXPECT_EQ(failed.outline, "");
      } else {
        EXPECT_EQ(failed.outline, reference.outline);
        EXPECT_TRUE(failed.log == reference.log);
      }
    }
    ASSERT_EQ(liveBlocks(), liveBefore);
    ASSERT_FALSE(KivrantInternals::holdsRunData(k));
    ASSERT_EQ(KivrantInternals::verdictHandler(k), &host);
    const RunResult again = extractWithAllocationsLeft(k, bytes, -1, mode);
    ASSERT_EQ(again.outline, reference.outline);
    ASSERT_TRUE(again.log == reference.log);
  }
  // Most allocations are the run's own; where one fails, the run stops.
  EXPECT_GT(threw, total / 2);
}

std::vector<Mode> allModes() {
  std::vector<Mode> modes;
  for (bool quality : {false, true}) {
    for (Heap heap : {Heap::kOperatorNew, Heap::kIcu}) {
      modes.push_back(Mode{quality, heap, testing::kAllThatFollow});
      modes.push_back(Mode{quality, heap, heap == Heap::kIcu ? 2 : 1});
    }
  }
  return modes;
}

INSTANTIATE_TEST_SUITE_P(Modes, OutOfMemory, ::testing::ValuesIn(allModes()),
                         [](const ::testing::TestParamInfo<Mode>& info) {
                           const Mode& m = info.param;
                           return std::string(m.quality ? "Quality" : "Exact") +
                                  (m.heap == Heap::kIcu ? "IcuHeap" : "OperatorNew") +
                                  (m.failing == testing::kAllThatFollow
                                       ? "AllFail"
                                       : std::to_string(m.failing) + "Fail");
                         });

}  // namespace
}  // namespace Kivrel

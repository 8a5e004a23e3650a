// The run lifecycle of the extractor: log switching, copies, repeated runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "proc_status.h"
#include "support/doc_builder.h"
#include "support/sanitized.h"
#include "support/stream_bufs.h"
#include "support/temp_file.h"

namespace Kivrel {
namespace {

using testing::DocBuilder;

std::string twoPages() {
  DocBuilder b;
  b.page().para("One", {.size = 30, .bold = true}).pageBreak().para("Two", {.size = 24});
  return b.build();
}

// The outline of one run that must complete, an item a line.
std::string outlineOf(Kivrant& k, const std::string& bytes) {
  std::istringstream in(bytes);
  KivOutlineList result;
  KivSettings settings;
  EXPECT_EQ(k.extract(in, result, &settings), 0);
  return testing::itemLines(result);
}

bool idle(Kivrant& k) {
  return KivrantInternals::pageCount(k) == 0 && KivrantInternals::pages(k).empty() &&
         KivrantInternals::styleTable(k).empty() && !KivrantInternals::pointInfoMap(k);
}

TEST(Extract, EachRunLeavesTheExtractorIdleAndLogsLikeAFreshOne) {
  Kivrant k;
  outlineOf(k, "");
  EXPECT_TRUE(idle(k));
  std::ostringstream first, second;
  k.setLogStream(&first);
  outlineOf(k, twoPages());
  EXPECT_TRUE(idle(k));
  k.setLogStream(&second);
  outlineOf(k, twoPages());
  EXPECT_TRUE(idle(k));
  EXPECT_EQ(second.str(), first.str());
  EXPECT_NE(first.str().find(testing::sjis("#page ページ番号 2-")), std::string::npos);
}

// Enough pages and paragraphs that the run's model takes several blocks.
// filler: the body size of an unknown record written at paragraph 1000.
std::string manyPages(int paragraphs = 3000, std::uint32_t filler = 0) {
  DocBuilder b;
  b.page();
  for (int i = 1; i <= paragraphs; ++i) {
    if (filler && i == 1000) {
      const std::string body(filler, 'f');
      b.writer().raw(99, filler, body.data(), body.size());
    }
    if (i % 40 == 0) b.pageBreak();
    if (i % 40 == 1) {
      b.para(std::to_string(i / 40 + 1) + "\tChapter " + std::to_string(i), {.size = 32, .bold = true});
    } else {
      b.para("Body text of paragraph " + std::to_string(i) + " goes on for a while.", {.size = 20});
    }
  }
  return b.build();
}

TEST(Extract, RunsOnSeveralThreadsAtOnceEachGiveTheOutlineOfARunAlone) {
  const std::string bytes = manyPages();
  Kivrant reference;
  const std::string expected = outlineOf(reference, bytes);
  std::vector<int> wrongRuns(4, 0);
  std::vector<std::thread> threads;
  for (int& wrong : wrongRuns) {
    threads.emplace_back([&bytes, &expected, &wrong] {
      Kivrant k;
      for (int run = 0; run < 5; ++run) wrong += outlineOf(k, bytes) != expected;
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrongRuns, std::vector<int>(4, 0));
}

// A long file, with a skipped record longer than many of the reader's
// blocks and a header cut short at its end.
TEST(Extract, AFileGivesWhatTheSameBytesFromMemoryGive) {
  const std::string bytes = manyPages(6000, 12u << 20) + std::string("\x06\x00\x00", 3);
  testing::TempFile file(bytes);
  std::string outline[2], log[2];
  std::ios::iostate state[2];
  for (int fromFile = 0; fromFile < 2; ++fromFile) {
    std::ifstream onDisk(file.path(), std::ios::binary);
    std::istringstream inMemory(bytes);
    std::istream& in = fromFile ? static_cast<std::istream&>(onDisk) : inMemory;
    Kivrant k;
    std::ostringstream logged;
    k.setLogStream(&logged);
    KivOutlineList result;
    KivSettings settings;
    EXPECT_EQ(k.extract(in, result, &settings), 0);
    outline[fromFile] = testing::itemLines(result);
    log[fromFile] = logged.str();
    state[fromFile] = in.rdstate();
  }
  EXPECT_NE(outline[0].find("Chapter 5961"), std::string::npos);
  EXPECT_EQ(outline[1], outline[0]);
  EXPECT_TRUE(log[1] == log[0]);
  EXPECT_EQ(state[1], state[0]);
}

int threadsOfThisProcess() { return static_cast<int>(bench::statusValue("Threads")); }

// A log that notes the most threads the process had each time its buffer
// filled, which happens all through the read of a large stream.
class ThreadCountingLog : public std::stringbuf {
 public:
  int most = 0;

 protected:
  int_type overflow(int_type c) override {
    most = std::max(most, threadsOfThisProcess());
    return std::stringbuf::overflow(c);
  }
};

// Hosts may rely on a run staying on their thread (signal masks, fork,
// thread limits), large file or not.
TEST(Extract, ARunOnALargeFileStartsNoThread) {
  DocBuilder b;
  b.page();
  const std::string line(400, 'x');
  while (b.writer().bytesWritten() < (std::size_t{12} << 20)) b.para(line);
  testing::TempFile file(b.build());
  const int before = threadsOfThisProcess();
  ASSERT_GE(before, 1);
  std::ifstream in(file.path(), std::ios::binary);
  ThreadCountingLog counting;
  std::ostream log(&counting);
  Kivrant k;
  k.setLogStream(&log);
  KivOutlineList result;
  KivSettings settings;
  ASSERT_EQ(k.extract(in, result, &settings), 0);
  EXPECT_GT(counting.str().size(), std::size_t{1} << 20);  // written all through the read
  EXPECT_EQ(counting.most, before);
}

// A pass called outside a run leaves per-run data; the extractor's end frees
// it (the sanitizer build reports a leak otherwise).
TEST(Extract, AnExtractorFreesWhatAPassCalledOutsideARunLeft) {
  Kivrant k;
  KivrantInternals::insertPointInfoMap(k, 600, 0);
  EXPECT_NE(KivrantInternals::pointInfoMap(k), nullptr);
}

TEST(Extract, CopiesShareTheLogStreamUntilTheyAreGivenTheirOwn) {
  Kivrant original;
  std::ostringstream log;
  original.setLogStream(&log);
  Kivrant copy(original);
  Kivrant assigned;
  assigned = original;
  outlineOf(copy, twoPages());
  const std::string once = log.str();
  EXPECT_FALSE(once.empty());
  outlineOf(assigned, twoPages());
  EXPECT_EQ(log.str(), once + once);
  copy.setLogStream(nullptr);  // switches off the copy's log only
  outlineOf(copy, twoPages());
  outlineOf(original, twoPages());
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
    EXPECT_THROW(outlineOf(k, twoPages()), std::logic_error);
    EXPECT_TRUE(idle(k));
    k.setProgressHandler(nullptr);
    outlineOf(k, twoPages());
  }
  const std::string bytes = twoPages();
  testing::TrickleBuf buf(bytes.substr(0, bytes.size() - 1), true);
  std::istream in(&buf);
  in.exceptions(std::ios::badbit);
  Kivrant k;
  KivOutlineList result;
  EXPECT_THROW(k.extract(in, result, nullptr), std::runtime_error);
  EXPECT_TRUE(idle(k));
  outlineOf(k, bytes);
}

}  // namespace
}  // namespace Kivrel

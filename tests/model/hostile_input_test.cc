// Record streams whose lengths claim more than they hold.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <sstream>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "support/doc_builder.h"

namespace {

// The largest single allocation while tracking is on.
std::atomic<bool> gTracking{false};
std::atomic<std::size_t> gLargest{0};

}  // namespace

void* operator new(std::size_t size) {
  if (gTracking.load(std::memory_order_relaxed)) {
    std::size_t seen = gLargest.load(std::memory_order_relaxed);
    while (size > seen && !gLargest.compare_exchange_weak(seen, size)) {
    }
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace Kivrel {
namespace {

using testing::DocBuilder;

std::size_t largestAllocationWhileReading(Kivrant& k, const std::string& bytes) {
  gLargest = 0;
  gTracking = true;
  testing::loadModel(k, bytes);
  gTracking = false;
  return gLargest;
}

// Lengths far beyond the input: text allocates for the bytes present, skips
// end the input at once, and the record that claimed them still acts.
TEST(HostileInput, HugeLengthsCostOnlyWhatTheInputHolds) {
  struct Case {
    std::uint32_t type, claimed;
    const char* dump;
  } cases[] = {
      {6, 0x7FFFFFFFu, "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |ahi|\n"},
      {6, 0x80000000u, "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |ahi|\n"},
      {6, 0xFFFFFFFEu, "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |ahi|\n"},
      {7, 0xFFFFFFFFu, "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |a|\n1:1 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"},
      {8, 0xFFFFFFFFu, "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |a|\n"},
      {15, 0xFFFFFFFFu, "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |a|\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " claiming " + std::to_string(c.claimed));
    DocBuilder b;
    b.page().para("a", {.charFormat = false, .position = false});
    b.writer().raw(c.type, c.claimed, "h\0i\0", 4);
    Kivrant k;
    std::ostringstream log;
    k.setLogStream(&log);
    auto start = std::chrono::steady_clock::now();
    EXPECT_LT(largestAllocationWhileReading(k, b.build()), std::size_t{1} << 20);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(testing::dumpModel(k), c.dump);
    testing::releaseModel(k);
  }
}

}  // namespace
}  // namespace Kivrel

// Record streams whose lengths claim more than they hold, and inputs that fail.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <sstream>
#include <stdexcept>

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

TEST(HostileInput, HugeTextLengthAllocatesOnlyForTheBytesPresent) {
  for (std::uint32_t claimed : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu}) {
    DocBuilder b;
    b.page().paragraphBreak();
    b.writer().raw(6, claimed, "h\0i\0", 4);
    Kivrant k;
    std::ostringstream log;
    k.setLogStream(&log);
    EXPECT_LT(largestAllocationWhileReading(k, b.build()), std::size_t{1} << 20) << claimed;
    EXPECT_EQ(testing::dumpModel(k), "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |hi|\n");
    testing::releaseModel(k);
  }
}

TEST(HostileInput, HugeSkipsEndTheInputQuickly) {
  for (std::uint32_t type : {7u, 8u, 15u}) {
    DocBuilder b;
    b.page().para("a", {.charFormat = false, .position = false});
    b.writer().raw(type, 0xFFFFFFFFu, nullptr, 0);
    b.text("never");
    Kivrant k;
    auto start = std::chrono::steady_clock::now();
    EXPECT_LT(largestAllocationWhileReading(k, b.build()), std::size_t{1} << 20);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(testing::dumpModel(k, true), "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |a|\n");
    testing::releaseModel(k);
  }
}

// Delivers its bytes, then throws on the next read.
class ThrowingBuf : public std::streambuf {
 public:
  explicit ThrowingBuf(std::string bytes) : bytes_(std::move(bytes)) {
    setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
  }

 protected:
  int_type underflow() override { throw std::runtime_error("device lost"); }

 private:
  std::string bytes_;
};

TEST(HostileInput, ExceptionLeavingARunLeavesTheExtractorIdle) {
  DocBuilder b;
  b.page().para("a", {.size = 30}).page().para("b");
  std::string bytes = b.build();
  ThrowingBuf buf(bytes.substr(0, bytes.size() - 1));
  std::istream in(&buf);
  in.exceptions(std::ios::badbit);
  Kivrant k;
  KivOutlineList result;
  EXPECT_THROW(k.extract(in, result, nullptr), std::runtime_error);
  EXPECT_EQ(KivrantInternals::pageCount(k), 0);
  EXPECT_TRUE(KivrantInternals::pages(k).empty());
  EXPECT_TRUE(KivrantInternals::styleTable(k).empty());

  std::istringstream again(bytes);
  EXPECT_EQ(k.extract(again, result, nullptr), 0);
  EXPECT_TRUE(KivrantInternals::pages(k).empty());
}

}  // namespace
}  // namespace Kivrel

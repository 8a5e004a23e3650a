// Large fresh allocations have their pages before anything touches them.
#include "model/prefault.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "proc_status.h"
#include "support/sanitized.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIVREL_TEST_HAS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(KIVREL_TEST_HAS_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace Kivrel {
namespace {

const std::size_t kPage = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));

// How many of the whole pages inside [p, p + bytes) are resident.
std::size_t residentPages(const void* p, std::size_t bytes) {
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(p) + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kPage - 1);
  std::vector<unsigned char> state((end - begin) / kPage);
  if (mincore(reinterpret_cast<void*>(begin), end - begin, state.data()) != 0) return 0;
  std::size_t resident = 0;
  for (unsigned char s : state) resident += s & 1;
  return resident;
}

// Whether the system takes pages ahead on request at all (kernels before
// 5.14 do not); asked directly, so that a library that never asks still fails.
bool systemTakesPagesAhead() {
#ifdef MADV_POPULATE_WRITE
  void* p = mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  const bool taken = madvise(p, kPage, MADV_POPULATE_WRITE) == 0;
  munmap(p, kPage);
  return taken;
#else
  return false;
#endif
}

TEST(Prefault, TakesEveryWholePageOfAFreshRangeAndNoOther) {
  if (!systemTakesPagesAhead()) GTEST_SKIP() << "this system does not take pages ahead";
  constexpr std::size_t kBytes = 1 << 20;
  void* p = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(p, MAP_FAILED);
  char* data = static_cast<char*>(p);
  ASSERT_EQ(residentPages(data, kBytes), 0u);
  // A range that starts and ends inside a page leaves both of those out.
  EXPECT_TRUE(internal::prefaultPages(data + 1, kBytes / 2));
  EXPECT_EQ(residentPages(data, kBytes), kBytes / 2 / kPage - 1);
  EXPECT_EQ(residentPages(data + kBytes / 2, kBytes / 2), 0u);
  EXPECT_FALSE(internal::prefaultPages(data + 1, kPage - 2));  // holds no whole page
  munmap(data, kBytes);
}

TEST(PrefaultingAllocator, GivesALargeListResidentPages) {
  if (!systemTakesPagesAhead()) GTEST_SKIP() << "this system does not take pages ahead";
  std::vector<int, internal::PrefaultingAllocator<int>> large;
  large.reserve(internal::kPrefaultMinBytes);  // four times the threshold in bytes
  const std::size_t bytes = large.capacity() * sizeof(int);
  EXPECT_GE(residentPages(large.data(), bytes) * kPage, bytes - 2 * kPage);
}

TEST(HugeBlock, MapsItsBytesInWholePagesAndUnmapsThemWhenFreed) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer build takes these blocks from the heap";
  const bool takesPagesAhead = systemTakesPagesAhead();
  constexpr std::size_t kHuge = internal::kHugePageBytes;
  // Whole huge pages where they leave at most an eighth of them unused.
  const struct {
    std::size_t bytes;
    std::size_t mapped;
  } cases[] = {
      {internal::kHugeBlockMinBytes, kHuge},
      {kHuge, kHuge},
      {kHuge + kPage + 1, kHuge + 2 * kPage},
      {2 * kHuge - kHuge / 4, 2 * kHuge},
      {2 * kHuge - kHuge / 4 - 1, 2 * kHuge - kHuge / 4},
      {3 * kHuge, 3 * kHuge},
  };
  for (const auto& c : cases) {
    const std::size_t bytes = c.bytes;
    const std::size_t length = c.mapped;
    SCOPED_TRACE(bytes);
    const long before = bench::statusKb("VmSize");
    char* block = static_cast<char*>(internal::allocateHugeBlock(bytes));
    ASSERT_NE(block, nullptr);
    // The room to spare that found an aligned start is gone again.
    EXPECT_EQ(bench::statusKb("VmSize") - before, static_cast<long>(length / 1024));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % internal::kHugePageBytes, 0u);
    if (takesPagesAhead) EXPECT_EQ(residentPages(block, length), length / kPage);
    block[0] = 1;
    block[bytes - 1] = 2;
    internal::freeHugeBlock(block, bytes);
    EXPECT_EQ(bench::statusKb("VmSize"), before);
  }
}

TEST(PrefaultingAllocator, PutsAListOfAHugePageOrMoreInAHugeBlockAndUnmapsItAfter) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer build takes these blocks from the heap";
  const long before = bench::statusKb("VmSize");
  {
    std::vector<int, internal::PrefaultingAllocator<int>> list(internal::kHugePageBytes, 5);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(list.data()) % internal::kHugePageBytes, 0u);
    EXPECT_EQ(bench::statusKb("VmSize") - before,
              static_cast<long>(list.size() * sizeof(int) / 1024));
    EXPECT_EQ(list.back(), 5);
  }
  EXPECT_EQ(bench::statusKb("VmSize"), before);
}

// Each size on either side of where the allocator changes: the sanitizer
// build reports a block freed otherwise than it was taken.
TEST(LargeBlock, StartsOnABlockBoundaryAndAHugeOneGoesBackToTheSystemWhenFreed) {
  for (std::size_t bytes : {std::size_t{16384}, internal::kPrefaultMinBytes - 1,
                            internal::kPrefaultMinBytes, internal::kHugeBlockMinBytes - 1,
                            internal::kHugeBlockMinBytes, internal::kHugePageBytes + 1}) {
    SCOPED_TRACE(bytes);
    const long before = bench::statusKb("VmSize");
    char* p = static_cast<char*>(internal::allocateLargeBlock(bytes));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % internal::kBlockAlignment, 0u);
    p[0] = 1;
    p[bytes - 1] = 2;
    internal::freeLargeBlock(p, bytes);
    if (!kSanitized && bytes >= internal::kHugeBlockMinBytes) {
      EXPECT_EQ(bench::statusKb("VmSize"), before);
    }
  }
}

#if defined(__SANITIZE_ADDRESS__) || defined(KIVREL_TEST_HAS_ASAN)
// Odd sizes too: the sanitizer tracks bytes in groups of eight.
TEST(LargeBlock, ItsBytesAreUsableAndTheSpareOnesAroundThemAreNot) {
  for (std::size_t bytes : {internal::kPrefaultMinBytes, internal::kPrefaultMinBytes + 3,
                            internal::kHugeBlockMinBytes - 1}) {
    SCOPED_TRACE(bytes);
    char* p = static_cast<char*>(internal::allocateLargeBlock(bytes));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(__asan_region_is_poisoned(p, bytes), nullptr);
    EXPECT_TRUE(__asan_address_is_poisoned(p + bytes));
    EXPECT_TRUE(__asan_address_is_poisoned(p - 1));
    internal::freeLargeBlock(p, bytes);
  }
}
#endif

// How much a process's address space grew for the last of three blocks of
// bytes, each allocated, written and freed in turn.
long growthForTheThirdBlock(std::size_t bytes) {
  long grown = 0;
  for (int round = 0; round < 3; ++round) {
    const long before = bench::statusKb("VmSize");
    char* p = static_cast<char*>(internal::allocateLargeBlock(bytes));
    if (!p) return -1;
    std::memset(p, round, bytes);
    grown = bench::statusKb("VmSize") - before;
    internal::freeLargeBlock(p, bytes);
  }
  return grown;
}

// Settings that stop glibc's heap from learning from what it frees.
bool heapTunedByEnvironment() {
  for (const char* name : {"MALLOC_MMAP_THRESHOLD_", "MALLOC_TOP_PAD_", "MALLOC_TRIM_THRESHOLD_",
                           "GLIBC_TUNABLES"}) {
    if (std::getenv(name)) return true;
  }
  return false;
}

// The reader's first block, asked for once a run: from the second run on it
// should come from memory the heap already holds, not from a fresh mapping.
// In a fresh process, since what the heap has freed before decides it.
TEST(LargeBlock, OfTheSizeJustFreedComesFromMemoryAlreadyMapped) {
#if !defined(__GLIBC__)
  GTEST_SKIP() << "relies on how glibc's heap reuses a freed block";
#endif
  if (kSanitized) GTEST_SKIP() << "the sanitizer's heap keeps freed blocks aside";
  if (heapTunedByEnvironment()) GTEST_SKIP() << "the environment tunes the heap";
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh exec of this test
  EXPECT_EXIT(
      {
        const long grown = growthForTheThirdBlock(internal::kPrefaultMinBytes);
        std::fprintf(stderr, "grew %ld kB\n", grown);
        std::exit(grown == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "grew 0 kB");
  GTEST_FLAG_SET(death_test_style, style);
}

}  // namespace
}  // namespace Kivrel

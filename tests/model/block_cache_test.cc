// The blocks a run frees and a later run takes again.
#include "model/block_cache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace Kivrel {
namespace {

using internal::BlockCache;

// Blocks stand for themselves by address; the cache never touches one
// unless asked to fill it.
void* block(std::uintptr_t n) { return reinterpret_cast<void*>(n * 4096); }

std::vector<void*> freed;
void recordFree(void* p, std::size_t) { freed.push_back(p); }

class BlockCacheTest : public ::testing::Test {
 protected:
  void SetUp() override { freed.clear(); }
};

TEST_F(BlockCacheTest, TakeGivesBackTheNewestKeptBlockOfExactlyThatSize) {
  BlockCache cache(100, recordFree);
  EXPECT_EQ(cache.take(10), nullptr);
  ASSERT_TRUE(cache.keep(block(1), 10));
  ASSERT_TRUE(cache.keep(block(2), 20));
  ASSERT_TRUE(cache.keep(block(3), 10));
  EXPECT_EQ(cache.heldBytes(), 40u);
  EXPECT_EQ(cache.take(15), nullptr);  // no rounding up to a larger block
  EXPECT_EQ(cache.take(10), block(3));
  EXPECT_EQ(cache.take(10), block(1));
  EXPECT_EQ(cache.take(10), nullptr);
  EXPECT_EQ(cache.heldBytes(), 20u);
  EXPECT_TRUE(freed.empty());
}

TEST_F(BlockCacheTest, KeepFreesTheBlocksHeldLongestToStayWithinTheLimit) {
  BlockCache cache(50, recordFree);
  ASSERT_TRUE(cache.keep(block(1), 20));
  ASSERT_TRUE(cache.keep(block(2), 20));
  ASSERT_TRUE(cache.keep(block(3), 30));  // fills the limit exactly
  EXPECT_EQ(freed, std::vector<void*>{block(1)});
  EXPECT_EQ(cache.heldBytes(), 50u);
  ASSERT_TRUE(cache.keep(block(4), 40));
  EXPECT_EQ(freed, (std::vector<void*>{block(1), block(2), block(3)}));
  EXPECT_EQ(cache.heldBytes(), 40u);
  // One over the limit alone is refused and costs the held ones nothing.
  EXPECT_FALSE(cache.keep(block(5), 51));
  EXPECT_EQ(freed.size(), 3u);
  EXPECT_EQ(cache.take(40), block(4));
}

TEST_F(BlockCacheTest, ALowerLimitAndTheEndFreeWhatIsHeld) {
  {
    BlockCache cache(100, recordFree);
    ASSERT_TRUE(cache.keep(block(1), 40));
    ASSERT_TRUE(cache.keep(block(2), 40));
    cache.setLimit(50);
    EXPECT_EQ(freed, std::vector<void*>{block(1)});
    EXPECT_FALSE(cache.keep(block(3), 60));
    cache.setLimit(0);
    EXPECT_EQ(cache.heldBytes(), 0u);
    cache.setLimit(100);
    ASSERT_TRUE(cache.keep(block(4), 10));
  }
  EXPECT_EQ(freed, (std::vector<void*>{block(1), block(2), block(4)}));
}

TEST_F(BlockCacheTest, FillOnTakeOverwritesTheWholeBlock) {
  std::vector<unsigned char> storage(64, 0);
  BlockCache cache(100, recordFree);
  cache.setFillOnTake(0xA5);
  ASSERT_TRUE(cache.keep(storage.data(), storage.size()));
  ASSERT_EQ(cache.take(storage.size()), storage.data());
  EXPECT_EQ(storage, std::vector<unsigned char>(64, 0xA5));
}

TEST(BlockCacheLimit, IsACountOfMiBInDecimalDigitsOrTheFallback) {
  constexpr std::size_t kMiB = 1 << 20;
  const struct {
    const char* value;
    std::size_t bytes;
  } cases[] = {
      {nullptr, 7},          {"", 7},     {"0", 0},    {"12", 12 * kMiB}, {"012", 12 * kMiB},
      {"12M", 7},            {" 12", 7},  {"-1", 7},   {"+1", 7},
      {"99999999999999999999999", 7},  // more MiB than a size holds
  };
  for (const auto& c : cases) {
    EXPECT_EQ(internal::blockCacheLimitFrom(c.value, 7), c.bytes)
        << (c.value ? c.value : "(unset)");
  }
}

}  // namespace
}  // namespace Kivrel

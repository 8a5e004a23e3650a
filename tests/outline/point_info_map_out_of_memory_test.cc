// The per-point table run out of memory as it grows: a run that fails there
// still releases it, and nothing may read a half-moved table. A binary of
// its own, since it replaces the global allocation functions.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "outline/point_info_map.h"
#include "support/failing_allocator.h"

namespace Kivrel {
namespace {

using internal::PointInfoMap;

constexpr int kStep = 100;  // points come in multiples of 100

std::unique_ptr<PointInfoMap> mapWith(int points) {
  auto map = std::make_unique<PointInfoMap>();
  for (int i = 0; i < points; ++i) (*map)[i * kStep] = PointInfo{i, i + 1};
  return map;
}

// Every entry made so far, looked up one by one, and the size.
std::pair<std::size_t, std::vector<std::pair<int, int>>> entriesOf(const PointInfoMap& map) {
  std::vector<std::pair<int, int>> found;
  for (int i = 0; i < 64; ++i) {
    if (const PointInfo* info = map.find(i * kStep))
      found.emplace_back(info->styleIndex, info->count);
  }
  return {map.size(), found};
}

TEST(PointInfoMapOutOfMemory, AFailedGrowthLeavesEveryEntryInPlace) {
  // 0: the first table; 56: the 57th entry would fill more than seven eighths of 64 slots.
  for (int before : {0, 56}) {
    SCOPED_TRACE(before);
    testing::expectEachFailedAllocationChangesNothing([&] { return mapWith(before); },
                                                      [](PointInfoMap& map) {
                                                        bool added = false;
                                                        map.tryEmplace(-7, PointInfo{9, 9}, added);
                                                        ASSERT_TRUE(added);
                                                        EXPECT_EQ(map.at(-7).styleIndex, 9);
                                                      },
                                                      entriesOf);
  }
}

}  // namespace
}  // namespace Kivrel

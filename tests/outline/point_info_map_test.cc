// The per-point table against the standard map, on the kinds of keys runs
// give it: neighbours, multiples of 100, the ends of int.
#include "outline/point_info_map.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <unordered_map>

namespace Kivrel::testing {
namespace {

using internal::PointInfoMap;

TEST(PointInfoMap, AgreesWithTheStandardMapWhileItGrows) {
  struct Keys {
    const char* name;
    std::int64_t first;
    std::int64_t step;
    int span;  // keys first + step * [0, span), wrapped to int
  };
  const Keys keySets[] = {
      {"neighbours", 11, 1, 50000},
      {"multiples of 100", 0, 100, 20000},
      {"both ends of int", INT_MAX - 500, 1, 1000},
      {"negative", -40000, 3, 30000},
      {"one bucket's worth of equal low bits", 0, 1 << 20, 4096},
  };
  for (const Keys& keys : keySets) {
    SCOPED_TRACE(keys.name);
    std::mt19937 random(20261210);
    PointInfoMap map;
    std::unordered_map<int, PointInfo> expected;
    for (int step = 0; step < 3 * keys.span; ++step) {
      const int point = static_cast<int>(
          static_cast<std::uint32_t>(keys.first + keys.step * (random() % keys.span)));
      const PointInfo made{static_cast<int>(random() % 1000), 0};
      bool added = false;
      PointInfo& info = map.tryEmplace(point, made, added);
      auto [it, expectedAdded] = expected.try_emplace(point, made);
      ASSERT_EQ(added, expectedAdded) << "point " << point;
      ++info.count;
      ++it->second.count;
      ASSERT_EQ(map.size(), expected.size());
    }
    for (const auto& [point, info] : expected) {
      const PointInfo* found = map.find(point);
      ASSERT_NE(found, nullptr) << "point " << point;
      EXPECT_EQ(found->styleIndex, info.styleIndex);
      EXPECT_EQ(found->count, info.count);
    }
    int missing = 0;
    for (int k = 0; k < 2000; ++k) {
      const int point = static_cast<int>(random());
      if (!expected.count(point)) {
        EXPECT_EQ(map.find(point), nullptr) << "point " << point;
        ++missing;
      }
    }
    EXPECT_GT(missing, 0);
  }
}

TEST(PointInfoMap, EveryIntIsAKeyAndClearForgetsThemAll) {
  PointInfoMap map;
  EXPECT_EQ(map.find(0), nullptr) << "an empty table has no storage to look in";
  for (int point : {INT_MIN, -1, 0, 1, INT_MAX}) map[point] = PointInfo{point & 7, 1};
  EXPECT_EQ(map.size(), 5u);
  EXPECT_EQ(map.at(INT_MIN).styleIndex, 0);
  EXPECT_EQ(map.at(INT_MAX).styleIndex, 7);
  EXPECT_THROW(map.at(2), std::out_of_range);

  map.clear();
  EXPECT_TRUE(map.empty());
  for (int point : {INT_MIN, -1, 0, 1, INT_MAX}) EXPECT_EQ(map.find(point), nullptr);
  map[5].count = 3;
  EXPECT_EQ(map.at(5).count, 3) << "usable again after clear";
}

}  // namespace
}  // namespace Kivrel::testing

// Placing a style among the points in use, against a plain walk over the
// points in order.
#include "outline/point_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "model/model.h"

namespace Kivrel::testing {
namespace {

using internal::PointTable;

// Wraps like the extractor's 32-bit arithmetic.
int wrap(std::int64_t v) { return static_cast<int>(static_cast<std::uint32_t>(v)); }

int offHundred(int r) { return r % 100 == 0 ? wrap(static_cast<std::int64_t>(r) - 50) : r; }

// The walk as one would do it by hand: points ascending with their ranks.
int walk(const std::map<int, std::int64_t>& points, std::int64_t rank, int paragraphPoint,
         bool forOutput) {
  std::vector<std::pair<int, std::int64_t>> p(points.begin(), points.end());
  const int n = static_cast<int>(p.size());
  if (!forOutput && paragraphPoint == kPlainPoint && n > 0) {
    int i = 0;
    while (i < n && p[i].second < rank) ++i;
    if (i == n) return offHundred(wrap(static_cast<std::int64_t>(p[n - 1].first) + 99));
    if (p[i].second == rank) return offHundred(p[i].first);
    if (i == 0) return offHundred(p[0].first / 2);
    const int gap = wrap(static_cast<std::int64_t>(p[i].first) - p[i - 1].first);
    return offHundred(wrap(static_cast<std::int64_t>(p[i].first) - gap / 2));
  }
  for (int j = n - 1; j >= 0; --j) {
    if (p[j].second > rank) continue;
    if (p[j].second == rank) return forOutput ? p[j].first : std::min(p[j].first, paragraphPoint);
    if (j == n - 1) return wrap(static_cast<std::int64_t>(p[j].first) + 99);
    const int gap = wrap(static_cast<std::int64_t>(p[j + 1].first) - p[j].first);
    return wrap(static_cast<std::int64_t>(p[j].first) + gap / 2);
  }
  return forOutput ? 0 : 100;
}

class PointOrder : public ::testing::Test {
 protected:
  // Style i has size sizes[i] and, when bold[i], the bold weight.
  void makeStyles(const std::vector<int>& sizes, const std::vector<bool>& bold) {
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      auto entry = std::make_unique<StyleEntry>();
      std::uint32_t flag = bold[i] ? charformat::kBoldFlag : 0;
      std::memcpy(entry->format + charformat::kFlag, &flag, sizeof flag);
      std::memcpy(entry->format + charformat::kCharSize, &sizes[i], sizeof sizes[i]);
      owned.push_back(std::move(entry));
      styles.push_back(owned.back().get());
    }
  }

  std::vector<std::unique_ptr<StyleEntry>> owned;
  std::vector<StyleEntry*> styles;
};

TEST_F(PointOrder, PlacesLikeAWalkOverThePointsWhileTheyGrowAndChangeStyle) {
  struct Scenario {
    const char* name;
    int firstPoint;   // lowest point the scenario draws from
    int pointSpan;    // points drawn from [firstPoint, firstPoint + pointSpan)
    int styleCount;
    int steps;
  };
  const Scenario scenarios[] = {
      {"few points, many styles", 0, 40, 30, 400},
      {"many points, few styles", 0, 5000, 4, 3000},
      {"points near the top of int", INT_MAX - 300, 300, 12, 600},
      {"negative points", -1000, 2000, 12, 600},
      {"points on both sides of the wrap", INT_MAX - 150, 300, 12, 600},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    std::mt19937 random(20261207);
    owned.clear();
    styles.clear();
    std::vector<int> sizes;
    std::vector<bool> bold;
    for (int i = 0; i < s.styleCount; ++i) {
      sizes.push_back(static_cast<int>(random() % 8) * 2 + 16);
      bold.push_back(random() % 3 == 0);
    }
    makeStyles(sizes, bold);

    const std::map<int, PointInfo*> noInfo;
    PointTable table({}, noInfo, styles);
    std::map<int, std::int64_t> reference;
    for (int step = 0; step < s.steps; ++step) {
      const int style = static_cast<int>(random() % s.styleCount);
      const std::int64_t rank = internal::styleRank(styles, style);
      if (random() % 2 == 0) {
        // Also sets a new style for a point already held.
        const int point = wrap(static_cast<std::int64_t>(s.firstPoint) + random() % s.pointSpan);
        table.set(point, rank);
        reference[point] = rank;
      }
      const bool forOutput = random() % 2 == 0;
      const int paragraphPoint = random() % 2 == 0 ? kPlainPoint : 200;
      ASSERT_EQ(table.place(style, paragraphPoint, forOutput),
                walk(reference, rank, paragraphPoint, forOutput))
          << "step " << step << ", style " << style << ", forOutput " << forOutput
          << ", paragraph point " << paragraphPoint;
    }
    std::vector<int> expected;
    for (const auto& [point, rank] : reference) expected.push_back(point);
    EXPECT_EQ(table.points(), expected);
  }
}

TEST_F(PointOrder, StartsFromThePointsGivenRankedByTheirInfoEntries) {
  makeStyles({20, 28, 24}, {false, false, false});
  PointInfo small{0, 1};
  PointInfo large{1, 1};
  const std::map<int, PointInfo*> info{{10, &small}, {600, &large}};
  PointTable table({10, 600, 900}, info, styles);  // 900 has no entry: ranks lowest
  EXPECT_EQ(table.points(), (std::vector<int>{10, 600, 900}));
  EXPECT_EQ(table.place(2, kPlainPoint, false), 305);
  EXPECT_EQ(table.place(2, kPlainPoint, true), 999);  // the downward walk meets 900 first

  const std::vector<StyleEntry*> noStyles;
  EXPECT_EQ(PointTable({10, 600}, info, noStyles).place(0, kPlainPoint, false), 0);
}

TEST_F(PointOrder, GapsAndStepsWrapAtTheIntLimits) {
  makeStyles({16, 24, 32, 40}, {false, false, false, false});
  PointTable table({}, {}, styles);
  table.set(INT_MIN + 10, internal::styleRank(styles, 0));
  table.set(INT_MAX - 10, internal::styleRank(styles, 2));
  // The gap between the two points wraps to -21 in 32 bits.
  EXPECT_EQ(table.place(1, kPlainPoint, false), INT_MAX);
  EXPECT_EQ(table.place(1, kPlainPoint, true), INT_MIN);
  EXPECT_EQ(table.place(3, kPlainPoint, false), INT_MIN + 88);
  EXPECT_EQ(table.place(3, kPlainPoint, true), INT_MIN + 88);
}

}  // namespace
}  // namespace Kivrel::testing

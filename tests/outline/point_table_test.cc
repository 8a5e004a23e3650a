// Placing a style among the points in use, against a plain walk over the
// points in order that compares sizes and weights itself.
#include "outline/point_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "model/model.h"
#include "outline/point_info_map.h"
#include "support/style_entry.h"

namespace Kivrel::testing {
namespace {

using internal::PointInfoMap;
using internal::PointTable;

// Wraps like the extractor's 32-bit arithmetic.
int wrap(std::int64_t v) { return static_cast<int>(static_cast<std::uint32_t>(v)); }

int offHundred(int r) { return r % 100 == 0 ? wrap(static_cast<std::int64_t>(r) - 50) : r; }

struct Style {
  int size;
  bool bold = false;
  bool emphasised = false;  // value56 set
};

// -1, 0 or 1 as a ranks below, with or above b; a missing style (index -1)
// has size 0 and no weight.
int compare(const std::vector<Style>& styles, int a, int b) {
  auto size = [&](int i) { return i < 0 ? 0 : styles[i].size; };
  auto weight = [&](int i) {
    return i < 0 ? 0 : (styles[i].bold ? 60 : 0) + (styles[i].emphasised ? 35 : 0);
  };
  if (size(a) != size(b)) return size(a) < size(b) ? -1 : 1;
  if (weight(a) != weight(b)) return weight(a) < weight(b) ? -1 : 1;
  return 0;
}

// The walk as one would do it by hand over the points ascending, each with
// the style that stands for it.
int walk(const std::vector<Style>& styles, const std::map<int, int>& pointStyles, int style,
         int paragraphPoint, bool forOutput) {
  std::vector<std::pair<int, int>> p(pointStyles.begin(), pointStyles.end());
  const int n = static_cast<int>(p.size());
  if (!forOutput && paragraphPoint == kPlainPoint && n > 0) {
    int i = 0;
    while (i < n && compare(styles, style, p[i].second) > 0) ++i;
    if (i == n) return offHundred(wrap(static_cast<std::int64_t>(p[n - 1].first) + 99));
    if (compare(styles, style, p[i].second) == 0) return offHundred(p[i].first);
    if (i == 0) return offHundred(p[0].first / 2);
    const int gap = wrap(static_cast<std::int64_t>(p[i].first) - p[i - 1].first);
    return offHundred(wrap(static_cast<std::int64_t>(p[i].first) - gap / 2));
  }
  for (int j = n - 1; j >= 0; --j) {
    const int c = compare(styles, style, p[j].second);
    if (c < 0) continue;
    if (c == 0) return forOutput ? p[j].first : std::min(p[j].first, paragraphPoint);
    if (j == n - 1) return wrap(static_cast<std::int64_t>(p[j].first) + 99);
    const int gap = wrap(static_cast<std::int64_t>(p[j + 1].first) - p[j].first);
    return wrap(static_cast<std::int64_t>(p[j].first) + gap / 2);
  }
  return forOutput ? 0 : 100;
}

class PointOrder : public ::testing::Test {
 protected:
  void makeStyles(const std::vector<Style>& defs) {
    styles = defs;
    owned.clear();
    entries.clear();
    for (const Style& s : defs) {
      owned.push_back(makeStyleEntry(s.size, s.bold, s.emphasised ? 1 : 0));
      entries.push_back(owned.back().get());
    }
  }
  // The point's info entry, made on first use.
  PointInfo& info(int point) { return infoMap[point]; }

  std::vector<Style> styles;
  std::vector<std::unique_ptr<StyleEntry>> owned;
  std::vector<StyleEntry*> entries;
  PointInfoMap infoMap;
};

TEST_F(PointOrder, PlacesLikeAWalkOverThePointsWhileTheyGrowAndChangeStyle) {
  struct Scenario {
    const char* name;
    int firstPoint;  // points drawn from [firstPoint, firstPoint + pointSpan), wrapped
    int pointSpan;
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
  // Neighbouring sizes, so that weight must never outweigh one size step,
  // and sizes at the int limits.
  const int sizes[] = {16, 17, 18, 0, -1, 1 << 24, (1 << 24) + 1, INT_MAX, INT_MAX - 1, INT_MIN};
  const int paragraphPoints[] = {kPlainPoint, 200, 600};
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    std::mt19937 random(20261207);
    std::vector<Style> defs;
    for (int i = 0; i < s.styleCount; ++i) {
      defs.push_back({sizes[random() % std::size(sizes)], random() % 3 == 0, random() % 3 == 0});
    }
    makeStyles(defs);
    infoMap.clear();

    PointTable table({}, &infoMap, entries);
    std::map<int, int> pointStyles;  // what the walk sees
    auto check = [&](const PointTable& t, int step) {
      const int style = static_cast<int>(random() % s.styleCount);
      const bool forOutput = random() % 2 == 0;
      const int paragraphPoint = paragraphPoints[random() % std::size(paragraphPoints)];
      ASSERT_EQ(t.place(style, paragraphPoint, forOutput),
                walk(styles, pointStyles, style, paragraphPoint, forOutput))
          << "step " << step << ", style " << style << ", forOutput " << forOutput
          << ", paragraph point " << paragraphPoint;
    };
    for (int step = 0; step < s.steps; ++step) {
      if (random() % 2 == 0) {
        // A new point, or a new style for one already held.
        const int point = wrap(static_cast<std::int64_t>(s.firstPoint) + random() % s.pointSpan);
        const int style = static_cast<int>(random() % s.styleCount);
        info(point).styleIndex = style;
        table.setFromInfo(point, &infoMap);
        pointStyles[point] = style;
      }
      check(table, step);
    }
    std::vector<int> expected;
    for (const auto& entry : pointStyles) expected.push_back(entry.first);
    ASSERT_EQ(table.points(), expected);

    // A table made from the final lists places the same way.
    PointTable rebuilt(expected, &infoMap, entries);
    for (int step = 0; step < 200; ++step) check(rebuilt, step);
  }
}

TEST_F(PointOrder, PointsWithoutAnInfoEntryRankAsTheMissingStyle) {
  makeStyles({{20}, {28}, {24}});
  info(10).styleIndex = 0;
  info(600).styleIndex = 1;
  PointTable table({10, 600, 900}, &infoMap, entries);  // 900 has no entry
  EXPECT_EQ(table.points(), (std::vector<int>{10, 600, 900}));
  EXPECT_EQ(table.place(2, kPlainPoint, false), 305);
  EXPECT_EQ(table.place(2, kPlainPoint, true), 999);  // the downward walk meets 900 first

  const std::vector<StyleEntry*> noStyles;
  EXPECT_EQ(PointTable({10, 600}, &infoMap, noStyles).place(0, kPlainPoint, false), 0);
}

TEST_F(PointOrder, GapsAndStepsWrapAtTheIntLimits) {
  makeStyles({{16}, {24}, {32}, {40}});
  info(INT_MIN + 10).styleIndex = 0;
  info(INT_MAX - 10).styleIndex = 2;
  PointTable table({INT_MIN + 10, INT_MAX - 10}, &infoMap, entries);
  // The gap between the two points wraps to -21 in 32 bits. The random
  // scenarios seldom place a style in the gap across the wrap.
  EXPECT_EQ(table.place(1, kPlainPoint, false), INT_MAX);
  EXPECT_EQ(table.place(1, kPlainPoint, true), INT_MIN);
  EXPECT_EQ(table.place(3, kPlainPoint, false), INT_MIN + 88);
  EXPECT_EQ(table.place(3, kPlainPoint, true), INT_MIN + 88);
}

}  // namespace
}  // namespace Kivrel::testing

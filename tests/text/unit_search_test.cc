// Finding one code unit in a text, against a plain scan.
#include "text/unit_search.h"

#include <gtest/gtest.h>

#include <string>

namespace Kivrel::text {
namespace {

Units unitsOf(const std::u16string& s) { return Units(s.data(), static_cast<int32_t>(s.size())); }

int32_t plainFind(const std::u16string& s, char16_t unit, int32_t from) {
  for (int32_t i = from < 0 ? 0 : from; i < static_cast<int32_t>(s.size()); ++i) {
    if (s[static_cast<std::size_t>(i)] == unit) return i;
  }
  return -1;
}

int32_t plainFindLast(const std::u16string& s, char16_t unit) {
  for (int32_t i = static_cast<int32_t>(s.size()) - 1; i >= 0; --i) {
    if (s[static_cast<std::size_t>(i)] == unit) return i;
  }
  return -1;
}

// Every length up to a few vectors' worth, with the unit at none, one or two
// places, so each lands at the start, inside and at the end of a vector and
// in the tail the vectors leave.
TEST(UnitSearch, AgreesWithAPlainScanAtEveryPlaceAndLength) {
  constexpr char16_t kUnit = u'\u3002';
  for (int32_t n = 0; n <= 70; ++n) {
    // Units that share a byte with the one sought, so a compare of bytes
    // instead of units would find them.
    const std::u16string base(static_cast<std::size_t>(n), u'\u3000');
    for (int32_t first = -1; first < n; ++first) {
      for (int32_t second : {first, first + 17, n - 1}) {
        std::u16string s = base;
        if (first >= 0) s[static_cast<std::size_t>(first)] = kUnit;
        if (first >= 0 && second > first && second < n) {
          s[static_cast<std::size_t>(second)] = kUnit;
        }
        SCOPED_TRACE(::testing::Message() << "n " << n << " at " << first << ", " << second);
        ASSERT_EQ(findLastUnit(unitsOf(s), kUnit), plainFindLast(s, kUnit));
        for (int32_t from : {-3, 0, first, first + 1, n, n + 5}) {
          ASSERT_EQ(findUnit(unitsOf(s), kUnit, from), plainFind(s, kUnit, from)) << "from " << from;
        }
      }
    }
  }
}

TEST(UnitSearch, FindsNothingInAnEmptyText) {
  EXPECT_EQ(findUnit(Units(nullptr, 0), u'a'), -1);
  EXPECT_EQ(findLastUnit(Units(nullptr, 0), u'a'), -1);
}

}  // namespace
}  // namespace Kivrel::text

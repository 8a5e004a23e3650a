// Finding one code unit in a text, against a plain scan.
#include "text/unit_search.h"

#include <gtest/gtest.h>

#include <cstdint>
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
// in the tail the vectors leave. The other units share the high byte, the
// low byte or neither with the one sought, so a compare of bytes, or of one
// byte of each unit, instead of whole units would find them.
TEST(UnitSearch, AgreesWithAPlainScanAtEveryPlaceAndLength) {
  const struct {
    char16_t unit;
    char16_t filler;
  } kinds[] = {{u'\u3002', u'\u3000'}, {u'\u3002', u'\u2f02'}, {u'\uff0e', u'\u000e'}};
  for (const auto& kind : kinds) {
    const char16_t kUnit = kind.unit;
    for (int32_t n = 0; n <= 70; ++n) {
      const std::u16string base(static_cast<std::size_t>(n), kind.filler);
      for (int32_t first = -1; first < n; ++first) {
        for (int32_t second : {first, first + 17, n - 1}) {
          std::u16string s = base;
          if (first >= 0) s[static_cast<std::size_t>(first)] = kUnit;
          if (first >= 0 && second > first && second < n) {
            s[static_cast<std::size_t>(second)] = kUnit;
          }
          SCOPED_TRACE(::testing::Message() << "unit " << int{kUnit} << " n " << n << " at "
                                            << first << ", " << second);
          ASSERT_EQ(findLastUnit(unitsOf(s), kUnit), plainFindLast(s, kUnit));
          for (int32_t from : {-3, 0, first, first + 1, n, n + 5, INT32_MAX - 1}) {
            ASSERT_EQ(findUnit(unitsOf(s), kUnit, from), plainFind(s, kUnit, from))
                << "from " << from;
          }
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

// The reader's staging space for a paragraph's text.
#include "model/unit_buffer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "model/prefault.h"

namespace Kivrel {
namespace {

using internal::UnitBuffer;

std::u16string contents(const UnitBuffer& buffer) {
  return std::u16string(buffer.data(), buffer.size());
}

// Units that differ from their neighbours, so a lost or shifted piece shows.
std::u16string pattern(std::size_t n, char16_t seed) {
  std::u16string s(n, u'\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char16_t>(seed + i % 251);
  return s;
}

TEST(UnitBuffer, KeepsEveryUnitAcrossGrowthFromHeapToLargeBlocks) {
  constexpr std::size_t kLargeUnits = internal::kHugeBlockMinBytes / sizeof(char16_t);
  // Pieces that cross the heap's sizes, the prefaulted blocks and the huge ones.
  const std::size_t pieces[] = {1, 63, 2, 4000, internal::kPrefaultMinBytes / 2, 7,
                                kLargeUnits, 3 * kLargeUnits};
  UnitBuffer buffer;
  std::u16string expected;
  char16_t seed = u'A';
  for (std::size_t n : pieces) {
    const std::u16string piece = pattern(n, seed++);
    buffer.append(piece.data(), piece.size());
    expected += piece;
    ASSERT_EQ(buffer.size(), expected.size());
  }
  EXPECT_EQ(contents(buffer), expected);
}

TEST(UnitBuffer, ClearEmptiesItAndItTakesTextAgainWhetherItsSpaceWasFreedOrKept) {
  constexpr std::size_t kLarge = internal::kHugeBlockMinBytes;  // units: twice that in bytes
  for (std::size_t limit : {std::size_t{0}, 4 * kLarge}) {
    SCOPED_TRACE(limit);
    UnitBuffer buffer;
    const std::u16string big = pattern(kLarge, u'a');
    buffer.append(big.data(), big.size());
    buffer.clear(limit);
    EXPECT_TRUE(buffer.empty());
    const std::u16string next = pattern(300, u'x');
    buffer.append(next.data(), next.size());
    EXPECT_EQ(contents(buffer), next);
  }
}

}  // namespace
}  // namespace Kivrel

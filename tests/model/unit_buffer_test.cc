// The reader's staging space for a paragraph's text.
#include "model/unit_buffer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "model/prefault.h"
#include "support/sanitized.h"

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

// Space from kPrefaultMinBytes on comes from the large-block allocator and
// goes back to it with the size it was taken with, however much of it is in
// use; smaller space stays on the heap. The sanitizer build reports space
// freed otherwise than it was taken.
TEST(UnitBuffer, TakesAndGivesBackLargeSpaceAsLargeBlocksOfItsCapacity) {
  constexpr std::size_t kLargeUnits = internal::kPrefaultMinBytes / sizeof(char16_t);
  constexpr std::size_t kHugeUnits = internal::kHugeBlockMinBytes / sizeof(char16_t);
  const struct {
    std::size_t units;  // appended at once to an empty buffer: its capacity
    std::size_t alignment;  // that its space starts on
  } cases[] = {
      {kLargeUnits - 1, 1},
      {kLargeUnits, internal::kBlockAlignment},
      {kHugeUnits - 1, internal::kBlockAlignment},
      {kHugeUnits, kSanitized ? internal::kBlockAlignment : internal::kHugePageBytes},
      {internal::kHugePageBytes / sizeof(char16_t) + 1,
       kSanitized ? internal::kBlockAlignment : internal::kHugePageBytes},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.units);
    // Clear frees the space, or keeps it with less in use when it goes;
    // either way the buffer takes text again.
    for (std::size_t keep : {std::size_t{0}, static_cast<std::size_t>(-1)}) {
      SCOPED_TRACE(keep);
      UnitBuffer buffer;
      const std::u16string text = pattern(c.units, u'k');
      buffer.append(text.data(), text.size());
      ASSERT_EQ(contents(buffer), text);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % c.alignment, 0u);
      buffer.clear(keep);
      EXPECT_TRUE(buffer.empty());
      buffer.append(u"z", 1);
      EXPECT_EQ(contents(buffer), u"z");
    }
  }
}

}  // namespace
}  // namespace Kivrel

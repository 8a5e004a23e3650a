// Style find-or-add: the indices and use counts of a scan from entry 0. That
// reading many formats stays linear is checked by the resource tests
// (many_character_formats).
#include "model/style_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <utility>
#include <vector>

#include "model/model.h"

namespace Kivrel {
namespace {

using Format = std::vector<unsigned char>;

// The bytes of the seven identity fields: formats equal in them share a style.
Format identity(const Format& f) {
  const std::pair<std::size_t, std::size_t> fields[] = {
      {charformat::kFlag, 4},   {charformat::kFontNo, 4}, {charformat::kCharSize, 4},
      {charformat::kWord28, 2}, {charformat::kWord30, 2}, {charformat::kValue56, 4},
      {charformat::kValue100, 4}};
  Format key;
  for (auto [offset, size] : fields) key.insert(key.end(), &f[offset], &f[offset] + size);
  return key;
}

TEST(StyleTable, RandomFormatsGetTheIndicesOfALinearScan) {
  std::mt19937 rng(12345);
  auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
  auto put = [](Format& f, std::size_t offset, std::uint32_t v, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) f[offset + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  std::vector<StyleEntry*> table;
  internal::StyleTableIndex index(table);
  // The first format of each identity, as a scan from entry 0 finds it.
  std::map<Format, std::size_t> firstOf;
  std::vector<Format> creators;
  std::vector<int> useCounts;
  for (int n = 0; n < 6000; ++n) {
    // Random bytes everywhere, then identity fields from small ranges so that
    // formats often share a style while differing outside the identity fields.
    Format f(kCharacterFormatBodySize);
    for (unsigned char& byte : f) byte = static_cast<unsigned char>(rng());
    put(f, charformat::kFlag, pick(2) ? pick(4) : 0x80000000u, 4);
    put(f, charformat::kFontNo, pick(3), 4);
    put(f, charformat::kCharSize, 18 + pick(4), 4);
    put(f, charformat::kWord28, pick(2) << 8, 2);
    put(f, charformat::kWord30, pick(2), 2);
    put(f, charformat::kValue56, pick(2) << 24, 4);
    put(f, charformat::kValue100, pick(2), 4);
    const auto [first, added] = firstOf.emplace(identity(f), creators.size());
    if (added) {
      creators.push_back(f);
      useCounts.push_back(0);
    } else {
      ++useCounts[first->second];
    }
    ASSERT_EQ(index.findOrAdd(f.data()), static_cast<int>(first->second)) << "format " << n;
  }
  ASSERT_EQ(table.size(), creators.size());
  EXPECT_GT(table.size(), 500u);
  EXPECT_LE(table.size(), 960u);  // the number of distinct identity fields drawn
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i]->useCount, useCounts[i]);
    // An entry keeps the style of the format that created it.
    EXPECT_TRUE(table[i]->format == StyleFormat::of(creators[i].data()));
    delete table[i];
  }
}

TEST(StyleTable, AnIndexOverEntriesAlreadyThereFindsTheFirstOfEqualOnes) {
  Format plain(kCharacterFormatBodySize, 0);
  Format otherFont = plain;
  otherFont[charformat::kFontNo] = 1;
  Format larger = plain;
  larger[charformat::kCharSize] = 20;
  std::vector<StyleEntry*> table;
  for (const Format* f : {&plain, &otherFont, &plain}) {
    table.push_back(new StyleEntry);
    table.back()->format = StyleFormat::of(f->data());
  }
  internal::StyleTableIndex index(table);
  EXPECT_EQ(index.findOrAdd(plain.data()), 0);
  EXPECT_EQ(index.findOrAdd(otherFont.data()), 1);
  EXPECT_EQ(index.findOrAdd(larger.data()), 3);
  EXPECT_EQ(index.findOrAdd(plain.data()), 0);
  ASSERT_EQ(table.size(), 4u);
  const int useCounts[] = {2, 1, 0, 0};
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i]->useCount, useCounts[i]) << i;
    delete table[i];
  }
}

}  // namespace
}  // namespace Kivrel

// Find-or-add of character formats in the style table.
#include "model/style_table.h"


#include "model/list_new.h"
#include "model/wrapping.h"

namespace Kivrel::internal {

namespace {

// splitmix64 finaliser: formats from a hostile stream must not pile up in
// a few buckets.
std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

}  // namespace

std::size_t StyleFormatHash::operator()(const StyleFormat& k) const {
  std::uint64_t h = mix((std::uint64_t{k.flag} << 32) | static_cast<std::uint32_t>(k.fontNo));
  h = mix(h ^ ((std::uint64_t{static_cast<std::uint32_t>(k.charSize)} << 32) |
               (std::uint32_t{k.word28} << 16) | k.word30));
  h = mix(h ^ ((std::uint64_t{k.value56} << 32) | k.value100));
  return static_cast<std::size_t>(h);
}

StyleTableIndex::StyleTableIndex(std::vector<StyleEntry*>& table, ParagraphArena* arena)
    : table_(table), arena_(arena) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    // Only the first of equal keys is indexed, as a scan from entry 0 finds it.
    StyleFormat key = table[i]->format;
    std::uint64_t hash = StyleFormatHash{}(key);
    Slot& slot = slotFor(key, hash);
    if (slot.indexPlusOne == 0) {
      slot = Slot{static_cast<std::uint32_t>(i + 1), static_cast<std::uint32_t>(hash >> 32)};
      ++used_;
    }
  }
}

StyleTableIndex::Slot& StyleTableIndex::slotFor(const StyleFormat& key, std::uint64_t hash) {
  const std::size_t mask = slots_.size() - 1;
  const std::uint32_t high = static_cast<std::uint32_t>(hash >> 32);
  for (std::size_t i = high & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.indexPlusOne == 0) return slot;
    if (slot.hashHigh == high && table_[slot.indexPlusOne - 1]->format == key) {
      return slot;
    }
  }
}

void StyleTableIndex::grow() {
  std::vector<Slot> old(slots_.empty() ? 16 : 2 * slots_.size(), Slot{0, 0});
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& s : old) {
    if (s.indexPlusOne == 0) continue;
    std::size_t i = s.hashHigh & mask;
    while (slots_[i].indexPlusOne != 0) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

int StyleTableIndex::findOrAdd(const unsigned char* format) {
  StyleFormat key = StyleFormat::of(format);
  if (lastIndex_ >= 0 && key == lastKey_) return countUse(lastIndex_);
  std::uint64_t hash = StyleFormatHash{}(key);
  if (!slots_.empty()) {
    Slot& slot = slotFor(key, hash);
    if (slot.indexPlusOne != 0) {
      lastKey_ = key;
      lastIndex_ = static_cast<int>(slot.indexPlusOne - 1);
      return countUse(lastIndex_);
    }
  }
  // Room first, so that a failed allocation changes nothing.
  if (2 * (used_ + 1) > slots_.size()) grow();
  int index = static_cast<int>(table_.size());
  StyleEntry* entry =
      listNew(table_, [this] { return arena_ ? new (*arena_) StyleEntry : new StyleEntry; });
  entry->format = key;
  slotFor(key, hash) = Slot{static_cast<std::uint32_t>(index + 1),
                            static_cast<std::uint32_t>(hash >> 32)};
  ++used_;
  lastKey_ = key;
  lastIndex_ = index;
  return index;
}

int StyleTableIndex::countUse(int index) {
  StyleEntry* entry = table_[static_cast<std::size_t>(index)];
  entry->useCount = wrapAdd(entry->useCount, 1);
  return index;
}

}  // namespace Kivrel::internal

// Character size and weight of a style-table entry, as the outline passes read them.
#ifndef KIVREL_OUTLINE_STYLE_SIZE_H_
#define KIVREL_OUTLINE_STYLE_SIZE_H_

#include <vector>

#include "model/model.h"

namespace Kivrel::internal {

// Size of styleTable[index]; 0 when the index names no entry (a stream
// without character formats leaves the table empty).
inline int styleSize(const std::vector<StyleEntry*>& styleTable, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= styleTable.size()) return 0;
  return styleTable[static_cast<std::size_t>(index)]->charSize();
}

// Accumulated character-format flag bits of styleTable[index]; 0 without an entry.
inline std::uint32_t styleFlags(const std::vector<StyleEntry*>& styleTable, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= styleTable.size()) return 0;
  return styleTable[static_cast<std::size_t>(index)]->flag();
}

// Bold outweighs the value56 emphasis; both together weigh most.
constexpr int kBoldWeight = 60;
constexpr int kValue56Weight = 35;

inline int styleWeight(const std::vector<StyleEntry*>& styleTable, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= styleTable.size()) return 0;
  const StyleEntry& s = *styleTable[static_cast<std::size_t>(index)];
  return ((s.flag() & charformat::kBoldFlag) ? kBoldWeight : 0) +
         (s.value56() != 0 ? kValue56Weight : 0);
}

}  // namespace Kivrel::internal

#endif  // KIVREL_OUTLINE_STYLE_SIZE_H_

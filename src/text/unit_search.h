// Finding one code unit in a text, for the per-paragraph tests that scan
// whole texts.
#ifndef KIVREL_TEXT_UNIT_SEARCH_H_
#define KIVREL_TEXT_UNIT_SEARCH_H_

#include <cstdint>

#include "text/code_units.h"

namespace Kivrel::text {

// Whole units are compared as they are: a surrogate unit also finds half of
// a pair, where UnicodeString::indexOf would not. Callers look for units
// outside the surrogate range.

// The first index at or after from that holds unit, or -1.
int32_t findUnit(Units text, char16_t unit, int32_t from = 0);
// The last index that holds unit, or -1.
int32_t findLastUnit(Units text, char16_t unit);

}  // namespace Kivrel::text

#endif  // KIVREL_TEXT_UNIT_SEARCH_H_

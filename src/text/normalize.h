// In-place normalisation of paragraph text for the outline heuristics.
#ifndef KIVREL_TEXT_NORMALIZE_H_
#define KIVREL_TEXT_NORMALIZE_H_

#include <unicode/unistr.h>

#include "text/code_units.h"

namespace Kivrel::text {

// Strips white space from both ends as UnicodeString::trim does (U+0085 and
// the no-break spaces stay), then any ideographic spaces left at either end.
// Nothing inside the string is touched.
void trimStr(icu::UnicodeString& text);

// Out of line part of trimmedBounds.
void trimmedBoundsSlow(const char16_t* units, int32_t n, int32_t& start, int32_t& end);

// True for units that trimming never removes, in the ranges where text
// mostly begins and ends; false sends the unit to the full test. What trimming
// removes lies at or below U+0020, at U+1680, U+2000-U+200A, U+2028, U+2029,
// U+205F and U+3000; U+0085 goes to the full test as well.
constexpr bool isSurelyKeptByTrim(char16_t c) {
  return (c > 0x20 && c < 0x1680 && c != 0x85) || (c > 0x200A && c < 0x2028) ||
         (c > 0x2029 && c < 0x205F) || c > 0x3000;
}

// The part of units [0, n) that trimStr would keep, [start, end), found
// without copying; inline for the common text whose two ends trimming keeps.
inline void trimmedBounds(const char16_t* units, int32_t n, int32_t& start, int32_t& end) {
  if (n == 0 || (isSurelyKeptByTrim(units[0]) && isSurelyKeptByTrim(units[n - 1]))) {
    start = 0;
    end = n;
    return;
  }
  trimmedBoundsSlow(units, n, start, end);
}

// True when trimStr would leave units [0, n) empty.
inline bool trimsToEmpty(const char16_t* units, int32_t n) {
  int32_t start = 0;
  int32_t end = 0;
  trimmedBounds(units, n, start, end);
  return start == end;
}

inline bool trimsToEmpty(const icu::UnicodeString& text) {
  const Units u(text);
  return trimsToEmpty(u.at, u.n);
}

// What trimStr would leave of units [0, n), as a read-only view of them.
// REQUIRES: the units outlive the result and stay unchanged while it is in use.
inline icu::UnicodeString trimmedView(const char16_t* units, int32_t n) {
  int32_t start = 0;
  int32_t end = 0;
  trimmedBounds(units, n, start, end);
  if (start == end) return icu::UnicodeString();
  return icu::UnicodeString(false, units + start, end - start);
}

// Removes every space (U+0020, U+3000) and every ASCII or fullwidth digit, so
// that running headers differing only in their page number compare equal. A
// string left empty becomes "1".
void deleteNumberFromString(icu::UnicodeString& text);

// Walks the leading run of digits and opening parentheses ( and U+FF08.
// Returns the last digit of that run, or the first code unit of the text when
// the run holds no digit (0xFFFF for an empty text). position is set to one
// past the first unit that ends the run: length + 1 when the whole text is
// such a run, because the read at the length is what stops the walk.
char16_t getFirstDigit(const icu::UnicodeString& text, int& position);
char16_t getFirstDigit(const char16_t* units, int32_t n, int& position);

}  // namespace Kivrel::text

#endif  // KIVREL_TEXT_NORMALIZE_H_

// Recognition of table-of-contents lines: title, leader, page number.
#ifndef KIVREL_TEXT_TOC_LINE_H_
#define KIVREL_TEXT_TOC_LINE_H_

#include <unicode/unistr.h>

namespace Kivrel::text {

// True when every code unit is a leader, an ASCII or fullwidth digit or a
// roman-numeral character; true for the empty text.
bool isPageNumberOrLeader(const icu::UnicodeString& text);

// Splits "title leader page" at the first leader after which only leaders,
// digits and roman-numeral characters follow. Returns true when such a split
// exists and the number after the leader run is not 0.
//
// Writes, depending on the outcome:
// - empty text: title emptied;
// - no split, and every unit a symbol, digit or space: title emptied;
// - no split otherwise: nothing written;
// - split: pageNo (0 for a roman or missing number) and title (the text before
//   the split point, untrimmed), whatever the result.
// title may be the same object as text. Runs in time linear in the length.
bool isTocItem(const icu::UnicodeString& text, int& pageNo, icu::UnicodeString& title);

// isTocItem's result alone, for the scans that test every paragraph: no
// title is made.
bool isTocLine(const icu::UnicodeString& text);
bool isTocLine(const char16_t* units, int32_t n);

}  // namespace Kivrel::text

#endif  // KIVREL_TEXT_TOC_LINE_H_

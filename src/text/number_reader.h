// The integer reader for page numbers written in text (page-range strings and
// table-of-contents lines).
#ifndef KIVREL_TEXT_NUMBER_READER_H_
#define KIVREL_TEXT_NUMBER_READER_H_

#include <unicode/unistr.h>

#include <cstdint>

namespace Kivrel::text {

// Reads a decimal integer from text[start, limit) as if the string ended
// there: skips leading white space (space, \t \n \v \f \r), takes one optional
// '+' or '-', then ASCII digits and fullwidth digits U+FF10-U+FF19 up to the
// first other code unit. No digits give 0; a value beyond the range of int
// saturates to INT_MAX or INT_MIN. start and limit are clamped to the string.
int readInt(const icu::UnicodeString& text, int32_t start = 0, int32_t limit = INT32_MAX);

}  // namespace Kivrel::text

#endif  // KIVREL_TEXT_NUMBER_READER_H_

// Raw read access to a string's code units.
#ifndef KIVREL_TEXT_CODE_UNITS_H_
#define KIVREL_TEXT_CODE_UNITS_H_

#include <unicode/unistr.h>

namespace Kivrel::text {

// A string's code units, indexed without the string's own per-unit checks;
// a bogus string has none.
struct Units {
  explicit Units(const icu::UnicodeString& text)
      : at(text.getBuffer()), n(at ? text.length() : 0) {}
  Units(const char16_t* at, int32_t n) : at(at), n(n) {}
  const char16_t* at;
  int32_t n;
};

}  // namespace Kivrel::text

#endif  // KIVREL_TEXT_CODE_UNITS_H_

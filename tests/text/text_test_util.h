// Readable UTF-16 strings in test tables and failure messages.
#ifndef KIVREL_TESTS_TEXT_TEXT_TEST_UTIL_H_
#define KIVREL_TESTS_TEXT_TEXT_TEST_UTIL_H_

#include <unicode/unistr.h>

#include <string>

namespace Kivrel::text {

inline icu::UnicodeString u16(const char* utf8) { return icu::UnicodeString::fromUTF8(utf8); }

inline std::string utf8(const icu::UnicodeString& s) {
  std::string out;
  return s.toUTF8String(out);
}

}  // namespace Kivrel::text

#endif  // KIVREL_TESTS_TEXT_TEXT_TEST_UTIL_H_

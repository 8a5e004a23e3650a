// Strings and calls ICU had no memory for.
#ifndef KIVREL_TEXT_CHECKED_STRING_H_
#define KIVREL_TEXT_CHECKED_STRING_H_

#include <unicode/unistr.h>
#include <unicode/utypes.h>

#include <new>

namespace Kivrel::text {

// ICU gives a string it could not allocate as bogus, which reads as empty; a
// run fails instead of going on with a text it lost.
inline void throwIfBogus(const icu::UnicodeString& text) {
  if (text.isBogus()) throw std::bad_alloc();
}

// The same for a call that reports its failure in status.
inline void throwIfOutOfMemory(UErrorCode status) {
  if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
}

}  // namespace Kivrel::text

#endif  // KIVREL_TEXT_CHECKED_STRING_H_

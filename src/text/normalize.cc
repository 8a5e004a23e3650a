#include "text/normalize.h"

#include "text/char_class.h"

namespace Kivrel::text {

namespace {
constexpr char16_t kIdeographicSpace = 0x3000;
constexpr char16_t kEmptySkeleton = u'1';
}  // namespace

void trimStr(icu::UnicodeString& text) {
  text.trim();
  // Whatever the trimming facility counts as white space, no ideographic
  // space may remain at an end.
  int32_t start = 0;
  while (start < text.length() && text.charAt(start) == kIdeographicSpace) ++start;
  text.remove(0, start);
  int32_t end = text.length();
  while (end > 0 && text.charAt(end - 1) == kIdeographicSpace) --end;
  text.truncate(end);
}

void deleteNumberFromString(icu::UnicodeString& text) {
  // One compacting pass instead of removing units one by one.
  const int32_t n = text.length();
  icu::UnicodeString kept;
  for (int32_t i = 0; i < n; ++i) {
    const char16_t c = text.charAt(i);
    if (!isSpace(c) && !isArabicNumber(c)) kept.append(c);
  }
  if (kept.isEmpty()) kept.setTo(kEmptySkeleton);
  text = kept;
}

char16_t getFirstDigit(const icu::UnicodeString& text, int& position) {
  char16_t result = text.charAt(0);
  position = 0;
  for (;;) {
    const char16_t c = text.charAt(position);
    ++position;
    if (isArabicNumber(c)) {
      result = c;
    } else if (c != u'(' && c != 0xFF08) {
      break;
    }
  }
  return result;
}

}  // namespace Kivrel::text

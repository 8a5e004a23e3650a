#include "text/normalize.h"

#include <unicode/uchar.h>

#include "text/char_class.h"
#include "text/code_units.h"

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

namespace {

// What UnicodeString::trim strips, one code unit at a time: no white space
// lies outside the basic plane, and a surrogate is never white space.
bool trimmedAway(char16_t c) {
  if (c > 0x20 && c < 0x7F) return false;  // printable ASCII, without a call
  return c == 0x20 || u_isWhitespace(c);
}

}  // namespace

void trimmedBoundsSlow(const char16_t* units, int32_t n, int32_t& start, int32_t& end) {
  start = 0;
  end = n;
  while (end > 0 && trimmedAway(units[end - 1])) --end;
  while (start < end && trimmedAway(units[start])) ++start;
  // The same two steps as trimStr.
  while (start < end && units[start] == kIdeographicSpace) ++start;
  while (end > start && units[end - 1] == kIdeographicSpace) --end;
}

void deleteNumberFromString(icu::UnicodeString& text) {
  // One compacting pass in place instead of removing units one by one.
  const int32_t n = text.length();
  char16_t* units = text.getBuffer(n);
  if (!units) {
    // A bogus text has no buffer to lend but reads as empty; otherwise there
    // was no memory for a private copy, and the text is left as it is.
    if (text.isBogus()) text.setTo(kEmptySkeleton);
    return;
  }
  int32_t kept = 0;
  for (int32_t i = 0; i < n; ++i) {
    const char16_t c = units[i];
    if (!isSpace(c) && !isArabicNumber(c)) units[kept++] = c;
  }
  text.releaseBuffer(kept);
  if (kept == 0) text.setTo(kEmptySkeleton);
}

char16_t getFirstDigit(const icu::UnicodeString& text, int& position) {
  const Units u(text);
  return getFirstDigit(u.at, u.n, position);
}

char16_t getFirstDigit(const char16_t* units, int32_t n, int& position) {
  // Units past the end read as 0xFFFF, as charAt gives them.
  const Units u(units, n);
  auto unitAt = [&](int32_t i) { return i < u.n ? u.at[i] : static_cast<char16_t>(0xFFFF); };
  char16_t result = unitAt(0);
  position = 0;
  for (;;) {
    const char16_t c = unitAt(position);
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

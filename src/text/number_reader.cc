#include "text/number_reader.h"

#include <climits>

namespace Kivrel::text {

namespace {

bool isBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

int digitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= 0xFF10 && c <= 0xFF19) return c - 0xFF10;
  return -1;
}

}  // namespace

int readInt(const icu::UnicodeString& text, int32_t start, int32_t limit) {
  if (limit > text.length()) limit = text.length();
  int32_t i = start < 0 ? 0 : start;
  while (i < limit && isBlank(text.charAt(i))) ++i;
  bool negative = false;
  if (i < limit && (text.charAt(i) == u'+' || text.charAt(i) == u'-')) {
    negative = text.charAt(i) == u'-';
    ++i;
  }
  // Accumulate the magnitude in 64 bits and stop growing it once it is past
  // what either sign can hold.
  constexpr int64_t kCap = static_cast<int64_t>(INT_MAX) + 1;
  int64_t magnitude = 0;
  for (; i < limit; ++i) {
    const int d = digitValue(text.charAt(i));
    if (d < 0) break;
    if (magnitude <= kCap) magnitude = magnitude * 10 + d;
  }
  if (negative) return magnitude >= kCap ? INT_MIN : static_cast<int>(-magnitude);
  return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

}  // namespace Kivrel::text

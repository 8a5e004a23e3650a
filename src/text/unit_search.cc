// Finding one code unit in a text, eight units to a compare where the
// processor has SSE2: a body paragraph is mostly scanned to its end, and a
// paragraph of megabytes spent a third of its run in the unit-by-unit loop.
#include "text/unit_search.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Kivrel::text {

namespace {

#if defined(__SSE2__)
constexpr int32_t kLanes = 8;

// One bit pair per unit of the 16 at p that equals the needle's.
unsigned matches16(const char16_t* p, __m128i needle) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + kLanes));
  const unsigned lowBits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(low, needle)));
  const unsigned highBits =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(high, needle)));
  return lowBits | highBits << 16;
}
#endif

}  // namespace

int32_t findUnit(Units text, char16_t unit, int32_t from) {
  int32_t i = from < 0 ? 0 : from;
#if defined(__SSE2__)
  const __m128i needle = _mm_set1_epi16(static_cast<short>(unit));
  for (; text.n - i >= 2 * kLanes; i += 2 * kLanes) {
    if (unsigned bits = matches16(text.at + i, needle)) return i + __builtin_ctz(bits) / 2;
  }
#endif
  for (; i < text.n; ++i) {
    if (text.at[i] == unit) return i;
  }
  return -1;
}

int32_t findLastUnit(Units text, char16_t unit) {
  int32_t end = text.n;  // units before it are still to look at
#if defined(__SSE2__)
  const __m128i needle = _mm_set1_epi16(static_cast<short>(unit));
  for (; end >= 2 * kLanes; end -= 2 * kLanes) {
    if (unsigned bits = matches16(text.at + end - 2 * kLanes, needle)) {
      return end - 2 * kLanes + (31 - __builtin_clz(bits)) / 2;
    }
  }
#endif
  while (end > 0) {
    if (text.at[--end] == unit) return end;
  }
  return -1;
}

}  // namespace Kivrel::text

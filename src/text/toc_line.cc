#include "text/toc_line.h"

#include "text/char_class.h"
#include "text/code_units.h"
#include "text/number_reader.h"

namespace Kivrel::text {

namespace {

constexpr bool isTailUnitSlow(char16_t c) {
  return isLeader(c) || isArabicNumber(c) || isRomanNumber(c);
}

constexpr bool isTitleFreeUnitSlow(char16_t c) {
  return isSymbol(c) || isArabicNumber(c) || isSpace(c);
}

// The two classes over ASCII, tabulated from the predicates themselves: the
// scans below run over nearly every paragraph, and most units are ASCII.
template <bool (*kIs)(char16_t)>
struct AsciiTable {
  constexpr AsciiTable() : in() {
    for (int c = 0; c < 128; ++c) in[c] = kIs(static_cast<char16_t>(c));
  }
  bool operator()(char16_t c) const { return c < 128 ? in[c] : kIs(c); }
  bool in[128];
};

constexpr AsciiTable<isTailUnitSlow> isTailUnit;
constexpr AsciiTable<isTitleFreeUnitSlow> isTitleFreeUnit;

// The first leader after which only leaders, digits and roman-numeral
// characters follow, or -1.
//
// The suffixes that are page-number tails are exactly those starting at or
// after tailStart, so the first leader whose remainder is a tail is the first
// leader at index tailStart - 1 or later; the unit at tailStart - 1 is no tail
// unit and so no leader. This keeps the search linear where testing each
// leader's remainder would be quadratic.
int32_t tocSplit(Units u) {
  int32_t tailStart = u.n;
  while (tailStart > 0 && isTailUnit(u.at[tailStart - 1])) --tailStart;
  for (int32_t i = tailStart; i < u.n; ++i) {
    if (isLeader(u.at[i])) return i;
  }
  return -1;
}

// The number after the leader run that starts at split.
int pageNumberAfter(const icu::UnicodeString& text, Units u, int32_t split) {
  int32_t j = split;
  while (j < u.n && isLeader(u.at[j])) ++j;
  return readInt(text, j, u.n);
}

}  // namespace

bool isPageNumberOrLeader(const icu::UnicodeString& text) {
  const Units u(text);
  for (int32_t i = 0; i < u.n; ++i) {
    if (!isTailUnit(u.at[i])) return false;
  }
  return true;
}

bool isTocItem(const icu::UnicodeString& text, int& pageNo, icu::UnicodeString& title) {
  const Units u(text);
  if (u.n == 0) {
    title.remove();
    return false;
  }
  const int32_t split = tocSplit(u);
  if (split < 0) {
    bool onlySymbols = true;
    for (int32_t i = 0; i < u.n && onlySymbols; ++i) onlySymbols = isTitleFreeUnit(u.at[i]);
    if (onlySymbols) title.remove();
    return false;
  }
  // Everything is read from text before title, which may be text, is written.
  pageNo = pageNumberAfter(text, u, split);
  if (&title == &text) {
    title.truncate(split);
  } else {
    title.setTo(text, 0, split);
  }
  return pageNo != 0;
}

bool isTocLine(const char16_t* units, int32_t n) {
  const Units u(units, n);
  const int32_t split = tocSplit(u);
  if (split < 0) return false;
  const icu::UnicodeString text(false, units, n);
  return pageNumberAfter(text, u, split) != 0;
}

bool isTocLine(const icu::UnicodeString& text) {
  const Units u(text);
  return isTocLine(u.at, u.n);
}

}  // namespace Kivrel::text

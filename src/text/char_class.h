// Classes of a single UTF-16 code unit used by the outline heuristics.
//
// Each predicate is a fixed set of code points: no locale, no tables, no
// surrogate handling (a surrogate is in no class). 0xFFFF, which is what a
// read past the end of a UnicodeString gives, is in no class either, so scans
// stop at the end of a string without a separate length test.
#ifndef KIVREL_TEXT_CHAR_CLASS_H_
#define KIVREL_TEXT_CHAR_CLASS_H_

namespace Kivrel::text {

constexpr bool inRange(char16_t c, char16_t first, char16_t last) {
  return c >= first && c <= last;
}

// U+0020 space and U+3000 ideographic space.
constexpr bool isSpace(char16_t c) { return c == 0x0020 || c == 0x3000; }

constexpr bool isPeriod(char16_t c) { return c == 0x002E || c == 0xFF0E; }

constexpr bool isUnderline(char16_t c) { return c == 0x005F || c == 0xFF3F; }

constexpr bool isHyphen(char16_t c) {
  return c == 0x002D || c == 0x2010 || c == 0x2212 || c == 0xFF0D;
}

// U+FF00 is in the set, U+FF65 halfwidth katakana middle dot is not.
constexpr bool isMiddleDot(char16_t c) {
  return c == 0x00B7 || c == 0x2022 || c == 0x2027 || c == 0x30FB || c == 0xFF00;
}

// Fill characters between a table-of-contents title and its page number.
constexpr bool isLeader(char16_t c) {
  return isHyphen(c) || isMiddleDot(c) || isSpace(c) || isPeriod(c) || isUnderline(c) ||
         c == 0x2026 || c == 0x22EF;
}

// Bullets that open a list item.
constexpr bool isListHeader(char16_t c) {
  return isHyphen(c) || isMiddleDot(c) || c == 0x25CF || c == 0x25CB || c == 0x25C6 ||
         c == 0x25C7 || c == 0x25A0 || c == 0x25A1 || c == 0x2023 || c == 0x25B2 ||
         c == 0x25B3 || c == 0x25BC || c == 0x25BD || c == 0x25CE;
}

// ASCII and fullwidth Latin letters.
constexpr bool isAlphabet(char16_t c) {
  return inRange(c, 0x0041, 0x005A) || inRange(c, 0x0061, 0x007A) ||
         inRange(c, 0xFF21, 0xFF3A) || inRange(c, 0xFF41, 0xFF5A);
}

constexpr bool isParenthesis(char16_t c) {
  return c == 0x0028 || c == 0x0029 || c == 0x003C || c == 0x003E || c == 0x005B ||
         c == 0x005D || c == 0x007B || c == 0x007D || c == 0x226A || c == 0x226B ||
         inRange(c, 0x3008, 0x300F) || c == 0x3014 || c == 0x3015 || c == 0xFF08 ||
         c == 0xFF09 || c == 0xFF1C || c == 0xFF1E || c == 0xFF3B || c == 0xFF3D ||
         c == 0xFF5B || c == 0xFF5D;
}

// Fullwidth small a to small ke, halfwidth a to n (not wo, the small forms or
// the prolonged sound mark).
constexpr bool isKatakana(char16_t c) {
  return inRange(c, 0x30A1, 0x30F6) || inRange(c, 0xFF71, 0xFF9D);
}

// Circled, parenthesized and full-stop number and letter characters.
constexpr bool isSymbolParaHeader(char16_t c) {
  return inRange(c, 0x2460, 0x24E9) || inRange(c, 0x3280, 0x3289) ||
         inRange(c, 0x32D0, 0x32FE);
}

constexpr bool isArabicNumber(char16_t c) {
  return inRange(c, 0x0030, 0x0039) || inRange(c, 0xFF10, 0xFF19);
}

// Only I, V and X in either case: L, C, D and M do not count.
constexpr bool isAlphabetRomanNumber(char16_t c) {
  return c == 0x0049 || c == 0x0056 || c == 0x0058 || c == 0x0069 || c == 0x0076 ||
         c == 0x0078;
}

// Roman numeral characters one to twelve, capital and small.
constexpr bool isNativeRomanNumber(char16_t c) {
  return inRange(c, 0x2160, 0x216B) || inRange(c, 0x2170, 0x217B);
}

constexpr bool isRomanNumber(char16_t c) {
  return isAlphabetRomanNumber(c) || isNativeRomanNumber(c);
}

// Kanji numerals one to ten, with U+25CB white circle written for zero
// (U+3007 is not in the set).
constexpr bool isKanjiNumber(char16_t c) {
  return c == 0x25CB || c == 0x4E00 || c == 0x4E8C || c == 0x4E09 || c == 0x56DB ||
         c == 0x4E94 || c == 0x516D || c == 0x4E03 || c == 0x516B || c == 0x4E5D ||
         c == 0x5341;
}

// Characters that can begin a heading number.
constexpr bool isParaHeader(char16_t c) {
  return isArabicNumber(c) || isSymbolParaHeader(c) || isRomanNumber(c) || isAlphabet(c) ||
         isKatakana(c) || isKanjiNumber(c);
}

// Punctuation, symbol and space blocks, ASCII and wide; ends at U+FFEF so the
// end-of-string value 0xFFFF is not a symbol.
constexpr bool isSymbol(char16_t c) {
  return c <= 0x002F || inRange(c, 0x003A, 0x0040) || inRange(c, 0x005B, 0x0060) ||
         inRange(c, 0x007B, 0x007F) || inRange(c, 0x2460, 0x25FF) ||
         inRange(c, 0x3000, 0x303F) || inRange(c, 0x3200, 0x33FF) ||
         inRange(c, 0xFF00, 0xFF0F) || inRange(c, 0xFF1A, 0xFF20) ||
         inRange(c, 0xFF3B, 0xFF40) || inRange(c, 0xFF5B, 0xFF65) ||
         inRange(c, 0xFF9E, 0xFFEF);
}

}  // namespace Kivrel::text

#endif  // KIVREL_TEXT_CHAR_CLASS_H_

#include "text/char_class.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace Kivrel::text {
namespace {

using Ranges = std::vector<std::pair<char16_t, char16_t>>;  // inclusive

Ranges singles(std::initializer_list<char16_t> units) {
  Ranges r;
  for (char16_t u : units) r.emplace_back(u, u);
  return r;
}

Ranges join(std::initializer_list<Ranges> parts) {
  Ranges all;
  for (const Ranges& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Ranges kSpace = singles({0x0020, 0x3000});
const Ranges kPeriod = singles({0x002E, 0xFF0E});
const Ranges kUnderline = singles({0x005F, 0xFF3F});
const Ranges kHyphen = singles({0x002D, 0x2010, 0x2212, 0xFF0D});
const Ranges kMiddleDot = singles({0x00B7, 0x2022, 0x2027, 0x30FB, 0xFF00});
const Ranges kAlphabet = {{0x41, 0x5A}, {0x61, 0x7A}, {0xFF21, 0xFF3A}, {0xFF41, 0xFF5A}};
const Ranges kKatakana = {{0x30A1, 0x30F6}, {0xFF71, 0xFF9D}};
const Ranges kSymbolParaHeader = {{0x2460, 0x24E9}, {0x3280, 0x3289}, {0x32D0, 0x32FE}};
const Ranges kArabic = {{0x30, 0x39}, {0xFF10, 0xFF19}};
const Ranges kAlphabetRoman = singles({u'I', u'V', u'X', u'i', u'v', u'x'});
const Ranges kNativeRoman = {{0x2160, 0x216B}, {0x2170, 0x217B}};
const Ranges kKanji = singles({0x25CB, 0x4E00, 0x4E8C, 0x4E09, 0x56DB, 0x4E94, 0x516D, 0x4E03,
                               0x516B, 0x4E5D, 0x5341});

// Every code unit up to U+FFFF, the end-of-string value that is in no class,
// so a bound that is off by one in either direction fails.
TEST(CharClass, EachClassHoldsExactlyItsCodePoints) {
  const struct {
    const char* name;
    bool (*predicate)(char16_t);
    Ranges members;
  } classes[] = {
      {"isSpace", isSpace, kSpace},
      {"isPeriod", isPeriod, kPeriod},
      {"isUnderline", isUnderline, kUnderline},
      {"isHyphen", isHyphen, kHyphen},
      {"isMiddleDot", isMiddleDot, kMiddleDot},
      {"isLeader", isLeader,
       join({kHyphen, kMiddleDot, kSpace, kPeriod, kUnderline, singles({0x2026, 0x22EF})})},
      {"isListHeader", isListHeader,
       join({kHyphen, kMiddleDot,
             singles({0x25CF, 0x25CB, 0x25C6, 0x25C7, 0x25A0, 0x25A1, 0x2023, 0x25B2, 0x25B3,
                      0x25BC, 0x25BD, 0x25CE})})},
      {"isAlphabet", isAlphabet, kAlphabet},
      {"isParenthesis", isParenthesis,
       join({singles({0x28, 0x29, 0x3C, 0x3E, 0x5B, 0x5D, 0x7B, 0x7D, 0x226A, 0x226B, 0x3014,
                      0x3015, 0xFF08, 0xFF09, 0xFF1C, 0xFF1E, 0xFF3B, 0xFF3D, 0xFF5B, 0xFF5D}),
             {{0x3008, 0x300F}}})},
      {"isKatakana", isKatakana, kKatakana},
      {"isSymbolParaHeader", isSymbolParaHeader, kSymbolParaHeader},
      {"isArabicNumber", isArabicNumber, kArabic},
      {"isRomanNumber", isRomanNumber, join({kAlphabetRoman, kNativeRoman})},
      {"isNativeRomanNumber", isNativeRomanNumber, kNativeRoman},
      {"isKanjiNumber", isKanjiNumber, kKanji},
      {"isParaHeader", isParaHeader,
       join({kArabic, kSymbolParaHeader, kAlphabetRoman, kNativeRoman, kAlphabet, kKatakana,
             kKanji})},
      {"isSymbol", isSymbol,
       {{0x0000, 0x002F}, {0x003A, 0x0040}, {0x005B, 0x0060}, {0x007B, 0x007F},
        {0x2460, 0x25FF}, {0x3000, 0x303F}, {0x3200, 0x33FF}, {0xFF00, 0xFF0F},
        {0xFF1A, 0xFF20}, {0xFF3B, 0xFF40}, {0xFF5B, 0xFF65}, {0xFF9E, 0xFFEF}}},
  };
  for (const auto& k : classes) {
    int mismatches = 0;
    for (int u = 0; u <= 0xFFFF && mismatches < 5; ++u) {
      const char16_t c = static_cast<char16_t>(u);
      bool expected = false;
      for (const auto& [first, last] : k.members) expected |= c >= first && c <= last;
      if (k.predicate(c) != expected) {
        ++mismatches;
        ADD_FAILURE() << k.name << "(U+" << std::hex << u << ") should be " << expected;
      }
    }
  }
}

}  // namespace
}  // namespace Kivrel::text

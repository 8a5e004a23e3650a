// The extractor's text members: thin forwards to Kivrel::text.
#include "kivrel/kivrant.h"
#include "text/char_class.h"
#include "text/heading_number.h"
#include "text/normalize.h"
#include "text/toc_line.h"

namespace Kivrel {

bool Kivrant::isSpace(unsigned short c) { return text::isSpace(c); }
bool Kivrant::isPeriod(unsigned short c) { return text::isPeriod(c); }
bool Kivrant::isUnderline(unsigned short c) { return text::isUnderline(c); }
bool Kivrant::isHyphen(unsigned short c) { return text::isHyphen(c); }
bool Kivrant::isMiddleDot(unsigned short c) { return text::isMiddleDot(c); }
bool Kivrant::isLeader(unsigned short c) { return text::isLeader(c); }
bool Kivrant::isListHeader(unsigned short c) { return text::isListHeader(c); }
bool Kivrant::isAlphabet(unsigned short c) { return text::isAlphabet(c); }
bool Kivrant::isParenthesis(unsigned short c) { return text::isParenthesis(c); }
bool Kivrant::isKatakana(unsigned short c) { return text::isKatakana(c); }
bool Kivrant::isSymbolParaHeader(unsigned short c) { return text::isSymbolParaHeader(c); }
bool Kivrant::isArabicNumber(unsigned short c) { return text::isArabicNumber(c); }
bool Kivrant::isAlphabetRomanNumber(unsigned short c) { return text::isAlphabetRomanNumber(c); }
bool Kivrant::isNativeRomanNumber(unsigned short c) { return text::isNativeRomanNumber(c); }
bool Kivrant::isRomanNumber(unsigned short c) { return text::isRomanNumber(c); }
bool Kivrant::isKanjiNumber(unsigned short c) { return text::isKanjiNumber(c); }
bool Kivrant::isParaHeader(unsigned short c) { return text::isParaHeader(c); }
bool Kivrant::isSymbol(unsigned short c) { return text::isSymbol(c); }

void Kivrant::trimStr(UnicodeString& str) { text::trimStr(str); }

void Kivrant::deleteNumberFromString(UnicodeString& str) { text::deleteNumberFromString(str); }

unsigned short Kivrant::getFirstDigit(UnicodeString& str, int& position) {
  return text::getFirstDigit(str, position);
}

bool Kivrant::isPageNumberOrLeader(UnicodeString& str) {
  return text::isPageNumberOrLeader(str);
}

bool Kivrant::isTocItem(UnicodeString& str, int& pageNo, UnicodeString& title) {
  return text::isTocItem(str, pageNo, title);
}

int Kivrant::getPointAndSimplification(UnicodeString& str) {
  return text::getPointAndSimplification(str);
}

}  // namespace Kivrel

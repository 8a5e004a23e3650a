#include "text/heading_number.h"

#include <cstdlib>
#include <utility>

#include "text/char_class.h"
#include "text/normalize.h"

namespace Kivrel::text {

namespace {

constexpr char16_t kSection = 0x00A7;  // §
constexpr char16_t kFullwidthOpen = 0xFF08;
constexpr char16_t kFullwidthClose = 0xFF09;
constexpr char16_t kDai = 0x7B2C;  // 第, the ordinal prefix
constexpr char16_t kKanjiOne = 0x4E00;
constexpr char16_t kSmallA = 0x30A1;  // ァ
constexpr char16_t kFullwidthDigitShift = 0xFEE0;
constexpr int kMaxGroups = 4;
// An unterminated number counts as the next-deeper kind: '1.1' reads as '1.'.
constexpr int kRunInRaise = 100;
// A unit this far from the unit that began its group starts something else:
// wide enough for I, V, X after a digit, too narrow for a letter after 'I'.
constexpr int kGroupReach = 26;

bool isClosingParenthesis(char16_t c) { return c == u')' || c == kFullwidthClose; }

bool isSeparator(char16_t c) { return isPeriod(c) || isHyphen(c) || isMiddleDot(c); }

bool isTerminator(char16_t c) { return isPeriod(c) || isSpace(c) || isClosingParenthesis(c); }

bool isPlainLetter(char16_t c) { return isAlphabet(c) && !isAlphabetRomanNumber(c); }

// The point of a suffix character, or 0 when c is none.
int suffixPoint(char16_t c) {
  switch (c) {
    case 0x90E8: return kPointPart;     // 部
    case 0x7AE0: return kPointChapter;  // 章
    case 0x7BC0: return kPointSection;  // 節
    case 0x6761: return kPointArticle;  // 条
    case 0x9805: return kPointClause;   // 項
    default: return 0;
  }
}

char16_t normalized(char16_t c) {
  return inRange(c, 0xFF10, 0xFF19) ? static_cast<char16_t>(c - kFullwidthDigitShift) : c;
}

// Whether c, met inside a group begun by reference, ends the numbering.
bool endsGroup(char16_t c, char16_t reference) {
  return (std::abs(static_cast<int>(c) - static_cast<int>(reference)) > kGroupReach &&
          !isKanjiNumber(c)) ||
         isSymbolParaHeader(c) || isKatakana(c) || isNativeRomanNumber(c) || isPlainLetter(c) ||
         isPlainLetter(reference);
}

// The pattern written out.
class PatternText {
 public:
  explicit PatternText(icu::UnicodeString& text) : text_(text) { text_.remove(); }
  void append(char16_t c) { text_.append(c); }
  void dropLast() {
    if (!text_.isEmpty()) text_.truncate(text_.length() - 1);
  }
  int32_t length() const { return text_.length(); }
  char16_t first() const { return text_.charAt(0); }
  char16_t last() const { return text_.charAt(text_.length() - 1); }

 private:
  icu::UnicodeString& text_;
};

// Only what the point depends on: the pattern's length, its first unit and
// the unit appended last (read only before a drop).
class PatternShape {
 public:
  void append(char16_t c) {
    if (n_ == 0) first_ = c;
    last_ = c;
    ++n_;
  }
  void dropLast() {
    if (n_ > 0) --n_;
  }
  int32_t length() const { return n_; }
  char16_t first() const { return first_; }
  char16_t last() const { return last_; }

 private:
  int32_t n_ = 0;
  char16_t first_ = 0xFFFF;
  char16_t last_ = 0xFFFF;
};

// The numbering point of the text between its trimmed ends; a read outside
// them gives 0xFFFF, as UnicodeString::charAt does.
template <typename Pattern>
int numberingPoint(const char16_t* units, int32_t length, Pattern& pattern) {
  int32_t start = 0;
  int32_t end = 0;
  if (units) trimmedBounds(units, length, start, end);
  const char16_t* trimmed = units + start;
  const int32_t n = end - start;
  auto at = [&](int32_t k) -> char16_t { return k >= 0 && k < n ? trimmed[k] : 0xFFFF; };

  int groups = 0;
  bool inGroup = false;
  bool dai = false;
  char16_t reference = 0;
  int32_t terminator = -1;

  for (int32_t k = 0;; ++k) {
    const char16_t c = at(k);
    if (k == 0) {
      if (c == kSection || c == u'(' || c == kFullwidthOpen) {
        pattern.append(u'(');
        continue;
      }
      if (c == kDai) {
        pattern.append(c);
        dai = true;
        continue;
      }
    }
    if (const int point = suffixPoint(c)) {
      if (k + 1 >= n || isSpace(at(k + 1))) {
        pattern.append(c);
        return point;
      }
      return kPointNoNumbering;
    }
    if (isSpace(c)) {
      terminator = k;
      break;
    }
    if (isClosingParenthesis(c)) {
      if (!inGroup) return kPointNoNumbering;
      pattern.append(u')');
      terminator = k;
      break;
    }
    if (isSeparator(c)) {
      if (!inGroup) {
        terminator = k - 1;
        break;
      }
      inGroup = false;
      if (groups == kMaxGroups) return kPointNoNumbering;
      pattern.append(u'.');
      continue;
    }
    if (!isParaHeader(c)) {  // 0xFFFF at the end lands here too
      terminator = k - 1;
      break;
    }
    if (inGroup) {
      if (endsGroup(c, reference)) {
        terminator = k - 1;
        break;
      }
      pattern.append(normalized(c));
      continue;
    }
    ++groups;
    inGroup = true;
    pattern.append(normalized(c));
    reference = isKanjiNumber(c) ? kKanjiOne : isKatakana(c) ? kSmallA : c;
  }

  int point;
  switch (groups) {
    case 0: return kPointNoNumbering;
    case 1:
      point = dai ? kPointPart : kPointOneGroup;
      if (isSymbolParaHeader(at(0))) point = kPointParenthesized;
      break;
    case 2: point = kPointTwoGroups; break;
    case 3: point = kPointThreeGroups; break;
    default: point = kPointFourGroups; break;
  }

  const char16_t t = at(terminator);
  if (!isTerminator(t)) {
    // The last unit runs into the text or ends it: it is not a finished number.
    pattern.dropLast();
    if (point == kPointOneGroup) {
      point = kPointNoNumbering;
    } else if (point != kPointParenthesized) {
      point += kRunInRaise;
    }
  } else if (point == kPointOneGroup) {
    if (isClosingParenthesis(t)) {
      point = kPointParenthesized;
    } else if (isSpace(t) && isPlainLetter(at(0))) {
      // 'A Intro' reads as a word more often than as a numbered heading.
      point = kPointNoNumbering;
    } else if (isSpace(t) && pattern.last() != u'.') {
      pattern.append(u'.');
    }
  }

  if (pattern.length() == 1 && (pattern.first() == kDai || pattern.first() == u'(')) {
    return kPointRejectedNumbering;
  }
  return point;
}

}  // namespace

int getPointAndSimplification(icu::UnicodeString& text) {
  icu::UnicodeString pattern;
  const int point = headingNumberPoint(text, pattern);
  text = std::move(pattern);
  return point;
}

int headingNumberPoint(const icu::UnicodeString& text, icu::UnicodeString& pattern) {
  const Units u(text);
  PatternText sink(pattern);
  return numberingPoint(u.at, u.n, sink);
}

int headingNumberPoint(const char16_t* units, int32_t n) {
  PatternShape shape;
  return numberingPoint(units, n, shape);
}

}  // namespace Kivrel::text

// Reading the numbering at the head of a heading ('第2章', '1.2', '(3)', '①').
#ifndef KIVREL_TEXT_HEADING_NUMBER_H_
#define KIVREL_TEXT_HEADING_NUMBER_H_

#include <unicode/unistr.h>

namespace Kivrel::text {

// Points of the numbering kinds; a higher point ranks a heading higher.
enum HeadingPoint : int {
  kPointRejectedNumbering = -3400,  // numbering shrank to '第' or '(' alone
  kPointNoNumbering = 10,
  kPointParenthesized = 200,  // '1)', '(1)', '①'
  kPointFourGroups = 300,
  kPointThreeGroups = 400,
  kPointTwoGroups = 500,
  kPointOneGroup = 600,
  kPointClause = 700,    // 項
  kPointArticle = 800,   // 条
  kPointSection = 900,   // 節
  kPointChapter = 1000,  // 章
  kPointPart = 1100,     // 部, or '第' with one terminated group
  kPointDaiRunIn = 1200,  // '第' with one group running into the text
};

// Returns the point of the numbering that begins the trimmed text, and
// replaces text by the simplified numbering pattern: every separator written
// as '.', fullwidth digits as ASCII, '§' and the opening parentheses as '('.
// On an early return of kPointNoNumbering the pattern is what was built so far.
int getPointAndSimplification(icu::UnicodeString& text);

// The same point, with the pattern written to pattern and text left as it is.
// REQUIRES: pattern is not text.
int headingNumberPoint(const icu::UnicodeString& text, icu::UnicodeString& pattern);

// The same point of the n units at units (null when n is 0), without the
// pattern.
int headingNumberPoint(const char16_t* units, int32_t n);

}  // namespace Kivrel::text

#endif  // KIVREL_TEXT_HEADING_NUMBER_H_

// Why a paragraph is not an outline entry. Stored in MPParagraph::point.
#ifndef KIVREL_OUTLINE_REASON_CODES_H_
#define KIVREL_OUTLINE_REASON_CODES_H_

namespace Kivrel {

enum ReasonCode : int {
  kEmptyText = -2000,
  kSentence = -2100,
  kTitleBlock = -2200,
  kAfterTitle = -2300,
  kRunningHeaderFooter = -2400,
  kTableOfContents = -2500,
  kTooLong = -2600,
  kTableText = -2700,
  kListItem = -2800,
  kLinkOrPath = -2900,
  kSmallerThanBody = -3000,
  kAfterRefusedTitle = -3100,
  kSymbolsOnly = -3200,
  kPointTooFrequent = -3300,
  kBareNumberingPrefix = -3400,
  kExcludedPage = -3500,
  kBeforeOutlineStart = -3600,
  kParenthesised = -3700,
  kRefusedTitle = -3800,
  kNotATocEntry = -3900,
};

}  // namespace Kivrel

#endif  // KIVREL_OUTLINE_REASON_CODES_H_

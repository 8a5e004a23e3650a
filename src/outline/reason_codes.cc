// Words for the reason codes, for diagnostic tools.
#include "outline/reason_codes.h"

#include "kivrel/progress.h"
#include "model/model.h"

namespace Kivrel {

const char* describeReasonCode(int code) {
  switch (code) {
    case kEmptyText: return "empty text";
    case kSentence: return "sentence";
    case kTitleBlock: return "document title";
    case kAfterTitle: return "below the document title";
    case kRunningHeaderFooter: return "running header or footer";
    case kTableOfContents: return "table of contents";
    case kTooLong: return "text too long";
    case kTableText: return "table text";
    case kListItem: return "list item or bullet";
    case kLinkOrPath: return "link, path or mail address";
    case kSmallerThanBody: return "smaller than body text";
    case kAfterRefusedTitle: return "page of a refused title";
    case kSymbolsOnly: return "only spaces and symbols";
    case kPointTooFrequent: return "point used too often";
    case kBareNumberingPrefix: return "bare numbering prefix";
    case kExcludedPage: return "excluded page";
    case kBeforeOutlineStart: return "front matter before the outline";
    case kParenthesised: return "parenthesised remark";
    case kRefusedTitle: return "refused title candidate";
    case kNotATocEntry: return "not a table-of-contents entry";
  }
  // The output stage also drops what the size and indent left below ten.
  if (code >= 0 && code < kPlainPoint) return "point below plain text";
  return "";
}

}  // namespace Kivrel

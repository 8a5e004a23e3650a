// Quality mode: the exact extraction followed by extra signals that refine
// which paragraphs become headings and at what level.
#ifndef KIVREL_QUALITY_H_
#define KIVREL_QUALITY_H_

#include <istream>
#include <vector>

#include "kivrel/export.h"
#include "kivrel/kivrant.h"
#include "kivrel/outline.h"
#include "kivrel/progress.h"
#include "kivrel/settings.h"

namespace Kivrel {

// Reasons of the quality mode's own decisions; outside the exact codes.
// Codes from -5000 to -5009 drop a paragraph, codes from -5010 on keep one
// that the exact rules rejected.
enum KivQualityReason : int {
  kQualityNotAboveBody = -5000,       // neither larger nor bolder than the body text
  kQualityListItem = -5001,           // numbered or bulleted item at body size and weight
  kQualityWrappedParagraph = -5002,   // next line has the same size and weight: a wrapped block
  kQualityCode = -5003,               // program text: code syntax at body weight
  kQualityCaption = -5004,            // figure or table label ("Figure 3", "表2")
  kQualityPageFurniture = -5005,      // same text (digits aside) at the same place on many pages
  kQualityJoinedToNumber = -5006,     // title joined to the section number on its line
  kQualityContentsLine = -5007,       // dot leaders: a table-of-contents line
  kQualityLinePiece = -5008,          // short piece to the right of the line before
  kQualityPromoted = -5010,           // stands out from the body, short, followed by body text
  kQualityPromotedNumbered = -5011,   // a section number in a heading style
};

// One paragraph as the quality mode judged it.
struct KIVREL_EXPORT KivQualityVerdict {
  KivParagraphVerdict exact;  // what the exact extraction decided
  bool accepted = false;      // true: kept in the refined outline
  // Set when the quality decision differs from the exact one: a drop code
  // for a dropped exact item or a joined title, a promotion code for a kept
  // paragraph the exact rules rejected. 0 otherwise.
  int reason = 0;
  int level = 0;              // 1..n for kept items (1 is the top), 0 otherwise
  int fontNo = 0;             // font number of the paragraph's style
  UnicodeString text;         // a kept item's text (with a joined title), else empty
};

// Runs Kivrant::extract with a verdict handler of its own (the extractor's
// own handler is back afterwards, also when the run throws), then refines
// the result. Appends the kept items to result in reading order: exact items
// keep their page, point, text and position; paragraphs the exact rules
// rejected come with point 0.
// Returns extract's return code; on a non-zero code result receives the exact
// items unchanged. When verdicts is given it receives one entry per non-empty
// paragraph; the n-th accepted entry describes the n-th appended item.
// Where an exception leaves the run, result is as it was.
KIVREL_EXPORT int extractQuality(Kivrant& kivrant, std::istream& input, KivOutlineList& result,
                                 KivSettings* settings,
                                 std::vector<KivQualityVerdict>* verdicts = nullptr);

// Words for a KivQualityReason, else describeReasonCode(code).
KIVREL_EXPORT const char* describeQualityReason(int code);

}  // namespace Kivrel

#endif  // KIVREL_QUALITY_H_

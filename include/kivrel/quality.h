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
enum KivQualityReason : int {
  kQualityNotAboveBody = -5000,       // neither larger nor bolder than the body text
  kQualityListItem = -5001,           // numbered or bulleted item at body size and weight
  kQualityWrappedParagraph = -5002,   // next line has the same size and weight: a wrapped block
};

// One paragraph as the quality mode judged it.
struct KIVREL_EXPORT KivQualityVerdict {
  KivParagraphVerdict exact;  // what the exact extraction decided
  bool accepted = false;      // true: kept in the refined outline
  int reason = 0;             // when an accepted exact item was dropped: a KivQualityReason
  int level = 0;              // 1..n for kept items (1 is the top), 0 otherwise
};

// Runs Kivrant::extract with a verdict handler of its own (the extractor's
// handler is left unset afterwards), then refines the result. Appends the
// kept items to result in reading order. Returns extract's return code; on a
// non-zero code result receives the exact items unchanged. When verdicts is
// given it receives one entry per non-empty paragraph.
KIVREL_EXPORT int extractQuality(Kivrant& kivrant, std::istream& input, KivOutlineList& result,
                                 KivSettings* settings,
                                 std::vector<KivQualityVerdict>* verdicts = nullptr);

// Words for a KivQualityReason, else describeReasonCode(code).
KIVREL_EXPORT const char* describeQualityReason(int code);

}  // namespace Kivrel

#endif  // KIVREL_QUALITY_H_

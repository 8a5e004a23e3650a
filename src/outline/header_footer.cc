// Running headers and footers: text that recurs in the top or bottom band of
// the pages once its page numbers are stripped.
#include "kivrel/kivrant.h"
#include "model/model.h"
#include "model/wrapping.h"
#include "text/normalize.h"

namespace Kivrel {

namespace {

// The bands are the top and bottom 2/15 of the page, but at least this high.
constexpr double kBandFraction = 0.13333333333333333;
constexpr int kMinBandMargin = 1000;

enum Band { kTopBand = 0, kBottomBand = 1 };

// Out of line, so that the test of a body paragraph, which most are, stays
// a few instructions.
__attribute__((noinline)) bool countOrCheckBandText(const MPParagraph& paragraph, Band band,
                                                    int threshold,
                                                    std::map<UnicodeString, int>* maps) {
  UnicodeString key = paragraph.text.copy();
  text::deleteNumberFromString(key);
  int& count = maps[band][key];  // a key seen for the first time starts at 0
  if (threshold == 0) {
    ++count;
    return false;
  }
  return count >= threshold;
}

}  // namespace

bool Kivrant::isHeaderOrFooter(MPParagraph* paragraph, MPPage* page, int threshold,
                               std::map<UnicodeString, int>* maps) {
  int margin = static_cast<int>(page->height * kBandFraction);
  if (margin < kMinBandMargin) margin = kMinBandMargin;
  const int cy = paragraph->cy;
  if (margin <= cy && cy <= internal::wrapSub(page->height, margin)) return false;
  // On a page too short for two separate bands the top test alone decides.
  return countOrCheckBandText(*paragraph, cy < margin ? kTopBand : kBottomBand, threshold, maps);
}

}  // namespace Kivrel

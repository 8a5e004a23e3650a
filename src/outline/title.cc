// The document title: the first page's largest text, taken out of the outline
// together with the block around it when it stands high enough on the page.
#include "kivrel/kivrant.h"
#include "model/model.h"
#include "outline/reason_codes.h"
#include "outline/scan_cache.h"
#include "text/normalize.h"

namespace Kivrel {

namespace {

// A title stands in the top 5/19 of its page.
constexpr double kTitleFraction = 0.2631578947368421;
// The title block ends at the third empty paragraph in a row.
constexpr int kTitleBlockGap = 3;

}  // namespace

bool Kivrant::checkParagraphIsTitle(int pageIndex, int paragraphIndex, MPPage* page,
                                    MPParagraph* paragraph) {
  if (static_cast<double>(paragraph->cy) > page->height * kTitleFraction) {
    page->flags |= kPageAfterRefusedTitle;
    return false;
  }

  // A back-mark of this page made before must be written again in full.
  if (scanCache) scanCache->forgetBackMark(pageIndex);

  // The title and everything above it on its page.
  for (int k = paragraphIndex; k >= 0; --k) {
    if (static_cast<std::size_t>(k) < page->paragraphs.size()) {
      page->paragraphs[static_cast<std::size_t>(k)]->point = kTitleBlock;
    }
  }

  // Subtitle, author, date: the rest of the block below it.
  int pageAt = pageIndex;
  int paraAt = paragraphIndex;
  int emptyRun = 0;
  for (;;) {
    MPParagraph* next = getNextParagraph(pageAt, paraAt, true);
    if (!next || pageAt != pageIndex) return true;
    if (text::trimsToEmpty(next->text.units(), next->text.length())) {
      if (emptyRun == kTitleBlockGap - 1) return true;
      ++emptyRun;
    } else {
      emptyRun = 0;
    }
    next->point = kAfterTitle;
  }
}

}  // namespace Kivrel

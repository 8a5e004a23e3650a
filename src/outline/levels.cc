// Outline level assignment: every remaining candidate gets its point, from
// its heading number, or for weak or missing numbers from its character size
// and indent.
#include <algorithm>
#include <set>
#include <vector>

#include "kivrel/kivrant.h"
#include "model/model.h"
#include "model/wrapping.h"
#include "outline/candidates.h"
#include "outline/point_table.h"
#include "outline/prefetch.h"
#include "outline/scan_cache.h"
#include "text/heading_number.h"

namespace Kivrel {

namespace {

// Numbering classes whose point the character size may still change.
constexpr int kParenthesisedPoint = 200;
constexpr int kSingleNumberPoint = 600;
constexpr int kWeakClasses = 3;
// Horizontal positions this close count as the same indent.
constexpr int kIndentTolerance = 100;
// How far each indent step lowers a font-derived point.
constexpr int kIndentStepPoints = 5;

constexpr std::uint32_t kSkippedPage = kPageAfterRefusedTitle | kPageExcluded;

// Class list of a weak point, or -1 for a strong one.
int weakClass(int point) {
  switch (point) {
    case kParenthesisedPoint:
      return 0;
    case kSingleNumberPoint:
      return 1;
    case kPlainPoint:
      return 2;
    default:
      return -1;
  }
}

// The indents of one class, kept ordered so that the "any entry within the
// tolerance" test stays logarithmic.
// Wide arithmetic: positions come from the stream and may be near the int limits.
bool hasIndentNear(const std::set<long long>& indents, int cx) {
  auto it = indents.lower_bound(static_cast<long long>(cx) - kIndentTolerance);
  return it != indents.end() && *it <= static_cast<long long>(cx) + kIndentTolerance;
}

// Index of the first entry of the ascending list within the tolerance of cx.
int indentRank(const std::vector<int>& indents, int cx) {
  auto it = std::lower_bound(indents.begin(), indents.end(),
                             static_cast<long long>(cx) - kIndentTolerance);
  return static_cast<int>(it - indents.begin());
}

}  // namespace

void Kivrant::setupOutlineLevel(std::vector<int>& pointArray, std::vector<int>* indentLists,
                                KivSettings* settings) {
  // The scans are over once levels are assigned.
  internal::deleteScanCache(scanCache);

  // The points given out so far; pointArray receives them at the end, as
  // keeping a sorted list up to date would cost time linear in the points
  // for every paragraph that adds one.
  internal::PointTable points(pointArray, pointInfoMap, styleTable);
  auto record = [&](int point, int styleIndex) {
    const PointInfo& info = internal::recordPointUse(pointInfoMap, styleTable, point, styleIndex);
    points.set(point, info.styleIndex);
  };

  // Number analysis. It also lists, in document order, the paragraphs the
  // font refinement will visit, so that it need not sweep the whole model.
  std::set<long long> indents[kWeakClasses];
  std::vector<MPParagraph*> weak;
  auto number = [&](const MPPage* page, MPParagraph* paragraph) {
    if ((page->flags & kSkippedPage) || paragraph->point <= 0) return;
    // The extractor's getPointAndSimplification without the copy of the
    // text it would overwrite with the pattern, which is not needed here.
    UnicodeString pattern;
    int point = text::headingNumberPoint(paragraph->text, pattern);
    paragraph->point = point;
    if (point < kPlainPoint) return;
    record(point, paragraph->styleIndex);
    int cls = weakClass(point);
    if (cls < 0 || page->specialSection) return;
    weak.push_back(paragraph);
    if (!hasIndentNear(indents[cls], paragraph->cx)) indents[cls].insert(paragraph->cx);
  };
  if (candidates) {
    candidates->forEach(pages, [&](int, const MPPage* page, int, MPParagraph* paragraph) {
      number(page, paragraph);
    });
  } else {
    for (const MPPage* page : pages) {
      for (MPParagraph* paragraph : page->paragraphs) number(page, paragraph);
    }
  }
  // Entries lie more than the tolerance apart, so the sorted set is the list
  // sorted, with nothing to drop.
  for (int cls = 0; cls < kWeakClasses; ++cls) {
    for (long long cx : indents[cls]) indentLists[cls].push_back(static_cast<int>(cx));
    std::sort(indentLists[cls].begin(), indentLists[cls].end());
    indentLists[cls].erase(std::unique(indentLists[cls].begin(), indentLists[cls].end()),
                           indentLists[cls].end());
  }

  // Font refinement, in document order, of the weak paragraphs on pages
  // without a special section: each is placed among the points given out
  // before it.
  const bool byIndent = settings->flags & kIndentRefinement;
  for (std::size_t k = 0; k < weak.size(); ++k) {
    const std::size_t ahead = k + internal::kParagraphsAhead;
    if (ahead < weak.size()) internal::prefetchParagraph(weak[ahead]);
    MPParagraph* paragraph = weak[k];
    const int cls = weakClass(paragraph->point);
    int point = points.place(paragraph->styleIndex, paragraph->point, false);
    if (byIndent) {
      const int step = kIndentStepPoints * indentRank(indentLists[cls], paragraph->cx);
      point = std::max(0, internal::wrapSub(point, step));
    }
    paragraph->point = point;
    if (point == kParenthesisedPoint || point == kSingleNumberPoint) continue;
    record(point, paragraph->styleIndex);
  }
  pointArray = points.points();
}

}  // namespace Kivrel

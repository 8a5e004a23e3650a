// Outline level assignment: every remaining candidate gets its point, from
// its heading number, or for weak or missing numbers from its character size
// and indent.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <set>
#include <vector>

#include "kivrel/kivrant.h"
#include "model/model.h"
#include "model/wrapping.h"
#include "outline/candidates.h"
#include "outline/point_info_map.h"
#include "outline/point_table.h"
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

// Calls visit(low, high) for each stretch of ints near cx. The distance is
// taken in 32 bits, as everywhere positions meet: the difference wraps, so a
// window that crosses an int limit goes on at the other, and its magnitude
// wraps too, so the position 2^31 away counts as near as well.
template <typename Visit>
void forEachNearStretch(int cx, Visit visit) {
  constexpr long long kRing = 1LL << 32;
  const long long low = static_cast<long long>(cx) - kIndentTolerance;
  const long long high = static_cast<long long>(cx) + kIndentTolerance;
  visit(static_cast<int>(std::max<long long>(low, INT_MIN)),
        static_cast<int>(std::min<long long>(high, INT_MAX)));
  if (low < INT_MIN) visit(static_cast<int>(low + kRing), INT_MAX);
  if (high > INT_MAX) visit(INT_MIN, static_cast<int>(high - kRing));
  const int opposite = internal::wrapSub(cx, INT_MIN);
  visit(opposite, opposite);
}

// The indents of one class, kept ordered so that the "any entry near" test
// stays logarithmic.
bool hasIndentNear(const std::set<int>& indents, int cx) {
  bool found = false;
  forEachNearStretch(cx, [&](int low, int high) {
    auto it = indents.lower_bound(low);
    found = found || (it != indents.end() && *it <= high);
  });
  return found;
}

// Index of the first entry of the ascending list near cx.
int indentRank(const std::vector<int>& indents, int cx) {
  auto first = indents.end();
  forEachNearStretch(cx, [&](int low, int high) {
    auto it = std::lower_bound(indents.begin(), indents.end(), low);
    if (it != indents.end() && *it <= high && it < first) first = it;
  });
  return static_cast<int>(first - indents.begin());
}

}  // namespace

void Kivrant::setupOutlineLevel(std::vector<int>& pointArray, std::vector<int>* indentLists,
                                KivSettings* settings) {
  // The scans are over once levels are assigned.
  internal::deleteScanCache(scanCache);

  // The points given out so far; pointArray receives them at the end, as
  // keeping a sorted list up to date would cost time linear in the points
  // for every paragraph that adds one.
  internal::PointInfoMap& infos = internal::pointInfosIn(pointInfoMap);
  internal::PointTable points(pointArray, &infos, styleTable);
  auto record = [&](int point, int styleIndex) {
    const PointInfo& info = internal::recordPointUse(infos, styleTable, point, styleIndex);
    points.set(point, info.styleIndex);
  };

  // Both passes visit the paragraphs still in the running, in document order.
  auto forEachParagraph = [&](auto&& visit) {
    if (candidates) {
      candidates->forEach(pages, [&](int, const MPPage* page, int, MPParagraph* paragraph) {
        visit(page, paragraph);
      });
    } else {
      for (const MPPage* page : pages) {
        for (MPParagraph* paragraph : page->paragraphs) visit(page, paragraph);
      }
    }
  };

  // Number analysis.
  std::set<int> indents[kWeakClasses];
  forEachParagraph([&](const MPPage* page, MPParagraph* paragraph) {
    if ((page->flags & kSkippedPage) || paragraph->point <= 0) return;
    // The extractor's getPointAndSimplification without the pattern, which
    // is not needed here.
    int point = text::headingNumberPoint(paragraph->text.units(), paragraph->text.length());
    paragraph->point = point;
    if (point < kPlainPoint) return;
    record(point, paragraph->styleIndex);
    int cls = weakClass(point);
    if (cls < 0 || page->specialSection) return;
    if (!hasIndentNear(indents[cls], paragraph->cx)) indents[cls].insert(paragraph->cx);
  });
  // Entries lie more than the tolerance apart, so the sorted set is the list
  // sorted, with nothing to drop.
  for (int cls = 0; cls < kWeakClasses; ++cls) {
    indentLists[cls].insert(indentLists[cls].end(), indents[cls].begin(), indents[cls].end());
    std::sort(indentLists[cls].begin(), indentLists[cls].end());
    indentLists[cls].erase(std::unique(indentLists[cls].begin(), indentLists[cls].end()),
                           indentLists[cls].end());
  }

  // Font refinement, in document order, of the paragraphs the number
  // analysis gave a weak point on pages without a special section: each is
  // placed among the points given out before it. A paragraph's refinement
  // changes only its own point, so the weak ones are found again by their
  // points instead of being listed, which on a record-dense stream took as
  // much memory as the scans' memo.
  const bool byIndent = settings->flags & kIndentRefinement;
  forEachParagraph([&](const MPPage* page, MPParagraph* paragraph) {
    if ((page->flags & kSkippedPage) || page->specialSection) return;
    const int cls = weakClass(paragraph->point);
    if (cls < 0) return;
    int point = points.place(paragraph->styleIndex, paragraph->point, false);
    if (byIndent) {
      const int step = kIndentStepPoints * indentRank(indentLists[cls], paragraph->cx);
      point = std::max(0, internal::wrapSub(point, step));
    }
    paragraph->point = point;
    if (point == kParenthesisedPoint || point == kSingleNumberPoint) return;
    record(point, paragraph->styleIndex);
  });
  pointArray = points.points();
}

}  // namespace Kivrel

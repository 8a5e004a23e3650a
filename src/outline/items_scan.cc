// Lists: runs of paragraphs whose leading numbering characters follow each
// other (1, 2, 3; a, b; ①, ②) or repeat one bullet.
//
// A walk's only state is the numbering character of the last item it
// accepted, which is that item's own character. So the list that goes on
// from an item is the same whichever start reached it: per item the memo
// keeps the last item of the list that continues from it and, in a list of
// two items or more, the item after it.

#include "kivrel/kivrant.h"
#include "model/model.h"
#include "outline/reason_codes.h"
#include "outline/scan_cache.h"

namespace Kivrel {

namespace {

using internal::ScanCache;

// The third empty paragraph in a row ends a list.
constexpr int kMaxSkippedEmpty = 2;
// A number ending in 9 is followed by one ending in 0.
constexpr int kDecadeStep = -9;

}  // namespace

void Kivrant::checkParagraphIsItems(int pageIndex, int paragraphIndex, MPPage* /*page*/,
                                    MPParagraph* /*paragraph*/, int threshold,
                                    std::map<UnicodeString, int>* maps) {
  // REQUIRES: paragraph is paragraph paragraphIndex of page, the page at
  // pageIndex; the walk reads both through the memo.
  ScanCache& cache = internal::scanCacheFor(scanCache, pages, pageCount, threshold, maps);
  int start = cache.flatIndex(pageIndex, paragraphIndex);
  if (start == ScanCache::kNone) return;
  // An item: a non-empty paragraph whose numbering character can head a
  // heading number and that is no running header or footer. The start must
  // be one.
  if (cache.empty(start) || !isParaHeader(cache.entries[start].digit) ||
      cache.headerFooter(start)) {
    return;
  }

  auto continues = [](unsigned short previous, unsigned short current) {
    int d = static_cast<int>(current) - static_cast<int>(previous);
    return d == 1 || d == kDecadeStep || (isListHeader(previous) && current == previous);
  };
  // The paragraph after item x that the walk compares with it, or kNone when
  // the walk ends before one. Passes over running headers and footers that
  // begin like a number and over two empty paragraphs in a row.
  auto nextItemOf = [&cache](int x) {
    int empties = 0;
    for (int y = x + 1; y < cache.size(); ++y) {
      if (cache.empty(y)) {
        if (++empties > kMaxSkippedEmpty) return ScanCache::kNone;
        continue;
      }
      empties = 0;
      if (!isParaHeader(cache.entries[y].digit)) return ScanCache::kNone;
      if (!cache.headerFooter(y)) return y;
    }
    return ScanCache::kNone;
  };

  // Walk forward until an item whose list end is known, then fill it in for
  // the items passed, which their links lead through again.
  int x = start;
  while (cache.listEnd(x) == ScanCache::kUnknown) {
    int y = nextItemOf(x);
    if (y == ScanCache::kNone || !continues(cache.entries[x].digit, cache.entries[y].digit)) {
      cache.setListEnd(x, x);
      break;
    }
    cache.setNextItem(x, y);
    x = y;
  }
  const int listEnd = cache.listEnd(x);
  for (int item = start; item != x; item = cache.nextItem(item)) cache.setListEnd(item, listEnd);

  const int end = cache.listEnd(start);
  if (end == start) return;
  for (int item = start;; item = cache.nextItem(item)) {
    cache.paragraph(item)->point = kListItem;
    if (item == end) break;
  }
}

}  // namespace Kivrel

// Table-of-contents regions: runs of "title ..... page" lines.
//
// A walk from a start paragraph passes non-empty paragraphs with one bit of
// state, whether a line that is neither a table-of-contents line nor a
// running header/footer has been seen since the last table-of-contents line.
// It ends at the second such line in a row, at the fourth empty paragraph in
// a row, or at the end of the document. Every walk that reaches a paragraph
// with the same bit goes on identically, so the outcome (the last
// table-of-contents line reached and how many were reached) is memoised per
// paragraph and bit; the walk marks every non-empty paragraph from its start
// to that last line once it has reached three.
#include <algorithm>

#include "kivrel/kivrant.h"
#include "model/model.h"
#include "outline/reason_codes.h"
#include "outline/scan_cache.h"

namespace Kivrel {

namespace {

using internal::ScanCache;

// The fourth empty paragraph in a row ends a region.
constexpr int kMaxSkippedEmpty = 3;
// Lines a walk must pass before it marks anything.
constexpr int kMinTocLines = 3;
static_assert(kMinTocLines <= ScanCache::Entry::kMaxTocCount, "a capped count fits the memo");
// Regions that start on the first pages also take the lines above them.
constexpr int kBackMarkPages = 5;
constexpr int kBackMarkPageDivisor = 15;

enum class Line { kHeaderFooter, kToc, kOther };

// The next non-empty paragraph a walk standing on x reaches, or kNone when
// the walk ends first (too many empty paragraphs, end of document).
int nextNonEmpty(ScanCache& cache, int x) {
  int empties = 0;
  for (int y = x + 1; y < cache.size(); ++y) {
    if (!cache.empty(y)) return y;
    if (empties == kMaxSkippedEmpty) return ScanCache::kNone;
    ++empties;
  }
  return ScanCache::kNone;
}

Line lineOf(ScanCache& cache, int x) {
  if (cache.headerFooter(x)) return Line::kHeaderFooter;
  return (cache.textFacts(x) & ScanCache::kTocLine) ? Line::kToc : Line::kOther;
}

// The bit a walk carries past a line of this kind.
int nextFlag(Line line, int f) {
  return line == Line::kHeaderFooter ? f : line == Line::kToc ? 0 : 1;
}

// Outcome of a walk that reaches non-empty paragraph x0 with bit f0.
// Iterative, so that a region of any length costs no stack. The walk runs
// twice: once to where its outcome is known, then again to write that
// outcome into every step, which keeps no list of the steps (a band of
// running headers would make it one entry per paragraph).
void resolve(ScanCache& cache, int x0, int f0, int& last, int& count) {
  int steps = 0;
  int tocSteps = 0;
  int lastToc = ScanCache::kNone;
  Line firstLine = Line::kOther;  // most walks stop after one step: the replay takes it from here
  int x = x0;
  int f = f0;
  for (;;) {
    ScanCache::Entry& e = cache.entries[x];
    if (e.tocCount(f) != ScanCache::kCountUnknown) {
      count = e.tocCount(f);
      last = cache.tocLast(x, f);
      break;
    }
    Line line = lineOf(cache, x);
    if (line == Line::kOther && f) {
      last = ScanCache::kNone;
      count = 0;
      cache.setTocWalk(x, f, 0, last);
      break;
    }
    if (steps++ == 0) firstLine = line;
    if (line == Line::kToc) {
      ++tocSteps;
      lastToc = x;
    }
    int y = nextNonEmpty(cache, x);
    if (y == ScanCache::kNone) {
      last = ScanCache::kNone;
      count = 0;
      break;
    }
    f = nextFlag(line, f);
    x = y;
  }
  // Each step's count is the end's count plus the table-of-contents steps
  // from it on, capped; its last line is the end's, or the walk's last
  // table-of-contents line if the end had none.
  const int endCount = count;
  if (endCount == 0 && tocSteps > 0) last = lastToc;
  count = std::min(endCount + tocSteps, kMinTocLines);
  x = x0;
  f = f0;
  for (int i = 0; i < steps; ++i) {
    Line line = i == 0 ? firstLine : lineOf(cache, x);
    const int passed = endCount + tocSteps;
    // A count of 0 has no last line.
    cache.setTocWalk(x, f, std::min(passed, kMinTocLines), passed == 0 ? ScanCache::kNone : last);
    if (i + 1 == steps) break;
    if (line == Line::kToc) --tocSteps;
    f = nextFlag(line, f);
    x = nextNonEmpty(cache, x);
  }
}

// Sets kTableOfContents on paragraphs 1..upTo of the start page. A later
// back-mark of the same page needs to rewrite only what changed since the
// last one: the driver only writes the paragraph it stands on and the one
// before it, and title detection, which rewrites the whole top of the page,
// makes the cache forget the page's back-mark.
void backMark(ScanCache& cache, int pageIndex, MPPage* page, int upTo) {
  int hi = std::min(upTo, static_cast<int>(page->paragraphs.size()) - 1);
  if (hi < 1) return;
  int& done = cache.backMarkOf(pageIndex);
  int lo = 1;
  if (done >= 1 && hi > done) lo = std::max(1, done - 1);
  for (int i = lo; i <= hi; ++i) page->paragraphs[i]->point = kTableOfContents;
  done = std::max(done, hi);
}

}  // namespace

void Kivrant::checkParagraphIsToc(int pageIndex, int paragraphIndex, MPPage* page,
                                  MPParagraph* /*paragraph*/, int threshold,
                                  std::map<UnicodeString, int>* maps) {
  // REQUIRES: paragraph is paragraph paragraphIndex of page, the page at
  // pageIndex; the walk reads both through the memo.
  ScanCache& cache = internal::scanCacheFor(scanCache, pages, pageCount, threshold, maps);
  int start = cache.flatIndex(pageIndex, paragraphIndex);
  if (start == ScanCache::kNone) return;
  // Up to three leading empty paragraphs are passed over like any others.
  int first = start;
  for (int empties = 0; cache.empty(first); ++empties) {
    if (empties == kMaxSkippedEmpty || first + 1 == cache.size()) return;
    ++first;
  }

  int last = ScanCache::kNone;
  int count = 0;
  resolve(cache, first, 0, last, count);
  if (count < kMinTocLines) return;

  for (int x = first; x <= last; ++x) {
    if (!cache.empty(x)) cache.paragraph(x)->point = kTableOfContents;
  }
  if (pageIndex < kBackMarkPages || pageIndex < pageCount / kBackMarkPageDivisor) {
    backMark(cache, pageIndex, page, paragraphIndex);
  }
}

}  // namespace Kivrel

// Per-run memo of the table-of-contents and item scans.
//
// The driver starts both scans at nearly every paragraph and each walks
// forward until its pattern breaks, so walking afresh from every start is
// quadratic on long runs (a page band full of running headers, a list of
// 100,000 bullets). The scans read only a paragraph's text, position and
// header/footer status, never its point, so what a walk does from a given
// paragraph in a given state is fixed for the whole run. This memo keeps,
// per paragraph, its text facts and the outcome of a walk that reaches it,
// keyed by the paragraph's position in reading order.
#ifndef KIVREL_OUTLINE_SCAN_CACHE_H_
#define KIVREL_OUTLINE_SCAN_CACHE_H_

#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "model/prefault.h"
#include "text/normalize.h"
#include "text/toc_line.h"

namespace Kivrel::internal {

struct ScanCache {
  // One entry per paragraph, written as soon as it is allocated.
  template <class T>
  using PerParagraph = std::vector<T, PrefaultingAllocator<T>>;

  // What the scans learn from one paragraph.
  enum Fact : std::uint8_t {
    kTextKnown = 0x01,
    kEmpty = 0x02,
    kTocLine = 0x04,  // isTocItem accepts the trimmed text (isTocLine)
    kHeaderFooterKnown = 0x08,
    kHeaderFooter = 0x10,
    kOwnListEnd = 0x20,  // an item whose list ends with itself
  };
  static constexpr int kUnknown = -2;
  static constexpr int kNone = -1;
  static constexpr int kCountUnknown = -1;

  // REQUIRES: pages holds pageCount pages whose paragraph lists, texts and
  // positions stay fixed, and maps holds final counts, for the life of the
  // cache.
  ScanCache(const std::vector<MPPage*>& pages, int pageCount, int threshold,
            std::map<icu::UnicodeString, int>* maps)
      : pagesData(pages.data()), pageCount(pageCount), threshold(threshold), maps(maps) {
    // Exact sizes: on a record-dense stream this memo is a good part of what
    // the run holds.
    pageStart.reserve(pageCount + 1);
    std::size_t total = 0;
    for (int p = 0; p < pageCount; ++p) {
      pageStart.push_back(static_cast<int>(total));
      total += pages[p]->paragraphs.size();
    }
    pageStart.push_back(static_cast<int>(total));
    entries.resize(total);
  }

  // True when this memo was built for the same model and header/footer test.
  bool matches(const std::vector<MPPage*>& pages, int pageCount_, int threshold_,
               const std::map<icu::UnicodeString, int>* maps_) const {
    return pagesData == pages.data() && pageCount == pageCount_ && threshold == threshold_ &&
           maps == maps_ && static_cast<int>(pageStart.size()) == pageCount_ + 1 &&
           (pageCount_ == 0 || pages[pageCount_ - 1]->paragraphs.size() ==
                                   static_cast<std::size_t>(pageStart[pageCount_] -
                                                            pageStart[pageCount_ - 1]));
  }

  int size() const { return static_cast<int>(entries.size()); }
  MPParagraph* paragraph(int x) { return paragraphOn(pageOf(x), x); }
  // Position in reading order; kNone when (page, para) names no paragraph.
  int flatIndex(int page, int para) const {
    if (page < 0 || page >= pageCount || para < 0) return kNone;
    int x = pageStart[page] + para;
    return x < pageStart[page + 1] ? x : kNone;
  }

  // kEmpty and kTocLine bits of paragraph x (and its digit), computed once.
  std::uint8_t textFacts(int x) {
    Entry& e = entries[x];
    if (!(e.facts & kTextKnown)) {
      std::uint8_t bits = kTextKnown;
      const ParagraphText& text = paragraph(x)->text;
      int32_t start = 0;
      int32_t end = 0;
      text::trimmedBounds(text.units(), text.length(), start, end);
      if (start == end) {
        bits |= kEmpty;
      } else {
        const char16_t* trimmed = text.units() + start;
        int position = 0;
        e.digit = text::getFirstDigit(trimmed, end - start, position);
        if (text::isTocLine(trimmed, end - start)) bits |= kTocLine;
      }
      e.facts |= bits;
    }
    return e.facts;
  }
  bool empty(int x) { return textFacts(x) & kEmpty; }
  // Made only for paragraphs that a plain walk would test, since a checking
  // call may add a key to the band maps.
  bool headerFooter(int x) {
    Entry& e = entries[x];
    if (!(e.facts & kHeaderFooterKnown)) {
      const int page = pageOf(x);
      bool hf = KivrantInternals::isHeaderOrFooter(paragraphOn(page, x), pagesData[page],
                                                   threshold, maps);
      e.facts |= kHeaderFooterKnown | (hf ? kHeaderFooter : 0);
    }
    return e.facts & kHeaderFooter;
  }

  // The page that holds paragraph x: the last page starting at or before x
  // (pages without paragraphs share their start with the next page). Walks
  // ask for neighbouring paragraphs, so the page of the last answer is tried
  // first, then the one after it.
  int pageOf(int x) {
    if (pageStart[lastPage] <= x && x < pageStart[lastPage + 1]) return lastPage;
    const int next = lastPage + 1;
    if (next < pageCount && pageStart[next] <= x && x < pageStart[next + 1]) return lastPage = next;
    lastPage = static_cast<int>(std::upper_bound(pageStart.begin(), pageStart.end(), x) -
                                pageStart.begin()) - 1;
    return lastPage;
  }
  // Paragraph x, on page (pageOf(x)).
  MPParagraph* paragraphOn(int page, int x) const {
    return pagesData[page]->paragraphs[static_cast<std::size_t>(x - pageStart[page])];
  }

  MPPage* const* pagesData;
  int pageCount;
  int threshold;
  std::map<icu::UnicodeString, int>* maps;

  // What the memo holds for every paragraph: the text facts and the
  // table-of-contents counts that every walk reads at every step.
  // No pointer to the paragraph: pageOf finds it, mostly in a step or two
  // (a binary search otherwise), which keeps 8 bytes out of every entry.
  struct Entry {
    unsigned short digit = 0;  // getFirstDigit of the trimmed text
    std::uint8_t facts = 0;

    // Table-of-contents walk reaching non-empty paragraph x with the
    // "other line seen" flag f: how many table-of-contents lines it passes,
    // capped at 3, or kCountUnknown.
    int tocCount(int f) const { return ((tocCounts >> (4 * f)) & 0xF) - 1; }
    // count: 0 to kMaxTocCount.
    void setTocCount(int f, int count) {
      tocCounts =
          static_cast<std::uint8_t>((tocCounts & ~(0xF << (4 * f))) | ((count + 1) << (4 * f)));
    }
    static constexpr int kMaxTocCount = 14;

   private:
    // A nibble per flag holding the count + 1 (0: unknown).
    std::uint8_t tocCounts = 0;
  };
  static_assert(sizeof(Entry) == 4, "an entry per paragraph: keep it small");

  // Item walk: the last item of the list that continues from item x, or
  // kUnknown. Any paragraph that starts like a number or a letter is an
  // item, and most of them end their own list, which a fact bit tells; only
  // a document with a longer list keeps links, in a list apart from the
  // entries.
  int listEnd(int x) const {
    if (entries[x].facts & kOwnListEnd) return x;
    const ItemLinks* l = linksIfAny(x);
    return l ? l->listEnd : kUnknown;
  }
  // REQUIRES: end is x, or setNextItem(x, ...) came first.
  void setListEnd(int x, int end) {
    if (end == x) {
      entries[x].facts |= kOwnListEnd;
    } else {
      links(x).listEnd = end;
    }
  }
  // The item that follows item x in its list.
  // REQUIRES: setNextItem(x, ...) came first.
  int nextItem(int x) const { return linksIfAny(x)->nextItem; }
  // May throw (the links are made at the first call); x's list end is then
  // still unknown.
  void setNextItem(int x, int next) { links(x).nextItem = next; }

  // The last table-of-contents line that the walk counted by tocCount(f)
  // of non-empty paragraph x passes.
  int tocLast(int x, int f) const {
    if (entries[x].tocCount(f) <= 0) return kNone;  // a count of 0 has none
    auto it = tocLasts.find(x);
    return it == tocLasts.end() ? kNone : it->second[f];
  }
  // count: 0 to kMaxTocCount; last: kNone for a count of 0.
  void setTocWalk(int x, int f, int count, int last) {
    if (count > 0) {
      // First, so that running out of memory leaves the entry as it was.
      auto [it, added] = tocLasts.try_emplace(x, std::array<int, 2>{kNone, kNone});
      it->second[f] = last;
    }
    entries[x].setTocCount(f, count);
  }

  PerParagraph<Entry> entries;  // reading order

 private:
  struct ItemLinks {
    int nextItem = kUnknown;
    int listEnd = kUnknown;
  };
  ItemLinks& links(int x) {
    if (itemLinks.empty()) itemLinks.resize(entries.size());
    return itemLinks[static_cast<std::size_t>(x)];
  }
  const ItemLinks* linksIfAny(int x) const {
    return itemLinks.empty() ? nullptr : &itemLinks[static_cast<std::size_t>(x)];
  }
  // Made whole by the first list of two items or more: taken at once, its
  // pages cost a run less than blocks made one by one.
  PerParagraph<ItemLinks> itemLinks;

 public:
  // tocLast of the paragraphs whose count is above 0: those near
  // table-of-contents lines, a few in most documents. Kept apart, it leaves
  // an entry a third of its size.
  std::unordered_map<int, std::array<int, 2>> tocLasts;
  std::vector<int> pageStart;  // pageCount + 1 entries
  int lastPage = 0;            // of pageOf's last answer

  // Highest paragraph index of each page already back-marked by the
  // table-of-contents scan (0: none); made by the first back-mark, since a
  // document without a contents table has none.
  std::vector<int> backMarkedTo;
  int& backMarkOf(int page) {
    if (backMarkedTo.empty()) backMarkedTo.assign(static_cast<std::size_t>(pageCount), 0);
    return backMarkedTo[static_cast<std::size_t>(page)];
  }

  // For a page whose top another pass rewrote: its next back-mark starts over.
  void forgetBackMark(int page) {
    if (page >= 0 && static_cast<std::size_t>(page) < backMarkedTo.size()) {
      backMarkedTo[static_cast<std::size_t>(page)] = 0;
    }
  }
};

// Returns the memo for the current model, replacing a stale one in slot.
inline ScanCache& scanCacheFor(ScanCache*& slot, const std::vector<MPPage*>& pages,
                               int pageCount, int threshold,
                               std::map<icu::UnicodeString, int>* maps) {
  if (slot && !slot->matches(pages, pageCount, threshold, maps)) {
    delete slot;
    slot = nullptr;
  }
  if (!slot) slot = new ScanCache(pages, pageCount, threshold, maps);
  return *slot;
}

// Frees the memo; null is fine. Call when the run's model goes away.
inline void deleteScanCache(ScanCache*& slot) {
  delete slot;
  slot = nullptr;
}

}  // namespace Kivrel::internal

#endif  // KIVREL_OUTLINE_SCAN_CACHE_H_

// The memoised scans against plain step-by-step walks on generated documents,
// driven the way the driver's second pass drives them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "outline/scan_cache.h"
#include "outline/scan_fixture.h"
#include "text/char_class.h"
#include "text/toc_line.h"

namespace Kivrel::testing {
namespace {

using Maps = K::HeaderFooterMaps;

// Plain table-of-contents walk, one paragraph at a time.
void plainToc(Kivrant& k, int pageIndex, int paragraphIndex, MPPage* page, MPParagraph* start,
              int threshold, Maps* maps) {
  int pi = pageIndex;
  int ji = paragraphIndex;
  MPParagraph* cur = start;
  int tocLines = 0;
  int emptyRun = 0;
  bool otherSeen = false;
  std::vector<MPParagraph*> pending;
  for (;;) {
    UnicodeString text = cur->text.copy();
    kt::trimStr(text);
    if (text.isEmpty()) {
      if (emptyRun == 3) return;
      ++emptyRun;
    } else {
      emptyRun = 0;
      int pageNo = 0;
      UnicodeString title;
      if (K::isHeaderOrFooter(cur, K::pages(k)[pi], threshold, maps)) {
        pending.push_back(cur);
      } else if (kt::isTocItem(text, pageNo, title)) {
        pending.push_back(cur);
        otherSeen = false;
        if (++tocLines >= 3) {
          for (MPParagraph* p : pending) p->point = kTableOfContents;
          if (pageIndex < 5 || pageIndex < K::pageCount(k) / 15) {
            for (int i = paragraphIndex; i >= 1; --i) page->paragraphs[i]->point = kTableOfContents;
          }
          pending.clear();
        }
      } else {
        if (otherSeen) return;
        otherSeen = true;
        pending.push_back(cur);
      }
    }
    cur = K::getNextParagraph(k, pi, ji, true);
    if (!cur) return;
  }
}

// Plain item walk.
void plainItems(Kivrant& k, int pageIndex, int paragraphIndex, MPParagraph* start, int threshold,
                Maps* maps) {
  int pi = pageIndex;
  int ji = paragraphIndex;
  MPParagraph* cur = start;
  bool first = true;
  int emptyRun = 0;
  unsigned short previous = 0;
  for (;;) {
    UnicodeString text = cur->text.copy();
    kt::trimStr(text);
    if (text.isEmpty()) {
      if (first) return;
      if (++emptyRun == 3) return;
    } else {
      emptyRun = 0;
      int position = 0;
      unsigned short c = kt::getFirstDigit(text, position);
      if (!kt::isParaHeader(c)) return;
      if (K::isHeaderOrFooter(cur, K::pages(k)[pi], threshold, maps)) {
        if (first) return;
      } else if (first) {
        previous = c;
      } else {
        int d = static_cast<int>(c) - static_cast<int>(previous);
        if (!(d == 1 || d == -9 || (kt::isListHeader(previous) && c == previous))) return;
        start->point = kListItem;
        cur->point = kListItem;
        previous = c;
      }
    }
    cur = K::getNextParagraph(k, pi, ji, true);
    if (!cur) return;
    first = false;
  }
}

// Texts that make table-of-contents lines, lists, running headers and
// footers and the breaks between them likely.
const char* const kTexts[] = {
    "",         "  ",       "Intro ..... 3", "1.2 Scope 5", "Terms .... 12", "Part II",
    "Body text", "Contents", "1. A",         "2. B",        "3. C",          "9. x",
    "10. y",    "a) x",     "b) y",          "① one",       "② two",         "○ dot",
    "ア x",     "イ y",     "^Chapter 2",    "^Guide",      "_Page 7",       "^第2章",
    "^1. A ... 4", "_2. B", "● x",           "4. D ... 9",
};

std::vector<PageTexts> generate(std::mt19937& rng) {
  std::uniform_int_distribution<int> pageCount(1, 12);
  std::uniform_int_distribution<int> paraCount(0, 14);
  std::uniform_int_distribution<int> pick(0, sizeof kTexts / sizeof kTexts[0] - 1);
  // Runs of one text make long regions and lists.
  std::bernoulli_distribution repeat(0.3);
  // Some documents are one long page, where back-marks pile up; some have
  // so many short pages that contents found past the first few still
  // take the lines above them.
  const unsigned shape = rng() % 10;
  const bool onePage = shape < 2;
  const bool manyPages = shape == 2;
  std::vector<PageTexts> doc(onePage ? 1 : manyPages ? 90 + rng() % 60 : pageCount(rng));
  std::uniform_int_distribution<int> shortPage(0, 3);
  std::string last = "1. A";
  for (PageTexts& page : doc) {
    int n = onePage ? 80 : manyPages ? shortPage(rng) : paraCount(rng);
    for (int i = 0; i < n; ++i) {
      if (!repeat(rng)) last = kTexts[pick(rng)];
      page.push_back(last);
    }
  }
  return doc;
}

// One pass-2 stand-in: starts both scans at every paragraph that still has a
// non-negative point and, between the calls, writes codes into the paragraph
// and its predecessor as the driver's own tests do, once after title
// detection has rewritten the top of the first page.
void drive(ScanDoc& d, std::mt19937 rng, bool plain) {
  Kivrant& k = d.k;
  std::bernoulli_distribution title(0.3);
  std::bernoulli_distribution rejectPrevious(0.1);
  std::bernoulli_distribution rejectSelf(0.25);
  bool titleDone = false;
  std::vector<MPPage*>& pages = K::pages(k);
  for (int i = 0; i < static_cast<int>(pages.size()); ++i) {
    for (int j = 0; j < static_cast<int>(pages[i]->paragraphs.size()); ++j) {
      MPParagraph* p = pages[i]->paragraphs[j];
      if (p->point < 0) continue;
      // Only a paragraph high enough on the page is taken as the title.
      if (i == 0 && !titleDone && p->cy == kTopCy && title(rng)) {
        titleDone = true;
        K::checkParagraphIsTitle(k, i, j, pages[0], p);
      }
      if (plain) plainToc(k, i, j, pages[i], p, d.threshold, d.maps);
      else K::checkParagraphIsToc(k, i, j, pages[i], p, d.threshold, d.maps);
      int pi = i;
      int pj = j;
      MPParagraph* q = K::getPrevParagraph(k, pi, pj, false);
      if (q && rejectPrevious(rng)) {
        p->point = kTableText;
        q->point = kTableText;
        continue;
      }
      if (plain) plainItems(k, i, j, p, d.threshold, d.maps);
      else K::checkParagraphIsItems(k, i, j, pages[i], p, d.threshold, d.maps);
      if (rejectSelf(rng)) p->point = kSentence;
    }
  }
}

// The two flags' counts share a byte of the memo entry.
TEST(ScanCacheEntry, EachFlagKeepsItsOwnTableOfContentsCount) {
  const int values[] = {internal::ScanCache::kCountUnknown, 0, 1, 2, 3};
  for (int first : values) {
    for (int second : values) {
      for (int order = 0; order < 2; ++order) {
        internal::ScanCache::Entry e;
        const int f = order;  // the flag set first
        if (first != internal::ScanCache::kCountUnknown) e.setTocCount(f, first);
        if (second != internal::ScanCache::kCountUnknown) e.setTocCount(1 - f, second);
        EXPECT_EQ(e.tocCount(f), first) << first << " then " << second << ", order " << order;
        EXPECT_EQ(e.tocCount(1 - f), second) << first << " then " << second << ", order " << order;
        if (first != internal::ScanCache::kCountUnknown) {
          e.setTocCount(f, 0);  // written again, lower
          EXPECT_EQ(e.tocCount(f), 0);
          EXPECT_EQ(e.tocCount(1 - f), second);
        }
      }
    }
  }
}

// A walk's last contents line is kept beside the entries, only for a count
// above 0: random writes must read back as a plain table of them does.
TEST(ScanCacheEntry, TheLastContentsLineFollowsItsFlagAndCount) {
  constexpr int kParagraphs = 4;
  MPPage page(100, 100, false);
  for (int i = 0; i < kParagraphs; ++i) page.paragraphs.push_back(new MPParagraph());
  const std::vector<MPPage*> pages{&page};
  internal::ScanCache cache(pages, 1, 1, nullptr);
  struct Written {
    int count = internal::ScanCache::kCountUnknown;
    int last = internal::ScanCache::kNone;
  } expected[kParagraphs][2];
  std::mt19937 rng(7);
  for (int step = 0; step < 2000; ++step) {
    const int x = static_cast<int>(rng() % kParagraphs);
    const int f = static_cast<int>(rng() % 2);
    const int count = static_cast<int>(rng() % 4);
    const int last = count == 0 ? internal::ScanCache::kNone : static_cast<int>(rng() % 1000);
    cache.setTocWalk(x, f, count, last);
    expected[x][f] = {count, last};
    for (int y = 0; y < kParagraphs; ++y) {
      for (int g = 0; g < 2; ++g) {
        ASSERT_EQ(cache.entries[y].tocCount(g), expected[y][g].count) << step << " " << y << g;
        ASSERT_EQ(cache.tocLast(y, g), expected[y][g].last) << step << " " << y << g;
      }
    }
  }
}

TEST(ScanEquivalence, MemoisedScansMarkWhatPlainWalksMark) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 3000; ++round) {
    std::vector<PageTexts> doc = generate(rng);
    int threshold = 1 + static_cast<int>(rng() % 3);
    std::mt19937 driverRng(rng());

    ScanDoc fast(doc, threshold), plain(doc, threshold);
    drive(fast, driverRng, false);
    drive(plain, driverRng, true);
    ASSERT_EQ(fast.dump(), plain.dump()) << "round " << round;
    for (int band = 0; band < 2; ++band) ASSERT_EQ(fast.maps[band], plain.maps[band]) << round;
  }
}

// The memo must not depend on walks starting in reading order: a walk that
// reaches paragraphs an earlier walk resolved takes their outcome over. The
// table-of-contents walks all run first, since a back-mark takes only the
// driver's own writes between them into account.
TEST(ScanEquivalence, MemoisedScansMatchPlainWalksInAnyStartOrder) {
  std::mt19937 rng(20261209);
  for (int round = 0; round < 2000; ++round) {
    std::vector<PageTexts> doc = generate(rng);
    int threshold = 1 + static_cast<int>(rng() % 3);
    ScanDoc fast(doc, threshold), plain(doc, threshold);
    std::vector<std::pair<int, int>> starts;
    for (int i = 0; i < static_cast<int>(doc.size()); ++i) {
      for (int j = 0; j < static_cast<int>(doc[i].size()); ++j) starts.emplace_back(i, j);
    }
    std::shuffle(starts.begin(), starts.end(), rng);
    for (auto [i, j] : starts) {
      MPPage* page = K::pages(fast.k)[i];
      K::checkParagraphIsToc(fast.k, i, j, page, page->paragraphs[j], fast.threshold, fast.maps);
      page = K::pages(plain.k)[i];
      plainToc(plain.k, i, j, page, page->paragraphs[j], plain.threshold, plain.maps);
    }
    // Codes written between the item walks, as the driver writes them, must
    // not hide items a later walk marks again.
    std::shuffle(starts.begin(), starts.end(), rng);
    std::bernoulli_distribution overwrite(0.3);
    for (auto [i, j] : starts) {
      MPPage* page = K::pages(fast.k)[i];
      K::checkParagraphIsItems(fast.k, i, j, page, page->paragraphs[j], fast.threshold,
                               fast.maps);
      page = K::pages(plain.k)[i];
      plainItems(plain.k, i, j, page->paragraphs[j], plain.threshold, plain.maps);
      if (overwrite(rng)) {
        auto [oi, oj] = starts[rng() % starts.size()];
        K::pages(fast.k)[oi]->paragraphs[oj]->point = kSentence;
        K::pages(plain.k)[oi]->paragraphs[oj]->point = kSentence;
      }
    }
    ASSERT_EQ(fast.dump(), plain.dump()) << "round " << round;
    for (int band = 0; band < 2; ++band) ASSERT_EQ(fast.maps[band], plain.maps[band]) << round;
  }
}

}  // namespace
}  // namespace Kivrel::testing

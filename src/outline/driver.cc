// The extraction run: set-up, the two classification passes, level
// assignment and output, with the host's progress polls between them.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

#include "kivrel/kivrant.h"
#include "model/model.h"
#include "outline/candidates.h"
#include "outline/reason_codes.h"
#include "outline/scan_cache.h"
#include "outline/style_size.h"
#include "text/normalize.h"
#include "text/unit_search.h"

namespace Kivrel {

namespace {

// A text must recur once per 40 pages in its band, but never fewer than 3 or
// more than 6 times, to count as a running header or footer.
constexpr int kPagesPerHeaderRepeat = 40;
constexpr int kMinHeaderFooterThreshold = 3;
constexpr int kMaxHeaderFooterThreshold = 6;

constexpr std::uint32_t kSkippedPage = kPageAfterRefusedTitle | kPageExcluded;

constexpr UChar kIdeographicComma = 0x3001;
constexpr UChar kIdeographicFullStop = 0x3002;
// Opening and closing brackets lie at most this far apart in code units.
constexpr int kBracketPairDistance = 2;

constexpr int kProgressStop = -1;

// Levels run once per run; a run that stops before them must not leave the
// scans' memo behind for the next document.
class ScanCacheScope {
 public:
  explicit ScanCacheScope(internal::ScanCache*& slot) : slot_(slot) {}
  ScanCacheScope(const ScanCacheScope&) = delete;
  ScanCacheScope& operator=(const ScanCacheScope&) = delete;
  ~ScanCacheScope() { internal::deleteScanCache(slot_); }

 private:
  internal::ScanCache*& slot_;
};

int headerFooterThresholdFor(int pageCount) {
  return std::clamp(pageCount / kPagesPerHeaderRepeat, kMinHeaderFooterThreshold,
                    kMaxHeaderFooterThreshold);
}

// Unit by unit: no string is made for the prefix, as this runs for nearly
// every paragraph. charAt past the end gives 0xFFFF, which ends the match.
bool startsWithAscii(const UnicodeString& text, const char* prefix) {
  for (int32_t i = 0; prefix[i] != '\0'; ++i) {
    if (text.charAt(i) != static_cast<unsigned char>(prefix[i])) return false;
  }
  return true;
}

// URLs, mail addresses, and texts that open with ":\" or ":/". The path form
// looks only at the first two code units: a drive-letter path ("C:\...") is
// not caught by it.
bool looksLikeLinkOrPath(const UnicodeString& text) {
  if (startsWithAscii(text, "http:") || startsWithAscii(text, "https:") ||
      startsWithAscii(text, "ftp:") || startsWithAscii(text, "file:")) {
    return true;
  }
  if (startsWithAscii(text, ":\\") || startsWithAscii(text, ":/")) return true;
  const text::Units units(text);
  const int32_t at = text::findUnit(units, u'@');
  return at >= 0 && text::findUnit(units, u'.', at) >= 0;
}

}  // namespace

int Kivrant::extractMain(std::istream& input, KivOutlineList& result, KivSettings* settings) {
  ScanCacheScope scanScope(scanCache);

  // Without settings: the defaults, but no title detection and no indent
  // refinement.
  KivSettings fallback;
  std::map<int, int> excludedPageMap;
  if (settings) {
    analyzePageArea(settings->excludePages, excludedPageMap);
  } else {
    fallback.flags = kKeepCommas;
    settings = &fallback;
  }
  const int flags = settings->flags;
  const int maxLength = settings->maxLength;
  const bool tocDocument = flags & kTocDocument;

  analyzePages(input);
  setExcludePages(excludedPageMap);

  // Body text: the style used most often; ties keep the earlier one.
  int bodyStyleIndex = 0;
  int bestCount = 0;
  for (std::size_t s = 0; s < styleTable.size(); ++s) {
    if (styleTable[s]->useCount > bestCount) {
      bestCount = styleTable[s]->useCount;
      bodyStyleIndex = static_cast<int>(s);
    }
  }
  const int headerFooterThreshold = headerFooterThresholdFor(pageCount);

  std::map<UnicodeString, int> headerFooterMaps[2];
  std::vector<int> pointArray;
  std::vector<int> indentLists[3];
  MPParagraph* titleCandidate = nullptr;
  int titleSize = 0;

  auto stopRequested = [this] {
    return progressHandler && progressHandler->onProgress() == kProgressStop;
  };

  // Pass 1: empty paragraphs, the title candidate, header/footer counts.
  for (int i = 0; i < pageCount; ++i) {
    MPPage* page = pages[static_cast<std::size_t>(i)];
    for (MPParagraph* paragraph : page->paragraphs) {
      if (text::trimsToEmpty(paragraph->text.units(), paragraph->text.length())) {
        paragraph->point = kEmptyText;
        continue;
      }
      if ((flags & kDetectTitle) && i == 0 && !(page->flags & kPageExcluded) &&
          paragraph->tableCells <= 1) {
        int size = internal::styleSize(styleTable, paragraph->styleIndex);
        if (size >= titleSize) {
          titleCandidate = paragraph;
          titleSize = size;
        }
      }
      isHeaderOrFooter(paragraph, page, 0, headerFooterMaps);
    }
  }

  if (stopRequested()) return kProgressStop;

  internal::Candidates inTheRunning(pages);
  internal::CandidatesScope candidatesScope(candidates, inTheRunning);
  // The per-paragraph tests of pass 2; a return leaves the paragraph with
  // the point it has then.
  auto classify = [&](int i, int j, MPPage* page, MPParagraph* paragraph) {
    if (paragraph == titleCandidate) {
      paragraph->point = kRefusedTitle;
      if (!checkParagraphIsTitle(i, j, page, paragraph)) return;
    }
    if (!tocDocument) {
      checkParagraphIsToc(i, j, page, paragraph, headerFooterThreshold, headerFooterMaps);
    }
    if (paragraph->tableCells > 1) {
      paragraph->point = kTableText;
      return;
    }
    MPParagraph* previous = getPrevParagraph(i, j, false);
    if (!previous) return;
    // A one-cell row right after table text belongs to the same table.
    if (paragraph->tableCells == 1 && previous->tableCells > 0) {
      paragraph->point = kTableText;
      previous->point = kTableText;
      return;
    }
    if (!tocDocument) {
      checkParagraphIsItems(i, j, page, paragraph, headerFooterThreshold, headerFooterMaps);
    }

    const UnicodeString work =
        text::trimmedView(paragraph->text.units(), paragraph->text.length());
    const int n = work.length();
    const UChar first = work.charAt(0);
    const UChar last = work.charAt(n - 1);

    const text::Units workUnits(work);
    if (!(flags & kKeepCommas) && text::findUnit(workUnits, kIdeographicComma) >= 0) {
      paragraph->point = kSentence;
      return;
    }
    // The final unit first, and the full stop searched from the end: body
    // text mostly ends in one or the other, so most sentences cost no scan.
    if (!(flags & kKeepSentences) &&
        (isPeriod(last) || text::findLastUnit(workUnits, kIdeographicFullStop) >= 0)) {
      paragraph->point = kSentence;
      return;
    }
    if (!(flags & kKeepParenthesised) && isParenthesis(last) && isParenthesis(first) &&
        std::abs(static_cast<int>(last) - static_cast<int>(first)) <= kBracketPairDistance) {
      paragraph->point = kParenthesised;
      return;
    }
    if (!tocDocument) {
      // Two equal leading units ("--", "**") are a rule or emphasis, not a bullet.
      const UChar second = work.charAt(1);
      if (first != second && isListHeader(first)) {
        paragraph->point = kListItem;
        return;
      }
      if (looksLikeLinkOrPath(work)) {
        paragraph->point = kLinkOrPath;
        return;
      }
      if (n >= maxLength) {
        paragraph->point = kTooLong;
        return;
      }
      if (!styleTable.empty() &&
          internal::styleSize(styleTable, paragraph->styleIndex) <
              internal::styleSize(styleTable, bodyStyleIndex)) {
        paragraph->point = kSmallerThanBody;
        return;
      }
    }
    int symbols = 0;
    while (symbols < n && (isSpace(work.charAt(symbols)) || isSymbol(work.charAt(symbols)))) {
      ++symbols;
    }
    if (symbols == n) paragraph->point = kSymbolsOnly;
  };

  // Pass 2: region detectors and the per-paragraph tests.
  std::size_t nextPageStart = 0;  // reading-order position of a page's first paragraph
  for (int i = 0; i < pageCount; ++i) {
    MPPage* page = pages[static_cast<std::size_t>(i)];
    const std::size_t pageStart = nextPageStart;
    nextPageStart += page->paragraphs.size();
    if (page->flags & kSkippedPage) continue;
    const int paragraphCount = static_cast<int>(page->paragraphs.size());
    for (int j = 0; j < paragraphCount; ++j) {
      MPParagraph* paragraph = page->paragraphs[static_cast<std::size_t>(j)];
      if (paragraph->point < 0) continue;
      // Read again for every paragraph: a refused title skips the rest of its page.
      if (page->flags & kSkippedPage) continue;

      classify(i, j, page, paragraph);
      if (paragraph->point > 0) inTheRunning.add(pageStart + static_cast<std::size_t>(j));
    }
  }

  if (stopRequested()) return kProgressStop;

  setupOutlineLevel(pointArray, indentLists, settings);

  if (stopRequested()) return kProgressStop;

  outputResult(result, settings, pointArray, headerFooterThreshold, headerFooterMaps);
  return 0;
}

}  // namespace Kivrel

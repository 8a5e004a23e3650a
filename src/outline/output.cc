// The last stage of a run: final filters, one outline item per surviving
// paragraph, and a log line for every dropped one.
#include <unicode/uchar.h>

#include <optional>
#include <ostream>

#include "kivrel/kivrant.h"
#include "model/list_new.h"
#include "model/log_text.h"
#include "model/model.h"
#include "model/wrapping.h"
#include "outline/candidates.h"
#include "outline/log_lines.h"
#include "outline/point_info_map.h"
#include "outline/point_table.h"
#include "outline/reason_codes.h"
#include "outline/style_size.h"
#include "text/normalize.h"

namespace Kivrel {

namespace {

// Headings start with the second-smallest point in use (the smallest is
// usually plain text).
int startThreshold(const std::vector<int>& pointArray) {
  if (pointArray.empty()) return 0;
  if (pointArray.size() == 1) return pointArray[0];
  return pointArray[1];
}

// A point below the numbering points used at least this often, and on at
// least 1.5 times as many paragraphs as there are pages, is body text.
constexpr int kFrequentPointLimit = 200;
constexpr int kFrequentMinCount = 20;
constexpr double kFrequentPerPage = 1.5;
// Before the outline starts, lines in the first fifth of the pages are front matter.
constexpr double kFrontMatterFraction = 0.2;
// Text this large is never a running header or footer.
constexpr int kMaxHeaderFooterSize = 250;

}  // namespace

void Kivrant::outputResult(KivOutlineList& result, KivSettings* settings,
                           std::vector<int>& pointArray, int headerFooterThreshold,
                           std::map<UnicodeString, int>* headerFooterMaps) {
  const bool tocDocument = settings->flags & kTocDocument;
  const int threshold = startThreshold(pointArray);
  const int frontMatterPages = static_cast<int>(pageCount * kFrontMatterFraction);
  bool started = false;
  // Without a log or a verdict handler a dropped paragraph shows nowhere, so
  // one an earlier pass rejected need not be looked at; a contents document
  // does not drop such paragraphs.
  const bool silentDrops = !logStream && !verdictHandler && !tocDocument;
  // Page-number fields that the converter leaves as plain text.
  const UnicodeString pageWord("page", -1, US_INV);
  const UnicodeString pageNoWord("pageno", -1, US_INV);
  // Made at the first contents line without a page number.
  std::optional<internal::PointTable> points;

  auto visit = [&](int i, MPPage* page, int j, MPParagraph* paragraph) {
    if (silentDrops && paragraph->point < kPlainPoint) return;
    if (text::trimsToEmpty(paragraph->text.units(), paragraph->text.length())) return;

    auto report = [&](bool accepted, int value) {
      if (!verdictHandler) return;
      KivParagraphVerdict verdict;
      verdict.pageNo = i + 1;
      verdict.paragraphIndex = j;
      verdict.cx = paragraph->cx;
      verdict.cy = paragraph->cy;
      verdict.charSize = internal::styleSize(styleTable, paragraph->styleIndex);
      verdict.styleFlags = internal::styleFlags(styleTable, paragraph->styleIndex);
      verdict.tableCells = paragraph->tableCells;
      verdict.accepted = accepted;
      verdict.value = value;
      verdict.text = paragraph->text.copy();
      verdictHandler->onVerdict(verdict);
    };
    auto drop = [&](int code) {
      if (logStream) {
        *logStream << internal::kLogDropLead << code << internal::kLogDropOpen;
        internal::writeLogText(*logStream, paragraph->text.view());
        *logStream << internal::kLogDropClose;
      }
      report(false, code);
    };

    if (page->flags & kPageAfterRefusedTitle) {
      drop(kAfterRefusedTitle);
      return;
    }
    if (page->flags & kPageExcluded) {
      drop(kExcludedPage);
      return;
    }
    if (!tocDocument) {
      if (paragraph->point < kPlainPoint) {
        drop(paragraph->point);
        return;
      }
      if (paragraph->point < kFrequentPointLimit) {
        const PointInfo* info = pointInfoMap ? pointInfoMap->find(paragraph->point) : nullptr;
        if (info && info->count >= kFrequentMinCount &&
            !(pageCount * kFrequentPerPage > info->count)) {
          drop(kPointTooFrequent);
          return;
        }
      }
      if (!started) {
        if (paragraph->point >= threshold || i >= frontMatterPages) {
          started = true;
        } else {
          drop(kBeforeOutlineStart);
          return;
        }
      }
    }
    if (internal::styleSize(styleTable, paragraph->styleIndex) <= kMaxHeaderFooterSize &&
        isHeaderOrFooter(paragraph, page, headerFooterThreshold, headerFooterMaps)) {
      drop(kRunningHeaderFooter);
      return;
    }

    UnicodeString label = paragraph->text.copy();
    trimStr(label);
    int pageNo = i + 1;
    if (tocDocument) {
      if (label.caseCompare(pageWord, U_FOLD_CASE_DEFAULT) == 0 ||
          label.caseCompare(pageNoWord, U_FOLD_CASE_DEFAULT) == 0) {
        drop(kNotATocEntry);
        return;
      }
      if (isTocItem(label, pageNo, label)) {
        pageNo = internal::wrapAdd(pageNo, settings->pageOffset);
      } else {
        if (!points) points.emplace(pointArray, pointInfoMap, styleTable);
        paragraph->point = points->place(paragraph->styleIndex, paragraph->point, true);
        pageNo = 0;
      }
      if (label.isEmpty()) {
        drop(kNotATocEntry);
        return;
      }
      paragraph->cx = 0;
      paragraph->cy = 0;
    }
    internal::listNew(result.items, [&] {
      return new KivOutlineItem(pageNo, paragraph->point, label,
                                static_cast<float>(paragraph->cx),
                                static_cast<float>(paragraph->cy));
    });
    report(true, paragraph->point);
  };

  if (silentDrops && candidates) {
    // Every paragraph left off the list is rejected and would be dropped
    // unseen.
    candidates->forEach(pages, visit);
    return;
  }
  for (int i = 0; i < static_cast<int>(pages.size()); ++i) {
    MPPage* page = pages[static_cast<std::size_t>(i)];
    if (logStream) *logStream << internal::kLogPageLead << (i + 1) << internal::kLogPageTail;
    const int paragraphCount = static_cast<int>(page->paragraphs.size());
    for (int j = 0; j < paragraphCount; ++j) {
      visit(i, page, j, page->paragraphs[static_cast<std::size_t>(j)]);
    }
  }
}

}  // namespace Kivrel

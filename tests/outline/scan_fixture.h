// Small documents for the scan tests, read into an extractor's model, and a
// stand-in for the driver's first pass.
#ifndef KIVREL_TESTS_OUTLINE_SCAN_FIXTURE_H_
#define KIVREL_TESTS_OUTLINE_SCAN_FIXTURE_H_

#include <unicode/unistr.h>

#include <map>
#include <string>
#include <vector>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "outline/reason_codes.h"
#include "support/doc_builder.h"
#include "text/normalize.h"

namespace Kivrel::testing {

using K = KivrantInternals;
namespace kt = Kivrel::text;

constexpr int kBodyCy = 5000;
constexpr int kTopCy = 0;
constexpr int kBottomCy = 16000;

// One page per inner vector. A leading '^' puts the paragraph in the top
// band, '_' in the bottom band; everything else sits in the body.
using PageTexts = std::vector<std::string>;

inline void buildModel(Kivrant& k, const std::vector<PageTexts>& doc) {
  DocBuilder b;
  for (const PageTexts& texts : doc) {
    b.page();
    for (const std::string& t : texts) {
      const bool banded = !t.empty() && (t[0] == '^' || t[0] == '_');
      const int cy = !banded ? kBodyCy : t[0] == '^' ? kTopCy : kBottomCy;
      b.para(banded ? t.substr(1) : t, {.cy = cy});
    }
  }
  loadModel(k, b.build());
}

// What pass 1 does before the scans run: empty paragraphs get their code and
// every other one is counted in its band.
inline void countBands(Kivrant& k, K::HeaderFooterMaps* maps) {
  for (MPPage* page : K::pages(k)) {
    for (MPParagraph* p : page->paragraphs) {
      icu::UnicodeString t = p->text.copy();
      kt::trimStr(t);
      if (t.isEmpty()) {
        p->point = kEmptyText;
        continue;
      }
      K::isHeaderOrFooter(p, page, 0, maps);
    }
  }
}

class ScanDoc {
 public:
  explicit ScanDoc(const std::vector<PageTexts>& doc, int threshold = 3) : threshold(threshold) {
    buildModel(k, doc);
    countBands(k, maps);
  }
  ~ScanDoc() { releaseModel(k); }

  void toc(int page, int para) {
    K::checkParagraphIsToc(k, page, para, K::pages(k)[page], paragraph(page, para), threshold,
                           maps);
  }
  void items(int page, int para) {
    K::checkParagraphIsItems(k, page, para, K::pages(k)[page], paragraph(page, para), threshold,
                             maps);
  }
  MPParagraph* paragraph(int page, int para) { return K::pages(k)[page]->paragraphs[para]; }
  // Points of every paragraph, pages separated by '|'.
  std::string dump() {
    std::string out;
    for (MPPage* page : K::pages(k)) {
      if (!out.empty()) out += "| ";
      for (MPParagraph* p : page->paragraphs) out += std::to_string(p->point) + " ";
    }
    return out;
  }
  std::vector<int> pagePoints(int page) {
    std::vector<int> out;
    for (MPParagraph* p : K::pages(k)[page]->paragraphs) out.push_back(p->point);
    return out;
  }

  Kivrant k;
  K::HeaderFooterMaps maps[2];
  int threshold;
};

}  // namespace Kivrel::testing

#endif  // KIVREL_TESTS_OUTLINE_SCAN_FIXTURE_H_

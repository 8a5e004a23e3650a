#include "converted_doc.h"

#include <sstream>
#include <stdexcept>

#include "interface/kivrant_internals.h"
#include "kivrel/kivrant.h"
#include "kivrel/pdf.h"
#include "model/model.h"
#include "support/doc_builder.h"

namespace Kivrel::testing {

std::vector<std::string> ConvertedDoc::texts() const {
  std::vector<std::string> out;
  for (const ConvertedParagraph& p : paragraphs) out.push_back(p.text);
  return out;
}

const ConvertedParagraph& ConvertedDoc::find(const std::string& text) const {
  for (const ConvertedParagraph& p : paragraphs) {
    if (p.text == text) return p;
  }
  throw std::out_of_range("no paragraph |" + text + "|");
}

ConvertedDoc convertPdf(const std::string& pdfBytes) {
  ConvertedDoc doc;
  std::ostringstream out(std::ios::binary);
  convertPdfToRecords(pdfBytes, out);
  doc.records = out.str();
  Kivrant k;
  loadModel(k, doc.records);
  const auto& styles = KivrantInternals::styleTable(k);
  int empties = 0;
  int pageNo = 0;
  for (const MPPage* page : KivrantInternals::pages(k)) {
    ++pageNo;
    doc.pages.push_back({page->width, page->height});
    for (const MPParagraph* p : page->paragraphs) {
      std::string text;
      p->text.toUTF8String(text);
      if (text.empty()) {
        ++empties;
        continue;
      }
      ConvertedParagraph c;
      c.page = pageNo;
      c.text = text;
      if (p->styleIndex >= 0 && static_cast<std::size_t>(p->styleIndex) < styles.size()) {
        const StyleEntry& style = *styles[p->styleIndex];
        c.charSize = style.charSize();
        c.bold = (style.flag() & 0x4) != 0;
        c.emphasis = style.value56() != 0;
      }
      c.tableCells = p->tableCells;
      c.cx = p->cx;
      c.cy = p->cy;
      doc.paragraphs.push_back(c);
      doc.emptyRuns.push_back(empties);
      empties = 0;
    }
  }
  releaseModel(k);
  return doc;
}

}  // namespace Kivrel::testing

// Test support: record stream builder, log bytes, model dump.
#include "support/doc_builder.h"

#include <unicode/unistr.h>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "model/model_release.h"

namespace Kivrel::testing {

namespace {

constexpr std::int32_t kLineStep = 400;
constexpr std::int32_t kCellStep = 3000;

}  // namespace

DocBuilder::DocBuilder() : writer_(out_) {}

DocBuilder& DocBuilder::page(std::int32_t width, std::int32_t height, bool specialSection) {
  SectionFields f;
  f.sectionFlags = specialSection ? 0x80u : 0u;
  f.width = width;
  f.height = height;
  writer_.section(f);
  pageHeight_ = height;
  lastCy_.reset();
  return *this;
}

DocBuilder& DocBuilder::pageBreak() {
  writer_.pageBreak();
  lastCy_.reset();
  return *this;
}

void DocBuilder::characterFormat(const Para& opts) {
  if (!opts.charFormat) return;
  CharacterFormatFields c;
  c.flag = opts.flag | (opts.bold ? charformat::kBoldFlag : 0u);
  c.charSize = opts.size;
  writer_.characterFormat(c);
}

std::int32_t DocBuilder::nextCy(const Para& opts) {
  std::int32_t cy = opts.cy ? *opts.cy : lastCy_ ? *lastCy_ + kLineStep : pageHeight_ / 5;
  lastCy_ = cy;
  return cy;
}

DocBuilder& DocBuilder::para(std::string_view utf8, const Para& opts) {
  ParagraphFormatFields pf;
  pf.charSize = opts.size;
  writer_.paragraphFormat(pf);
  characterFormat(opts);
  if (opts.position) {
    std::int32_t cy = nextCy(opts);
    writer_.paragraphPosition(opts.cx, cy);
  }
  return text(utf8);
}

DocBuilder& DocBuilder::run(std::string_view utf8, const Para& opts) {
  characterFormat(opts);
  return text(utf8);
}

DocBuilder& DocBuilder::row(const std::vector<std::string>& cells, const Para& opts) {
  writer_.tableRowFormat(opts.tableCells ? *opts.tableCells
                                         : static_cast<std::int32_t>(cells.size()));
  Para cell = opts;
  cell.cy = nextCy(opts);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    cell.cx = opts.cx + kCellStep * static_cast<std::int32_t>(i);
    para(cells[i], cell);
    writer_.cellEnd();
  }
  writer_.tableRowEnd();
  return *this;
}

DocBuilder& DocBuilder::text(std::string_view utf8) {
  std::size_t start = 0;
  for (;;) {
    std::size_t t = utf8.find('\t', start);
    std::string_view piece = utf8.substr(start, t == std::string_view::npos ? t : t - start);
    if (!piece.empty()) writer_.textUtf8(piece);
    if (t == std::string_view::npos) break;
    writer_.tab();
    start = t + 1;
  }
  return *this;
}

std::string sjis(const char* utf8) {
  const icu::UnicodeString u = icu::UnicodeString::fromUTF8(utf8);
  const int32_t n = u.extract(0, u.length(), nullptr, 0, "windows-31j");
  std::string out(static_cast<std::size_t>(n), '\0');
  u.extract(0, u.length(), out.data(), n, "windows-31j");
  return out;
}

void loadModel(Kivrant& k, const std::string& bytes) {
  std::istringstream in(bytes, std::ios::binary);
  KivrantInternals::analyzePages(k, in);
}

void releaseModel(Kivrant& k) { internal::releaseModel(k); }

std::string dumpModel(Kivrant& k, bool skipEmpty) {
  std::ostringstream out;
  std::vector<MPPage*>& pages = KivrantInternals::pages(k);
  for (std::size_t p = 0; p < pages.size(); ++p) {
    for (std::size_t i = 0; i < pages[p]->paragraphs.size(); ++i) {
      const MPParagraph* para = pages[p]->paragraphs[i];
      if (skipEmpty && para->text.isEmpty()) continue;
      std::string text;
      para->text.view().toUTF8String(text);
      out << (p + 1) << ':' << i << " pt=" << para->point << " cells=" << para->tableCells
          << " cx=" << para->cx << " cy=" << para->cy << " style=" << para->styleIndex << " |"
          << text << "|\n";
    }
  }
  return out.str();
}

std::string itemLine(int page, int point, const icu::UnicodeString& text, long cx, long cy) {
  std::string utf8;
  text.toUTF8String(utf8);
  return std::to_string(page) + ' ' + std::to_string(point) + " |" + utf8 + "| " +
         std::to_string(cx) + ',' + std::to_string(cy) + '\n';
}

std::string itemLines(const KivOutlineList& list) {
  std::string lines;
  for (const KivOutlineItem* i : list.items) {
    lines += itemLine(i->pageNo, i->point, i->text, i->cx, i->cy);
  }
  return lines;
}

}  // namespace Kivrel::testing

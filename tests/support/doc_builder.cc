// Test support: record stream builder, log byte conversion, model dump.
#include "support/doc_builder.h"

#include <unicode/ucnv.h>

#include <memory>
#include <stdexcept>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "model/model_release.h"

namespace Kivrel::testing {

namespace {

constexpr std::int32_t kLineStep = 400;
constexpr std::int32_t kCellStep = 3000;
constexpr std::uint32_t kBold = 0x4;

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

std::unique_ptr<UConverter, ConverterCloser> openSjis() {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, ConverterCloser> c(ucnv_open("windows-31j", &status));
  if (U_FAILURE(status)) throw std::runtime_error("windows-31j converter unavailable");
  return c;
}

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
  c.flag = opts.flag | (opts.bold ? kBold : 0u);
  c.charSize = opts.size;
  c.value56 = opts.value56;
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
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(utf8);
  auto c = openSjis();
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_fromUChars(c.get(), nullptr, 0, u.getBuffer(), u.length(), &status);
  std::string out(static_cast<std::size_t>(n), '\0');
  status = U_ZERO_ERROR;
  ucnv_fromUChars(c.get(), out.data(), n, u.getBuffer(), u.length(), &status);
  return out;
}

std::string logToUtf8(const std::string& bytes) {
  auto c = openSjis();
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString u(bytes.data(), static_cast<int32_t>(bytes.size()), c.get(), status);
  std::string out;
  u.toUTF8String(out);
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
      para->text.toUTF8String(text);
      out << (p + 1) << ':' << i << " pt=" << para->point << " cells=" << para->tableCells
          << " cx=" << para->cx << " cy=" << para->cy << " style=" << para->styleIndex << " |"
          << text << "|\n";
    }
  }
  return out.str();
}

}  // namespace Kivrel::testing

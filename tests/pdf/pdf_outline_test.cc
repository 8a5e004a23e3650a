// End to end: PDFs drawn like real reports, converted and extracted.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kivrel/kivrant.h"
#include "kivrel/outline.h"
#include "kivrel/pdf.h"
#include "kivrel/settings.h"
#include "pdf/pdf_maker.h"

namespace Kivrel::testing {
namespace {

// "page: text" of one outline entry.
using Heading = std::string;

Heading heading(int page, const std::string& text) { return std::to_string(page) + ": " + text; }

struct Style {
  Font chapter;
  Font section;
  Font body;
  std::string sentence;  // body text, ends with a full stop
  std::vector<std::string> texts;  // the title, then the headings
};

const Style kWestern = {
    {"DejaVu Sans", 18, true},
    {"DejaVu Sans", 13, true},
    {"DejaVu Serif", 10, false},
    "The method reads every page of the report and keeps the lines that look like headings "
    "while the running text between them is left out of the outline.",
    {"Reading Outlines from Reports", "1 Introduction", "1.1 Background", "1.2 Scope", "2 Method",
     "2.1 Reading pages", "2.2 Grouping lines", "3 Results", "3.1 Accuracy"}};

const Style kJapanese = {
    {"IPAGothic", 18, false},
    {"IPAGothic", 14, false},
    {"IPAMincho", 10.5, false},
    "本章では文書の構成を読み取る手順を述べ、見出しと本文を区別する方法を説明します。",
    {"報告書の見出しを読む", "第1章 はじめに", "1.1 背景", "1.2 目的", "第2章 方法",
     "2.1 ページの読み取り", "2.2 行のまとめ方", "第3章 結果", "3.1 精度"}};

// Pages of a report: "#" a chapter heading, "=" a section heading, "." a
// paragraph of body text.
const char* const kPages[] = {"#.=.", ".=..", "#.=.", ".=..", "#.=."};

// A title block, then the pages with the style's headings in turn and a
// page number at the foot of each. Adds the outline entries it drew.
std::string report(const Style& style, std::vector<Heading>& headings) {
  PdfMaker pdf;
  pdf.text(style.texts[0], 72, 90, {style.chapter.family, 24, style.chapter.bold});
  pdf.text("2026-12-06", 72, 120, style.body);
  auto text = style.texts.begin() + 1;
  for (int page = 0; page < static_cast<int>(std::size(kPages)); ++page) {
    if (page > 0) pdf.newPage();
    double y = page == 0 ? 200 : 90;
    for (const char* line = kPages[page]; *line; ++line) {
      if (*line == '.') {
        y = pdf.wrap(style.sentence + " " + style.sentence, 72, y + 4, 420,
                     style.body.size * 1.4, style.body);
        continue;
      }
      const Font& font = *line == '#' ? style.chapter : style.section;
      y += font.size;
      pdf.text(*text, 72, y, font);
      y += font.size * 1.5;
      headings.push_back(heading(page + 1, *text++));
    }
    pdf.text(std::to_string(page + 1), 290, 800, style.body);
  }
  return pdf.finish();
}

std::vector<Heading> outlineOf(const std::string& pdfBytes) {
  std::stringstream records(std::ios::in | std::ios::out | std::ios::binary);
  convertPdfToRecords(pdfBytes, records);
  Kivrant k;
  KivOutlineList list;
  KivSettings settings;
  EXPECT_EQ(k.extract(records, list, &settings), 0);
  std::vector<Heading> out;
  for (int i = 0; i < list.getCount(); ++i) {
    std::string text;
    list.getAt(i)->getString().toUTF8String(text);
    out.push_back(heading(list.getAt(i)->getPageNo(), text));
  }
  return out;
}

TEST(PdfOutline, ReportYieldsExactlyItsHeadings) {
  for (const Style* style : {&kWestern, &kJapanese}) {
    std::vector<Heading> headings;
    const std::string pdf = report(*style, headings);
    EXPECT_EQ(outlineOf(pdf), headings) << style->texts[0];
  }
}

}  // namespace
}  // namespace Kivrel::testing

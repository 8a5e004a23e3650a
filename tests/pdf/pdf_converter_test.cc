#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "interface/kivrant_internals.h"
#include "kivrel/kivrant.h"
#include "kivrel/pdf.h"
#include "model/model.h"
#include "pdf/pdf_maker.h"
#include "pdf_converter.h"
#include "support/doc_builder.h"

namespace Kivrel::testing {
namespace {

using PageSizes = std::vector<std::pair<std::int32_t, std::int32_t>>;

// What the outline passes will see: the stream read back by the library's
// own record reader. Only non-empty paragraphs are listed.
struct ConvertedParagraph {
  int page = 0;  // from 1
  std::string text;
  std::string style;  // e.g. "36bi|3": 18 pt, bold, italic, 3 cells
  std::int32_t cx = 0;
  std::int32_t cy = 0;
  int emptyBefore = 0;  // empty paragraphs right before it
};

struct ConvertedDoc {
  PageSizes pageSizes;
  std::vector<ConvertedParagraph> paragraphs;

  // "style text" of every paragraph.
  std::vector<std::string> summary() const {
    std::vector<std::string> out;
    for (const ConvertedParagraph& p : paragraphs) out.push_back(p.style + " " + p.text);
    return out;
  }
};

ConvertedDoc convertPdf(const std::string& pdfBytes) {
  std::ostringstream out(std::ios::binary);
  convertPdfToRecords(pdfBytes, out);
  Kivrant k;
  loadModel(k, out.str());
  const auto& styles = KivrantInternals::styleTable(k);
  ConvertedDoc doc;
  int empties = 0;
  for (const MPPage* page : KivrantInternals::pages(k)) {
    doc.pageSizes.emplace_back(page->width, page->height);
    for (const MPParagraph* p : page->paragraphs) {
      ConvertedParagraph c{static_cast<int>(doc.pageSizes.size()), "", "", p->cx, p->cy, empties};
      p->text.view().toUTF8String(c.text);
      if (c.text.empty()) {
        ++empties;
        continue;
      }
      empties = 0;
      if (static_cast<std::size_t>(p->styleIndex) < styles.size()) {
        const auto& s = *styles[p->styleIndex];
        c.style += std::to_string(s.charSize()) + (s.flag() & 0x4 ? "b" : "") +
                   (s.value56() != 0 ? "i" : "");
      }
      if (p->tableCells) c.style += "|" + std::to_string(p->tableCells);
      doc.paragraphs.push_back(c);
    }
  }
  releaseModel(k);
  return doc;
}

constexpr int kTwips = 20;

const std::string kBody =
    "Lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor incididunt "
    "ut labore et dolore magna aliqua ut enim ad minim veniam quis nostrud exercitation";

TEST(PdfConverter, HeadingsAndBodyKeepTheirSizesWeightsPositionsAndGaps) {
  PdfMaker pdf;
  pdf.text("1 Introduction", 72, 100, {"DejaVu Sans", 18, true});
  double y = pdf.wrap(kBody, 72, 250, 300, 12, {"DejaVu Sans", 10});
  pdf.text("1.1 Scope", 90, y + 14, {"DejaVu Serif", 14, true});
  y = pdf.wrap(kBody, 72, y + 36, 300, 12, {"DejaVu Serif", 10});
  pdf.text("A remark", 72, y + 14, {"DejaVu Serif", 12, false, true});
  const ConvertedDoc doc = convertPdf(pdf.finish());

  ASSERT_EQ(doc.summary(), (std::vector<std::string>{"36b 1 Introduction", "20 " + kBody,
                                                      "28b 1.1 Scope", "20 " + kBody,
                                                      "24i A remark"}));
  const int left[] = {72, 72, 90, 72, 72};
  // A gap of many lines counts as three empty paragraphs; a line's gap as one.
  const int empties[] = {0, 3, 0, 0, 1};
  for (std::size_t i = 0; i < std::size(left); ++i) {
    EXPECT_NEAR(doc.paragraphs[i].cx, left[i] * kTwips, 20) << doc.paragraphs[i].text;
    EXPECT_EQ(doc.paragraphs[i].emptyBefore, empties[i]) << doc.paragraphs[i].text;
  }
  // cy is the top of the first line: between the baseline and an em above.
  EXPECT_LE(doc.paragraphs[0].cy, 100 * kTwips);
  EXPECT_GE(doc.paragraphs[0].cy, (100 - 18) * kTwips);
  EXPECT_LE(doc.paragraphs[1].cy, 250 * kTwips);
  EXPECT_GE(doc.paragraphs[1].cy, (250 - 10) * kTwips);
}

TEST(PdfConverter, JapaneseLinesJoinWithoutSpaces) {
  const std::string body =
      "本書は文書の見出しを抽出する方法について説明する。見出しは文字の大きさと番号から判定され"
      "る。本文は明朝体で組まれている。";
  const std::string next = "次の段落は一字下げで始まり、前の段落とは別の段落になる。";
  PdfMaker pdf;
  pdf.text("第1章 概要", 72, 100, {"IPAGothic", 16});
  double y = pdf.wrap(body, 72, 130, 200, 16, {"IPAMincho", 10.5});
  pdf.wrap("\u3000" + next, 72, y, 200, 16, {"IPAMincho", 10.5});
  // 𠮟 (U+20B9F) lies outside the BMP: it must come out as a surrogate pair.
  pdf.text("1.1 𠮟責の背景", 72, 300, {"IPAGothic", 13});
  // IPA fonts have no bold face; these weights are regular.
  EXPECT_EQ(convertPdf(pdf.finish()).summary(),
            (std::vector<std::string>{"32 第1章 概要", "21 " + body, "21 " + next,
                                      "26 1.1 𠮟責の背景"}));
}

TEST(PdfConverter, TwoColumnPageReadsLeftColumnBeforeRightColumn) {
  PdfMaker pdf;
  pdf.text("A Study of Two Columns", 150, 80, {"DejaVu Sans", 20, true});
  const std::string left[] = {"Left one " + kBody, "Left two " + kBody};
  const std::string right[] = {"Right one " + kBody, "Right two " + kBody};
  double yl = 130;
  double yr = 130;
  for (int i = 0; i < 2; ++i) {
    yl = pdf.wrap(left[i], 50, yl, 230, 12) + 8;
    yr = pdf.wrap(right[i], 315, yr, 230, 12) + 8;
  }
  EXPECT_EQ(convertPdf(pdf.finish()).summary(),
            (std::vector<std::string>{"40b A Study of Two Columns", "20 " + left[0], "20 " + left[1],
                                      "20 " + right[0], "20 " + right[1]}));
}

TEST(PdfConverter, CellsSideBySideBecomeTableRows) {
  PdfMaker pdf;
  pdf.text("Results", 72, 90, {"DejaVu Sans", 14, true});
  const char* cells[3][3] = {{"Name", "Size", "Weight"},
                             {"Alpha", "12 pt", "bold"},
                             {"Beta", "10 pt", "regular"}};
  std::vector<std::string> expected = {"28b Results"};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      pdf.text(cells[row][col], 72 + 150 * col, 120 + 16 * row);
      expected.push_back(std::string("20|3 ") + cells[row][col]);
    }
  }
  pdf.wrap(kBody, 72, 200, 300, 12);
  expected.push_back("20 " + kBody);
  const ConvertedDoc doc = convertPdf(pdf.finish());

  ASSERT_EQ(doc.summary(), expected);
  for (int i = 1; i < 10; ++i) {
    EXPECT_NEAR(doc.paragraphs[i].cx, (72 + 150 * ((i - 1) % 3)) * kTwips, 20) << i;
  }
}

TEST(PdfConverter, EveryPageBecomesASectionOfItsSizeOrAnEmptyOne) {
  PdfMaker pdf;
  pdf.text("on A4", 72, 72).newPage(612, 792).newPage(kA4HeightPt, kA4WidthPt);
  pdf.text("on landscape", 72, 72);
  std::string bytes = pdf.finish();
  // The page tree claims a fourth page that is not there: it stays in, empty.
  const std::size_t count = bytes.find("/Count 3");
  ASSERT_NE(count, std::string::npos);
  bytes[count + 7] = '4';
  EXPECT_EQ(pdfPageCount(bytes), 4);
  const ConvertedDoc doc = convertPdf(bytes);
  EXPECT_EQ(doc.pageSizes, (PageSizes{{11906, 16838}, {12240, 15840}, {16838, 11906}, {1, 1}}));
  EXPECT_EQ(doc.summary(), (std::vector<std::string>{"20 on A4", "20 on landscape"}));
  EXPECT_EQ(doc.paragraphs[1].page, 3);
}

TEST(PdfConverter, WorkerThreadsWriteTheSameStreamAsOneThread) {
  // Only the first page shows the bold face first, so any worker that starts
  // elsewhere meets the fonts in another order than one thread does.
  PdfMaker pdf;
  for (int page = 0; page < 40; ++page) {
    if (page > 0) pdf.newPage(page % 3 ? kA4WidthPt : 612, kA4HeightPt);
    pdf.text("Chapter " + std::to_string(page + 1), 72, 90, {"DejaVu Sans", 16, page == 0});
    pdf.wrap(kBody, 72, 120 + page, 300, 12);
  }
  const std::string bytes = pdf.finish();
  std::string streams[2];
  for (int workers : {1, 3}) {
    std::ostringstream out(std::ios::binary);
    int calls = 0;  // progress out of order or miscounted cancels the run
    pdf::convertWithWorkers(bytes, out, [&](int pages, int count) {
      return ++calls == pages && count == 40;
    }, workers);
    EXPECT_EQ(calls, 40) << workers;
    streams[workers / 2] = out.str();
    // A false answer stops the run right after that page.
    calls = 0;
    EXPECT_THROW(pdf::convertWithWorkers(bytes, out, [&](int pages, int) {
      return ++calls == pages && pages < 5;
    }, workers), PdfCancelled);
    EXPECT_EQ(calls, 5) << workers;
  }
  EXPECT_TRUE(streams[0] == streams[1]);
}

// Made by `qpdf --encrypt USER OWNER 256` from one page with the headings
// "1 Locked chapter" and "2 Second chapter" (tests/pdf/data/README.md).
std::string readFixture(const char* name) {
  std::ifstream in(std::string(KIVREL_PDF_TEST_DATA) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PdfConverter, InputThatIsNoReadablePdfOrNeedsAUserPasswordThrows) {
  PdfMaker pdf;
  pdf.text("fine", 72, 72);
  const std::string locked = readFixture("user-password.pdf");
  ASSERT_TRUE(looksLikePdf(locked));
  const std::pair<std::string, const char*> cases[] = {
      {"", ""}, {"hello world", ""}, {"%PDF-1.4\nnothing else", ""},
      {pdf.finish().substr(0, 20), ""}, {locked, "password"}};
  for (const auto& [bytes, message] : cases) {
    std::ostringstream out(std::ios::binary);
    try {
      convertPdfToRecords(bytes, out);
      ADD_FAILURE() << "converted: " << bytes.substr(0, 40);
    } catch (const PdfError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
    if (bytes != locked) EXPECT_THROW(pdfPageCount(bytes), PdfError) << bytes;
  }
  EXPECT_TRUE(looksLikePdf("%PDF-"));
  EXPECT_FALSE(looksLikePdf(" %PDF-1.4"));
}

TEST(PdfConverter, AnOwnerPasswordAloneIsRead) {
  const std::string ownerOnly = readFixture("owner-password-only.pdf");
  ASSERT_TRUE(looksLikePdf(ownerOnly));
  std::vector<std::string> texts;
  for (const ConvertedParagraph& p : convertPdf(ownerOnly).paragraphs) texts.push_back(p.text);
  EXPECT_EQ(texts.front(), "1 Locked chapter");
  EXPECT_NE(std::find(texts.begin(), texts.end(), "2 Second chapter"), texts.end());
}

}  // namespace
}  // namespace Kivrel::testing

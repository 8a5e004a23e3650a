#include <gtest/gtest.h>

#include <cstdint>
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

// What the outline passes will see: the stream read back by the library's
// own record reader. Only non-empty paragraphs are listed.
struct ConvertedParagraph {
  int page = 0;  // from 1
  std::string text;
  int charSize = 0;  // half-points
  bool bold = false;
  bool emphasis = false;
  int tableCells = 0;
  std::int32_t cx = 0;
  std::int32_t cy = 0;
};

struct ConvertedDoc {
  std::vector<std::pair<std::int32_t, std::int32_t>> pageSizes;
  std::vector<ConvertedParagraph> paragraphs;
  std::vector<int> emptyRuns;  // per paragraph: empty paragraphs right before it

  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const ConvertedParagraph& p : paragraphs) out.push_back(p.text);
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
      ConvertedParagraph c;
      p->text.toUTF8String(c.text);
      if (c.text.empty()) {
        ++empties;
        continue;
      }
      c.page = static_cast<int>(doc.pageSizes.size());
      if (static_cast<std::size_t>(p->styleIndex) < styles.size()) {
        c.charSize = styles[p->styleIndex]->charSize();
        c.bold = (styles[p->styleIndex]->flag() & 0x4) != 0;
        c.emphasis = styles[p->styleIndex]->value56() != 0;
      }
      c.tableCells = p->tableCells;
      c.cx = p->cx;
      c.cy = p->cy;
      doc.paragraphs.push_back(c);
      doc.emptyRuns.push_back(std::exchange(empties, 0));
    }
  }
  releaseModel(k);
  return doc;
}

constexpr int kTwips = 20;

const char kBody[] =
    "Lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor incididunt "
    "ut labore et dolore magna aliqua ut enim ad minim veniam quis nostrud exercitation";

TEST(PdfConverter, HeadingsAndBodyKeepTheirSizesWeightsAndPositions) {
  PdfMaker pdf;
  pdf.text("1 Introduction", 72, 100, {"DejaVu Sans", 18, true});
  double y = pdf.wrap(kBody, 72, 130, 300, 12, {"DejaVu Sans", 10});
  pdf.text("1.1 Scope", 90, y + 14, {"DejaVu Serif", 14, true});
  y = pdf.wrap(kBody, 72, y + 36, 300, 12, {"DejaVu Serif", 10});
  pdf.text("A remark", 72, y + 14, {"DejaVu Serif", 12, false, true});
  const ConvertedDoc doc = convertPdf(pdf.finish());

  EXPECT_EQ(doc.pageSizes, (std::vector<std::pair<std::int32_t, std::int32_t>>{{11906, 16838}}));
  struct Expected {
    const char* text;
    int charSize;
    bool bold;
    bool italic;
    int cx;
  };
  const Expected expected[] = {
      {"1 Introduction", 36, true, false, 72 * kTwips},
      {kBody, 20, false, false, 72 * kTwips},
      {"1.1 Scope", 28, true, false, 90 * kTwips},
      {kBody, 20, false, false, 72 * kTwips},
      {"A remark", 24, false, true, 72 * kTwips},
  };
  ASSERT_EQ(doc.paragraphs.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const ConvertedParagraph& p = doc.paragraphs[i];
    EXPECT_EQ(p.text, expected[i].text);
    EXPECT_EQ(p.charSize, expected[i].charSize) << p.text;
    EXPECT_EQ(p.bold, expected[i].bold) << p.text;
    EXPECT_EQ(p.emphasis, expected[i].italic) << p.text;
    EXPECT_NEAR(p.cx, expected[i].cx, 20) << p.text;
    EXPECT_EQ(p.tableCells, 0);
  }
  // cy is the top of the first line: between the baseline and an em above.
  EXPECT_LE(doc.paragraphs[0].cy, 100 * kTwips);
  EXPECT_GE(doc.paragraphs[0].cy, (100 - 18) * kTwips);
  EXPECT_LE(doc.paragraphs[1].cy, 130 * kTwips);
  EXPECT_GE(doc.paragraphs[1].cy, (130 - 10) * kTwips);
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
  const ConvertedDoc doc = convertPdf(pdf.finish());

  ASSERT_EQ(doc.texts(), (std::vector<std::string>{"第1章 概要", body, next, "1.1 𠮟責の背景"}));
  EXPECT_EQ(doc.paragraphs[0].charSize, 32);
  EXPECT_EQ(doc.paragraphs[1].charSize, 21);
  EXPECT_EQ(doc.paragraphs[3].charSize, 26);
  // IPA fonts have no bold face; these weights are regular.
  EXPECT_FALSE(doc.paragraphs[0].bold);
}

TEST(PdfConverter, TwoColumnPageReadsLeftColumnBeforeRightColumn) {
  PdfMaker pdf;
  pdf.text("A Study of Two Columns", 150, 80, {"DejaVu Sans", 20, true});
  const std::string left[] = {std::string("Left one ") + kBody, std::string("Left two ") + kBody};
  const std::string right[] = {std::string("Right one ") + kBody,
                               std::string("Right two ") + kBody};
  double yl = 130;
  double yr = 130;
  for (int i = 0; i < 2; ++i) {
    yl = pdf.wrap(left[i], 50, yl, 230, 12) + 8;
    yr = pdf.wrap(right[i], 315, yr, 230, 12) + 8;
  }
  const ConvertedDoc doc = convertPdf(pdf.finish());

  EXPECT_EQ(doc.texts(), (std::vector<std::string>{"A Study of Two Columns", left[0], left[1],
                                                    right[0], right[1]}));
}

TEST(PdfConverter, CellsSideBySideBecomeTableRows) {
  PdfMaker pdf;
  pdf.text("Results", 72, 90, {"DejaVu Sans", 14, true});
  const char* cells[3][3] = {{"Name", "Size", "Weight"},
                             {"Alpha", "12 pt", "bold"},
                             {"Beta", "10 pt", "regular"}};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) pdf.text(cells[row][col], 72 + 150 * col, 120 + 16 * row);
  }
  pdf.wrap(kBody, 72, 200, 300, 12);
  const ConvertedDoc doc = convertPdf(pdf.finish());

  ASSERT_EQ(doc.paragraphs.size(), 11u);
  EXPECT_EQ(doc.paragraphs.front().tableCells, 0);
  EXPECT_EQ(doc.paragraphs.back().tableCells, 0);
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      const ConvertedParagraph& p = doc.paragraphs[1 + row * 3 + col];
      EXPECT_EQ(p.text, cells[row][col]);
      EXPECT_EQ(p.tableCells, 3) << p.text;
      EXPECT_NEAR(p.cx, (72 + 150 * col) * kTwips, 20) << p.text;
    }
  }
}

TEST(PdfConverter, EveryPageBecomesASectionOfItsOwnSize) {
  PdfMaker pdf;
  pdf.text("on A4", 72, 72);
  pdf.newPage(612, 792);
  pdf.newPage(kA4HeightPt, kA4WidthPt);
  pdf.text("on landscape", 72, 72);
  const ConvertedDoc doc = convertPdf(pdf.finish());

  EXPECT_EQ(doc.pageSizes, (std::vector<std::pair<std::int32_t, std::int32_t>>{
                               {11906, 16838}, {12240, 15840}, {16838, 11906}}));
  ASSERT_EQ(doc.paragraphs.size(), 2u);
  EXPECT_EQ(doc.paragraphs[0].page, 1);
  EXPECT_EQ(doc.paragraphs[1].page, 3);
}

TEST(PdfConverter, WideVerticalGapsBecomeEmptyParagraphs) {
  PdfMaker pdf;
  pdf.text("Title of the Report", 72, 100, {"DejaVu Sans", 24, true});
  pdf.text("A. Author", 72, 130, {"DejaVu Sans", 12});
  pdf.wrap(kBody, 72, 300, 300, 12);
  const ConvertedDoc doc = convertPdf(pdf.finish());

  ASSERT_EQ(doc.paragraphs.size(), 3u);
  EXPECT_EQ(doc.emptyRuns[1], 0);  // the author line follows closely
  EXPECT_EQ(doc.emptyRuns[2], 3);  // a gap of many lines counts as three
}

TEST(PdfConverter, ProgressSeesEveryPageAndCanCancel) {
  PdfMaker pdf;
  pdf.text("one", 72, 72).newPage().text("two", 72, 72).newPage().text("three", 72, 72);
  const std::string bytes = pdf.finish();
  EXPECT_EQ(pdfPageCount(bytes), 3);

  std::vector<std::pair<int, int>> calls;
  std::ostringstream out(std::ios::binary);
  convertPdfToRecords(bytes, out, [&](int done, int count) {
    calls.emplace_back(done, count);
    return true;
  });
  EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));

  calls.clear();
  std::ostringstream cancelled(std::ios::binary);
  EXPECT_THROW(convertPdfToRecords(bytes, cancelled,
                                   [&](int done, int count) {
                                     calls.emplace_back(done, count);
                                     return done < 2;
                                   }),
               PdfCancelled);
  EXPECT_EQ(calls.size(), 2u);
}

TEST(PdfConverter, WorkerThreadsWriteTheSameStreamAsOneThread) {
  PdfMaker pdf;
  for (int page = 0; page < 40; ++page) {
    if (page > 0) pdf.newPage(page % 3 ? kA4WidthPt : 612, kA4HeightPt);
    pdf.text("Chapter " + std::to_string(page + 1), 72, 90, {"DejaVu Sans", 16, page % 2 == 0});
    pdf.wrap(kBody, 72, 120 + page, 300, 12);
  }
  const std::string bytes = pdf.finish();
  std::ostringstream one(std::ios::binary);
  pdf::convertWithWorkers(bytes, one, {}, 1);

  std::vector<int> done;
  std::ostringstream three(std::ios::binary);
  pdf::convertWithWorkers(bytes, three, [&](int pages, int) {
    done.push_back(pages);
    return true;
  }, 3);
  EXPECT_TRUE(one.str() == three.str());
  ASSERT_EQ(done.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(done[i], i + 1);

  std::ostringstream cancelled(std::ios::binary);
  EXPECT_THROW(pdf::convertWithWorkers(bytes, cancelled, [](int pages, int) { return pages < 5; }, 3),
               PdfCancelled);
}

TEST(PdfConverter, InputThatIsNoReadablePdfThrows) {
  PdfMaker pdf;
  pdf.text("fine", 72, 72);
  const std::string good = pdf.finish();
  const std::string cases[] = {"", "hello world", "%PDF-1.4\nnothing else",
                               good.substr(0, 20)};
  for (const std::string& bytes : cases) {
    std::ostringstream out(std::ios::binary);
    EXPECT_THROW(convertPdfToRecords(bytes, out), PdfError) << bytes;
    EXPECT_THROW(pdfPageCount(bytes), PdfError) << bytes;
  }
  EXPECT_TRUE(looksLikePdf(good));
  EXPECT_TRUE(looksLikePdf("%PDF-"));
  EXPECT_FALSE(looksLikePdf("%PDF"));
  EXPECT_FALSE(looksLikePdf(" %PDF-1.4"));
}

}  // namespace
}  // namespace Kivrel::testing

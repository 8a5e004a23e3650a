#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "kivrel/pdf.h"
#include "pdf_converter.h"
#include "pdf/converted_doc.h"
#include "pdf/pdf_maker.h"

namespace Kivrel::testing {
namespace {

constexpr int kTwips = 20;

const char kBody[] =
    "Lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor incididunt "
    "ut labore et dolore magna aliqua ut enim ad minim veniam quis nostrud exercitation";

// The top of a line's box lies between the baseline and one em above it.
void expectTopOfLine(const ConvertedParagraph& p, double baseline, double size) {
  EXPECT_LE(p.cy, baseline * kTwips) << p.text;
  EXPECT_GE(p.cy, (baseline - 1.2 * size) * kTwips) << p.text;
}

TEST(PdfConverter, HeadingsAndBodyKeepTheirSizesWeightsAndPositions) {
  PdfMaker pdf;
  pdf.text("1 Introduction", 72, 100, {"DejaVu Sans", 18, true});
  double y = pdf.wrap(kBody, 72, 130, 300, 12, {"DejaVu Sans", 10});
  pdf.text("1.1 Scope", 90, y + 14, {"DejaVu Serif", 14, true});
  pdf.wrap(kBody, 72, y + 36, 300, 12, {"DejaVu Serif", 10});
  const ConvertedDoc doc = convertPdf(pdf.finish());

  ASSERT_EQ(doc.pages.size(), 1u);
  EXPECT_EQ(doc.pages[0].width, 11906);
  EXPECT_EQ(doc.pages[0].height, 16838);
  struct Expected {
    const char* text;
    int charSize;
    bool bold;
    int cx;
    double baseline;
  };
  const Expected expected[] = {
      {"1 Introduction", 36, true, 72 * kTwips, 100},
      {kBody, 20, false, 72 * kTwips, 130},
      {"1.1 Scope", 28, true, 90 * kTwips, y + 14},
      {kBody, 20, false, 72 * kTwips, y + 36},
  };
  ASSERT_EQ(doc.paragraphs.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const ConvertedParagraph& p = doc.paragraphs[i];
    EXPECT_EQ(p.text, expected[i].text);
    EXPECT_EQ(p.charSize, expected[i].charSize) << p.text;
    EXPECT_EQ(p.bold, expected[i].bold) << p.text;
    EXPECT_NEAR(p.cx, expected[i].cx, 20) << p.text;
    expectTopOfLine(p, expected[i].baseline, expected[i].charSize / 2.0);
    EXPECT_EQ(p.tableCells, 0);
  }
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
  pdf.text("1.1 背景", 72, 300, {"IPAGothic", 13});
  const ConvertedDoc doc = convertPdf(pdf.finish());

  ASSERT_EQ(doc.texts(), (std::vector<std::string>{"第1章 概要", body, next, "1.1 背景"}));
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

  const std::vector<std::pair<int, int>> sizes = {{11906, 16838}, {12240, 15840}, {16838, 11906}};
  ASSERT_EQ(doc.pages.size(), sizes.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    EXPECT_EQ(std::make_pair(doc.pages[i].width, doc.pages[i].height), sizes[i]) << i;
  }
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

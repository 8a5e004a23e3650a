#include <gtest/gtest.h>

#include <iostream>

#include "kivrel/pdf.h"
#include "pdf/converted_doc.h"
#include "pdf/pdf_maker.h"

namespace Kivrel::testing {
namespace {

TEST(PdfConverter, Probe) {
  PdfMaker pdf;
  pdf.text("1 Introduction", 72, 100, {"DejaVu Sans", 18, true});
  pdf.wrap("Lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor incididunt ut labore et dolore magna aliqua Ut enim ad minim veniam quis nostrud exercitation", 72, 130, 300, 12);
  ConvertedDoc doc = convertPdf(pdf.finish());
  for (auto& p : doc.paragraphs) std::cout << p.page << " " << p.charSize << " " << p.bold << " " << p.cx << "," << p.cy << " |" << p.text << "|\n";
}

}  // namespace
}  // namespace Kivrel::testing

// Test support: converts a PDF and reads the stream back with the library's
// own record reader, so that a test sees what the outline passes will see.
#ifndef KIVREL_TESTS_PDF_CONVERTED_DOC_H_
#define KIVREL_TESTS_PDF_CONVERTED_DOC_H_

#include <cstdint>
#include <string>
#include <vector>

namespace Kivrel::testing {

struct ConvertedParagraph {
  int page = 0;  // from 1
  std::string text;
  int charSize = 0;  // half-points, 0 without a style
  bool bold = false;
  bool emphasis = false;
  int tableCells = 0;
  std::int32_t cx = 0;
  std::int32_t cy = 0;
};

struct ConvertedPage {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

struct ConvertedDoc {
  std::vector<ConvertedPage> pages;
  std::vector<ConvertedParagraph> paragraphs;  // non-empty ones, in stream order
  std::vector<int> emptyRuns;  // per entry of paragraphs: empty paragraphs before it
  std::string records;         // the stream itself

  // Texts only, in order.
  std::vector<std::string> texts() const;
  const ConvertedParagraph& find(const std::string& text) const;  // throws when absent
};

ConvertedDoc convertPdf(const std::string& pdfBytes);

}  // namespace Kivrel::testing

#endif  // KIVREL_TESTS_PDF_CONVERTED_DOC_H_

// Page layout analysis: words → lines → paragraphs and table rows, in reading
// order. Works in PDF points (1/72 inch) with the origin at the top left of
// the page and y growing downwards.
#ifndef KIVREL_PDF_TEXT_LAYOUT_H_
#define KIVREL_PDF_TEXT_LAYOUT_H_

#include <string>
#include <vector>

namespace Kivrel::pdf {

// One word as the PDF library reports it.
struct Word {
  std::u16string text;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // bounding box
  double fontSize = 0;                     // points
  int fontId = 0;                          // index into the document's font table
  bool bold = false;
  bool italic = false;
  bool spaceAfter = false;  // the PDF placed a space after the word
};

// A paragraph, or one cell of a table row. text holds U+0009 where a line
// had a wide gap that did not make a table.
struct TextBlock {
  std::u16string text;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  double fontSize = 0;  // the size that most of the characters have
  int fontId = 0;       // likewise for the font, weight and slant
  bool bold = false;
  bool italic = false;
};

// One unit of output: a paragraph (one cell) or a table row (two or more).
struct LayoutItem {
  std::vector<TextBlock> cells;
  bool tableRow = false;
  int blankLinesBefore = 0;  // empty lines' worth of space above, at most 3
};

// Lays out the words of one page; the words may come in any order.
std::vector<LayoutItem> layoutPage(std::vector<Word> words, double pageWidth);

// The x of the gutter of a two-column page, or a negative value when the
// page does not read as two columns. Exposed for tests.
double findGutter(const std::vector<Word>& words, double pageWidth);

}  // namespace Kivrel::pdf

#endif  // KIVREL_PDF_TEXT_LAYOUT_H_

// Test support: draws PDFs with cairo, text of known fonts, sizes and
// positions (points, origin at the top left, y of the baseline).
#ifndef KIVREL_TESTS_PDF_PDF_MAKER_H_
#define KIVREL_TESTS_PDF_PDF_MAKER_H_

#include <string>
#include <string_view>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace Kivrel::testing {

constexpr double kA4WidthPt = 595.28;
constexpr double kA4HeightPt = 841.89;

struct Font {
  const char* family = "DejaVu Sans";
  double size = 10;
  bool bold = false;
  bool italic = false;
};

class PdfMaker {
 public:
  PdfMaker(double width = kA4WidthPt, double height = kA4HeightPt);
  ~PdfMaker();
  PdfMaker(const PdfMaker&) = delete;
  PdfMaker& operator=(const PdfMaker&) = delete;

  // Ends the current page; the next one gets the given size.
  PdfMaker& newPage(double width = kA4WidthPt, double height = kA4HeightPt);
  // One line of text with its baseline at y.
  PdfMaker& text(std::string_view utf8, double x, double y, const Font& font = {});
  // Fills lines of at most width with the words of utf8 (split at spaces, or
  // between characters when it has none), baselines pitch apart from y.
  // Returns the baseline after the last line.
  double wrap(std::string_view utf8, double x, double y, double width, double pitch,
              const Font& font = {});
  // The finished document.
  std::string finish();

 private:
  void select(const Font& font);

  std::string bytes_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
};

}  // namespace Kivrel::testing

#endif  // KIVREL_TESTS_PDF_PDF_MAKER_H_

// PDF front end: turns a PDF into a record stream for Kivrant::extract.
// Part of the separate library kivrel-pdf (CMake target Kivrel::pdf).
#ifndef KIVREL_PDF_H_
#define KIVREL_PDF_H_

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "kivrel/export.h"

namespace Kivrel {

// Raised when a PDF cannot be read (damaged, encrypted, not a PDF).
class KIVREL_EXPORT PdfError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Called on the caller's thread after each converted page, in page order;
// returning false cancels the conversion (convertPdfToRecords then throws
// PdfCancelled).
using PdfProgress = std::function<bool(int pagesDone, int pageCount)>;

class KIVREL_EXPORT PdfCancelled : public PdfError {
 public:
  PdfCancelled() : PdfError("conversion cancelled") {}
};

// True when the bytes begin like a PDF file ("%PDF-").
KIVREL_EXPORT bool looksLikePdf(std::string_view head);

// Writes one Section per page (size in twips), paragraphs with character
// sizes in half-points, bold flags and positions in twips from the top left
// (docs/pdf-front-end.md). out must be binary. Long documents are converted
// by a few worker threads, which end before the call returns; the stream is
// the same as from one thread. Throws PdfError for input that is not a
// readable PDF (damaged, encrypted) and when out fails.
KIVREL_EXPORT void convertPdfToRecords(std::string_view pdfBytes, std::ostream& out,
                                       const PdfProgress& progress = {});

// Page count of a PDF, or throws PdfError.
KIVREL_EXPORT int pdfPageCount(std::string_view pdfBytes);

}  // namespace Kivrel

#endif  // KIVREL_PDF_H_

// Internal entry point of the converter, with the thread count open.
#ifndef KIVREL_PDF_PDF_CONVERTER_H_
#define KIVREL_PDF_PDF_CONVERTER_H_

#include <ostream>
#include <string_view>

#include "kivrel/pdf.h"

namespace Kivrel::pdf {

// convertPdfToRecords with workers threads converting pages (each with its
// own poppler document); 0 picks a count from the cores and the page count,
// 1 converts on the calling thread. The stream does not depend on it.
void convertWithWorkers(std::string_view pdfBytes, std::ostream& out,
                        const PdfProgress& progress, int workers);

}  // namespace Kivrel::pdf

#endif  // KIVREL_PDF_PDF_CONVERTER_H_

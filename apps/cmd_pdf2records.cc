// kivrel pdf2records: a PDF converted to a record stream file.
#include <memory>

#include "output_file.h"
#include "cli_common.h"
#include "commands.h"

#ifdef KIVREL_HAVE_PDF
#include "kivrel/pdf.h"
#endif

namespace Kivrel::cli {

namespace {

struct Pdf2RecordsOptions {
  std::string input;
  std::string output;
  bool quiet = false;
};

int runPdf2Records(const Pdf2RecordsOptions& options) {
  const std::string name = displayName(options.input);
#ifdef KIVREL_HAVE_PDF
  const std::string bytes = readWholeInput(options.input, options.quiet);
  if (!looksLikePdf(bytes)) throw CommandError(name + ": not a PDF (no %PDF- header)");
  writeOutputFile(options.output, convertPdfInMemory(bytes, name, options.quiet));
  return kExitOk;
#else
  throw CommandError(name + ": this kivrel was built without the PDF front end (poppler)");
#endif
}

}  // namespace

Command addPdf2RecordsCommand(CLI::App& parent) {
  auto options = std::make_shared<Pdf2RecordsOptions>();
  CLI::App* app = parent.add_subcommand("pdf2records", "Convert a PDF to a record stream");
  app->add_option("PDF", options->input, "PDF file; '-' reads stdin")->required();
  app->add_option("-o,--output", options->output, "Record stream to write")->required();
  app->add_flag("-q,--quiet", options->quiet, "No progress bar");
  return {app, [options] { return runPdf2Records(*options); }};
}

}  // namespace Kivrel::cli

// kivrel dump: the records of a stream, one per line.
#include <unistd.h>

#include <iostream>
#include <istream>
#include <memory>

#include "cli_common.h"
#include "commands.h"
#include "input_file.h"
#include "progress_bar.h"
#include "record_dump.h"

namespace Kivrel::cli {

namespace {

struct DumpOptions {
  std::string file = "-";
  bool json = false;
  bool quiet = false;
};

int runDump(const DumpOptions& options) {
  InputFile input(options.file);
  // Decoded as records, a PDF is one nonsense record.
  if (startsLikePdf(input.head(5)))
    throw CommandError(input.name() +
                       ": is a PDF; 'kivrel pdf2records' converts it to a record stream");
  // Records are printed as they are read: a bar on the same terminal would
  // break their lines.
  ProgressBar bar("reading " + input.name(), input.size(),
                  options.quiet || isatty(STDOUT_FILENO));
  InputFileBuffer buffer(input, &bar);
  std::istream in(&buffer);
  std::size_t records = 0;
  std::size_t problems = 0;
  const std::uint64_t bytes = dumpRecords(in, [&](const DumpedRecord& record) {
    // A failed read looks like a cut stream: report it, not a truncated record.
    input.throwIfFailed();
    throwIfInterrupted();
    ++records;
    problems += record.problems.size();
    if (options.json)
      std::cout << recordToJson(record).dump(-1, ' ', false,
                                             nlohmann::json::error_handler_t::replace)
                << '\n';
    else
      std::cout << formatRecordLine(record) << '\n';
  });
  bar.finish();
  input.throwIfFailed();
  if (!options.json)
    std::cout << records << " records, " << bytes << " bytes, " << problems << " problems\n";
  flushStandardOutput();
  return kExitOk;
}

}  // namespace

Command addDumpCommand(CLI::App& parent) {
  auto options = std::make_shared<DumpOptions>();
  CLI::App* app = parent.add_subcommand("dump", "Decode a record stream, one record per line");
  app->add_option("FILE", options->file, "Record stream; '-' or nothing reads stdin");
  app->add_flag("--json", options->json, "One JSON object per record (JSON Lines)");
  app->add_flag("-q,--quiet", options->quiet, "No progress bar");
  return {app, [options] { return runDump(*options); }};
}

}  // namespace Kivrel::cli

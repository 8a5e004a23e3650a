// kivrel dump: the records of a stream, one per line.
#include <iostream>
#include <memory>

#include "cli_common.h"
#include "commands.h"
#include "record_dump.h"

namespace Kivrel::cli {

namespace {

struct DumpOptions {
  std::string file = "-";
  bool json = false;
  bool quiet = false;
};

int runDump(const DumpOptions& options) {
  const std::string bytes = readWholeInput(options.file, options.quiet);
  // Decoded as records, a PDF is one nonsense record.
  if (startsLikePdf(bytes))
    throw CommandError(displayName(options.file) +
                       ": is a PDF; 'kivrel pdf2records' converts it to a record stream");
  const std::vector<DumpedRecord> records = dumpRecords(bytes);
  std::size_t problems = 0;
  for (const DumpedRecord& record : records) {
    throwIfInterrupted();
    problems += record.problems.size();
    if (options.json)
      std::cout << recordToJson(record).dump(-1, ' ', false,
                                             nlohmann::json::error_handler_t::replace)
                << '\n';
    else
      std::cout << formatRecordLine(record) << '\n';
  }
  if (!options.json)
    std::cout << records.size() << " records, " << bytes.size() << " bytes, " << problems
              << " problems\n";
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

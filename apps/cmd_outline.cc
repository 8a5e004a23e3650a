// kivrel outline: the outline of a record stream (or a PDF) in four formats.
#include <unicode/unistr.h>

#include <iostream>
#include <map>
#include <memory>
#include <sstream>

#include "atomic_file.h"
#include "cli_common.h"
#include "commands.h"
#include "kivrel/kivrant.h"
#include "outline_format.h"
#include "progress_bar.h"
#include "run_extract.h"
#include "settings_options.h"

namespace Kivrel::cli {

namespace {

struct OutlineOptions {
  std::string file = "-";
  std::string format = "tree";
  SettingsOptions settings;
  std::string log;
  std::string logRaw;
  bool quiet = false;
  bool exact = false;
};

int runOutline(const OutlineOptions& options) {
  ExtractRun run(options.file, options.settings.toSettings(), options.quiet);
  const bool wantLog = !options.log.empty() || !options.logRaw.empty();
  std::ostringstream log(std::ios::binary);
  KivOutlineList list;
  const int result = run.extractBest(list, wantLog ? &log : nullptr, options.exact);
  if (!options.logRaw.empty()) writeFileAtomically(options.logRaw, log.str());
  if (!options.log.empty()) writeFileAtomically(options.log, logToUtf8(log.str()));
  const std::map<std::string, OutlineFormat> formats = {{"tree", OutlineFormat::kTree},
                                                        {"json", OutlineFormat::kJson},
                                                        {"tsv", OutlineFormat::kTsv},
                                                        {"markdown", OutlineFormat::kMarkdown}};
  writeOutline(std::cout, formats.at(options.format), result, toEntries(list));
  flushStandardOutput();
  return kExitOk;
}

}  // namespace

Command addOutlineCommand(CLI::App& parent) {
  auto options = std::make_shared<OutlineOptions>();
  CLI::App* app = parent.add_subcommand("outline", "Print the outline of a record stream");
  app->add_option("FILE", options->file, "Record stream or PDF; '-' or nothing reads stdin");
  app->add_option("--format", options->format, "tree (default), json, tsv or markdown")
      ->check(CLI::IsMember({"tree", "json", "tsv", "markdown"}));
  options->settings.addTo(*app);
  app->add_option("--log", options->log, "Write the diagnostic log to FILE, as UTF-8");
  app->add_option("--log-raw", options->logRaw, "Write the diagnostic log's exact bytes to FILE");
  app->add_flag("-q,--quiet", options->quiet, "No progress bar");
  app->add_flag("--exact", options->exact,
                "For PDF input: the exact heuristics only, without the quality mode's signals");
  return {app, [options] { return runOutline(*options); }};
}

}  // namespace Kivrel::cli

// kivrel outline: the outline of a record stream (or a PDF) in four formats.
#include <unicode/unistr.h>

#include <iostream>
#include <map>
#include <memory>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "kivrel/kivrant.h"
#include "log_options.h"
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
  LogOptions log;
  bool quiet = false;
  bool exact = false;
  bool quality = false;
};

int runOutline(OutlineOptions& options) {
  // Local, so that a failed or stopped run removes its files on the way out.
  LogOutput logOutput = options.log.open();
  std::ostream* log = logOutput.stream();
  ExtractRun run(options.file, options.settings.toSettings(), options.quiet);
  KivOutlineList list;
  std::vector<KivQualityVerdict> verdicts;
  const bool quality = run.usesQuality(options.exact, options.quality);
  const int result = quality ? run.extractQuality(list, log, verdicts)
                             : run.extract(list, log, nullptr);
  logOutput.write();
  const std::map<std::string, OutlineFormat> formats = {{"tree", OutlineFormat::kTree},
                                                        {"json", OutlineFormat::kJson},
                                                        {"tsv", OutlineFormat::kTsv},
                                                        {"markdown", OutlineFormat::kMarkdown}};
  std::vector<OutlineEntry> entries = toEntries(list);
  if (quality && result == 0) {
    // The quality mode ranks its items itself; the n-th kept verdict is the
    // n-th item.
    std::size_t n = 0;
    for (const KivQualityVerdict& v : verdicts) {
      if (v.accepted && n < entries.size()) entries[n++].level = v.level;
    }
  }
  writeOutline(std::cout, formats.at(options.format), result, entries);
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
  options->log.addTo(*app);
  app->add_flag("-q,--quiet", options->quiet, "No progress bar");
  CLI::Option* exact = app->add_flag(
      "--exact", options->exact,
      "For PDF input: the exact heuristics only, without the quality mode's signals");
  app->add_flag("--quality", options->quality,
                "For record streams: the quality mode, as PDF input gets by default")
      ->excludes(exact);
  return {app, [options] { return runOutline(*options); }};
}

}  // namespace Kivrel::cli

// kivrel explain: the verdict on every non-empty paragraph, in the mode
// outline would use for the same input.
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <nlohmann/json.hpp>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "kivrel/progress.h"
#include "kivrel/quality.h"
#include "log_options.h"
#include "outline_format.h"
#include "run_extract.h"
#include "settings_options.h"

namespace Kivrel::cli {

namespace {

struct ExplainOptions {
  std::string file = "-";
  SettingsOptions settings;
  LogOptions log;
  bool json = false;
  bool quiet = false;
  bool exact = false;
  bool quality = false;
};

class VerdictCollector : public KivVerdictHandler {
 public:
  void onVerdict(const KivParagraphVerdict& verdict) override { verdicts.push_back(verdict); }
  std::vector<KivParagraphVerdict> verdicts;
};

std::string utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

std::string verdictWords(const KivParagraphVerdict& v) {
  if (v.accepted) return "point " + std::to_string(v.value);
  const char* words = describeReasonCode(v.value);
  std::string out = "dropped " + std::to_string(v.value);
  if (*words) out += std::string(" (") + words + ")";
  return out;
}

std::string hex(unsigned value) {
  std::ostringstream out;
  out << "0x" << std::hex << value;
  return out.str();
}

// The quality decision in words, with the exact verdict when it differs.
std::string qualityWords(const KivQualityVerdict& q) {
  std::string out;
  if (q.accepted) {
    out = "kept L" + std::to_string(q.level);
  } else if (q.reason) {
    out = "dropped " + std::to_string(q.reason);
  } else {
    return verdictWords(q.exact);
  }
  if (q.reason) out += std::string(" (") + describeQualityReason(q.reason) + ")";
  if (q.reason || !q.exact.accepted) out += "; exact: " + verdictWords(q.exact);
  return out;
}

// One row per paragraph: the exact verdict and, in the quality mode, the
// quality one.
struct Row {
  const KivParagraphVerdict& v;
  const KivQualityVerdict* q;
};

void writeText(const std::vector<Row>& rows) {
  std::cout << "page  par      cx      cy  size  flags  cells  verdict / text\n";
  for (const Row& r : rows) {
    const KivParagraphVerdict& v = r.v;
    std::cout << std::setw(4) << v.pageNo << std::setw(5) << v.paragraphIndex << std::setw(8)
              << v.cx << std::setw(8) << v.cy << std::setw(6) << v.charSize << std::setw(7)
              << hex(v.styleFlags) << std::setw(7) << v.tableCells << "  "
              << (r.q ? qualityWords(*r.q) : verdictWords(v)) << "\n      "
              << withVisibleControls(utf8(v.text), false) << '\n';
  }
}

void writeJson(const std::vector<Row>& rows, bool quality) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Row& r : rows) {
    const KivParagraphVerdict& v = r.v;
    nlohmann::ordered_json entry = {
        {"page", v.pageNo},           {"index", v.paragraphIndex}, {"cx", v.cx},
        {"cy", v.cy},                 {"size", v.charSize},        {"flags", v.styleFlags},
        {"tableCells", v.tableCells}, {"accepted", v.accepted},    {"text", utf8(v.text)}};
    if (v.accepted) {
      entry["point"] = v.value;
    } else {
      entry["reason"] = v.value;
      entry["reasonText"] = describeReasonCode(v.value);
    }
    if (r.q) {
      nlohmann::ordered_json q = {{"accepted", r.q->accepted}, {"level", r.q->level}};
      if (r.q->reason) {
        q["reason"] = r.q->reason;
        q["reasonText"] = describeQualityReason(r.q->reason);
      }
      if (r.q->accepted) q["text"] = utf8(r.q->text);
      entry["quality"] = q;
    }
    list.push_back(entry);
  }
  std::cout << nlohmann::ordered_json{{"mode", quality ? "quality" : "exact"}, {"paragraphs", list}}
                   .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
            << '\n';
}

int runExplain(ExplainOptions& options) {
  // Local, so that a failed or stopped run removes its files on the way out.
  LogOutput logOutput = options.log.open();
  std::ostream* log = logOutput.stream();
  ExtractRun run(options.file, options.settings.toSettings(), options.quiet);
  KivOutlineList list;
  VerdictCollector collector;
  std::vector<KivQualityVerdict> verdicts;
  std::vector<Row> rows;
  const bool quality = run.usesQuality(options.exact, options.quality);
  if (quality) {
    run.extractQuality(list, log, verdicts);
    for (const KivQualityVerdict& q : verdicts) rows.push_back({q.exact, &q});
  } else {
    run.extract(list, log, &collector);
    for (const KivParagraphVerdict& v : collector.verdicts) rows.push_back({v, nullptr});
  }
  logOutput.write();
  if (options.json) writeJson(rows, quality);
  else writeText(rows);
  flushStandardOutput();
  return kExitOk;
}

}  // namespace

Command addExplainCommand(CLI::App& parent) {
  auto options = std::make_shared<ExplainOptions>();
  CLI::App* app = parent.add_subcommand(
      "explain", "Show every non-empty paragraph with the verdict of the outline passes "
                 "(for PDF input, of the quality mode)");
  app->add_option("FILE", options->file, "Record stream or PDF; '-' or nothing reads stdin");
  options->settings.addTo(*app);
  app->add_flag("--json", options->json, "One JSON document instead of the table");
  options->log.addTo(*app);
  app->add_flag("-q,--quiet", options->quiet, "No progress bar");
  CLI::Option* exact = app->add_flag(
      "--exact", options->exact, "For PDF input: the exact verdicts instead of the quality mode's");
  app->add_flag("--quality", options->quality,
                "For record streams: the quality mode's verdicts, as PDF input gets by default")
      ->excludes(exact);
  return {app, [options] { return runExplain(*options); }};
}

}  // namespace Kivrel::cli

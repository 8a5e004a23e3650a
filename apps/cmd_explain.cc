// kivrel explain: the verdict on every non-empty paragraph.
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <nlohmann/json.hpp>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "kivrel/progress.h"
#include "run_extract.h"
#include "settings_options.h"

namespace Kivrel::cli {

namespace {

struct ExplainOptions {
  std::string file = "-";
  SettingsOptions settings;
  bool json = false;
  bool quiet = false;
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
  else if (v.value >= 0) out += " (point below plain text)";
  return out;
}

std::string hex(unsigned value) {
  std::ostringstream out;
  out << "0x" << std::hex << value;
  return out.str();
}

void writeText(const std::vector<KivParagraphVerdict>& verdicts) {
  std::cout << "page  par      cx      cy  size  flags  cells  verdict / text\n";
  for (const KivParagraphVerdict& v : verdicts) {
    std::cout << std::setw(4) << v.pageNo << std::setw(5) << v.paragraphIndex << std::setw(8)
              << v.cx << std::setw(8) << v.cy << std::setw(6) << v.charSize << std::setw(7)
              << hex(v.styleFlags) << std::setw(7) << v.tableCells << "  " << verdictWords(v)
              << "\n      " << utf8(v.text) << '\n';
  }
}

void writeJson(const std::vector<KivParagraphVerdict>& verdicts) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const KivParagraphVerdict& v : verdicts) {
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
    list.push_back(entry);
  }
  std::cout << nlohmann::ordered_json{{"paragraphs", list}}.dump(
                   -1, ' ', false, nlohmann::json::error_handler_t::replace)
            << '\n';
}

int runExplain(const ExplainOptions& options) {
  ExtractRun run(options.file, options.settings.toSettings(), options.quiet);
  VerdictCollector collector;
  KivOutlineList list;
  run.extract(list, nullptr, &collector);
  if (options.json) writeJson(collector.verdicts);
  else writeText(collector.verdicts);
  flushStandardOutput();
  return kExitOk;
}

}  // namespace

Command addExplainCommand(CLI::App& parent) {
  auto options = std::make_shared<ExplainOptions>();
  CLI::App* app = parent.add_subcommand(
      "explain", "Show every non-empty paragraph with the verdict of the outline passes");
  app->add_option("FILE", options->file, "Record stream or PDF; '-' or nothing reads stdin");
  options->settings.addTo(*app);
  app->add_flag("--json", options->json, "One JSON document instead of the table");
  app->add_flag("-q,--quiet", options->quiet, "No progress bar");
  return {app, [options] { return runExplain(*options); }};
}

}  // namespace Kivrel::cli

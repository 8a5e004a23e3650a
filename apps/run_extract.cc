#include "run_extract.h"

#include <istream>

#include "cli_common.h"
#include "kivrel/quality.h"
#include "progress_bar.h"

namespace Kivrel::cli {

namespace {

// Stops the run at its next poll once SIGINT has been seen.
class InterruptPoll : public KivProgressHandler {
 public:
  int onProgress() override { return interrupted() ? -1 : 0; }
};

}  // namespace

ExtractRun::ExtractRun(const std::string& path, KivSettings settings, bool quiet)
    : path_(path), records_(loadRecordStream(path, quiet, &wasPdf_)), settings_(settings), quiet_(quiet) {}

int ExtractRun::extract(KivOutlineList& list, std::ostream* log, KivVerdictHandler* verdicts) {
  return run(log, [&](Kivrant& extractor, std::istream& input, KivSettings& settings) {
    extractor.setVerdictHandler(verdicts);
    return extractor.extract(input, list, &settings);
  });
}

int ExtractRun::extractQuality(KivOutlineList& list, std::ostream* log,
                               std::vector<KivQualityVerdict>& verdicts) {
  return run(log, [&](Kivrant& extractor, std::istream& input, KivSettings& settings) {
    return Kivrel::extractQuality(extractor, input, list, &settings, &verdicts);
  });
}

int ExtractRun::run(std::ostream* log, const Runner& runner) {
  ProgressBar bar("extracting " + displayName(path_), records_.size(), quiet_);
  CountingReadBuffer buffer(records_, &bar);
  std::istream input(&buffer);
  InterruptPoll poll;
  Kivrant extractor;
  extractor.setLogStream(log);
  extractor.setProgressHandler(&poll);
  KivSettings settings = settings_;
  const int result = runner(extractor, input, settings);
  bar.finish();
  if (result == -1 || interrupted()) throw Interrupted();
  return result;
}

std::string logToUtf8(const std::string& log) {
  icu::UnicodeString text(log.data(), static_cast<int32_t>(log.size()), "windows-31j");
  std::string utf8;
  text.toUTF8String(utf8);
  return utf8;
}

}  // namespace Kivrel::cli

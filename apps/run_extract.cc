#include "run_extract.h"

#include <istream>
#include <optional>

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
    : input_(path), settings_(settings), quiet_(quiet) {
  wasPdf_ = startsLikePdf(input_.head(5));
  if (wasPdf_) {
#ifdef KIVREL_HAVE_PDF
    converted_ = convertPdfInMemory(input_.readAll(quiet), input_.name(), quiet);
    if (converted_.empty()) noteNothingToOutline(input_.name(), true);
#else
    throw CommandError(input_.name() +
                       ": is a PDF, and this kivrel was built without the PDF front end "
                       "(poppler); convert it to a record stream first");
#endif
  } else if (input_.head(1).empty()) {
    noteNothingToOutline(input_.name(), false);
  } else {
    checkRecordStreamHead(input_);
  }
}

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
  ProgressBar bar("extracting " + input_.name(), wasPdf_ ? converted_.size() : input_.size(),
                  quiet_);
  std::optional<CountingReadBuffer> convertedBuffer;
  std::optional<InputFileBuffer> fileBuffer;
  std::streambuf* source = nullptr;
  if (wasPdf_) {
    source = &convertedBuffer.emplace(converted_, &bar);
  } else {
    source = &fileBuffer.emplace(input_, &bar);
  }
  std::istream input(source);
  InterruptPoll poll;
  Kivrant extractor;
  extractor.setLogStream(log);
  extractor.setProgressHandler(&poll);
  KivSettings settings = settings_;
  const int result = runner(extractor, input, settings);
  bar.finish();
  input_.throwIfFailed();
  if (result == -1 || interrupted()) throw Interrupted();
  return result;
}

}  // namespace Kivrel::cli

// One extraction run over a file, as outline and explain do it.
#ifndef KIVREL_APPS_RUN_EXTRACT_H_
#define KIVREL_APPS_RUN_EXTRACT_H_

#include <functional>
#include <istream>
#include <ostream>
#include <string>

#include <vector>

#include "input_file.h"
#include "kivrel/kivrant.h"
#include "kivrel/quality.h"
#include "kivrel/settings.h"

namespace Kivrel::cli {

// A record stream is streamed to the extraction, a PDF converted in memory
// first. One run per object: a stream cannot be read twice.
class ExtractRun {
 public:
  // Opens the input and looks at its head; converts a PDF. Throws
  // CommandError when the input cannot be read or is no record stream.
  ExtractRun(const std::string& path, KivSettings settings, bool quiet);

  // Runs extract with a progress bar over the bytes the reader consumes.
  // Throws Interrupted when SIGINT stopped the run.
  int extract(KivOutlineList& list, std::ostream* log, KivVerdictHandler* verdicts);

  // Which mode a run uses: exact and quality force one, otherwise PDF input
  // gets the quality mode and record streams the exact one.
  bool usesQuality(bool exact, bool quality) const { return quality || (!exact && wasPdf_); }

  // Runs the quality mode (exact extraction refined by layout signals);
  // verdicts receives one entry per non-empty paragraph.
  int extractQuality(KivOutlineList& list, std::ostream* log,
                     std::vector<KivQualityVerdict>& verdicts);

 private:
  using Runner = std::function<int(Kivrant&, std::istream&, KivSettings&)>;
  // Runs one extraction with the progress bar, interrupt poll and log.
  int run(std::ostream* log, const Runner& runner);

  InputFile input_;
  bool wasPdf_ = false;
  std::string converted_;  // the record stream of a PDF
  KivSettings settings_;
  bool quiet_;
};

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_RUN_EXTRACT_H_

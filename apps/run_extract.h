// One extraction run over a file, as outline and explain do it.
#ifndef KIVREL_APPS_RUN_EXTRACT_H_
#define KIVREL_APPS_RUN_EXTRACT_H_

#include <functional>
#include <istream>
#include <ostream>
#include <string>

#include <vector>

#include "kivrel/kivrant.h"
#include "kivrel/quality.h"
#include "kivrel/settings.h"

namespace Kivrel::cli {

class ExtractRun {
 public:
  // Loads the input at once (CommandError when it cannot be read).
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

  std::string path_;
  bool wasPdf_ = false;  // set while records_ is loaded, so declared first
  std::string records_;
  KivSettings settings_;
  bool quiet_;
};

// The log's fixed texts and paragraph texts are windows-31j; this converts
// the whole log to UTF-8.
std::string logToUtf8(const std::string& log);

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_RUN_EXTRACT_H_

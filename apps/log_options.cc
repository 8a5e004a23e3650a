#include "log_options.h"

#include "cli_common.h"
#include "output_file.h"
#include "run_extract.h"

namespace Kivrel::cli {

void LogOptions::addTo(CLI::App& command) {
  command.add_option("--log", log_, "Write the diagnostic log to FILE, as UTF-8");
  command.add_option("--log-raw", logRaw_, "Write the diagnostic log's exact bytes to FILE");
}

std::ostream* LogOptions::stream() {
  if (!log_.empty() && log_ == logRaw_ && log_ != "-")
    throw CommandError("--log and --log-raw name the same file, " + log_, kExitUsage);
  return log_.empty() && logRaw_.empty() ? nullptr : &buffer_;
}

void LogOptions::write() const {
  if (!logRaw_.empty()) writeOutputFile(logRaw_, buffer_.str());
  if (!log_.empty()) writeOutputFile(log_, logToUtf8(buffer_.str()));
}

}  // namespace Kivrel::cli

#include "log_options.h"

#include <optional>

#include "cli_common.h"
#include "kivrel/log_decoder.h"
#include "output_file.h"

namespace Kivrel::cli {

// The log's bytes to the raw file, their UTF-8 to the other.
class LogSink : public KivLogBuffer {
 public:
  LogSink(const std::string& utf8Path, const std::string& rawPath)
      : KivLogBuffer(!utf8Path.empty()) {
    if (!rawPath.empty()) raw_.emplace(rawPath);
    if (!utf8Path.empty()) utf8_.emplace(utf8Path);
  }

  void commit() {
    finish();
    rethrowIfFailed();
    if (raw_) raw_->commit();
    if (utf8_) utf8_->commit();
  }

 protected:
  void deliver(std::string_view raw, std::string_view utf8) override {
    if (raw_) raw_->write(raw);
    if (utf8_) utf8_->write(utf8);
  }

 private:
  std::optional<OutputFile> raw_;
  std::optional<OutputFile> utf8_;
};

LogOutput::LogOutput() = default;
LogOutput::LogOutput(LogOutput&&) noexcept = default;
LogOutput::~LogOutput() = default;

void LogOutput::write() {
  if (sink_) sink_->commit();
}

void LogOptions::addTo(CLI::App& command) {
  command.add_option("--log", log_, "Write the diagnostic log to FILE, as UTF-8");
  command.add_option("--log-raw", logRaw_, "Write the diagnostic log's exact bytes to FILE");
}

LogOutput LogOptions::open() const {
  LogOutput output;
  if (log_.empty() && logRaw_.empty()) return output;
  if (!log_.empty() && namesStandardOutput(log_) && namesStandardOutput(logRaw_)) {
    throw CommandError("--log and --log-raw both name standard output", kExitUsage);
  }
  if (log_ == logRaw_) {
    throw CommandError("--log and --log-raw name the same file, " + log_, kExitUsage);
  }
  output.sink_ = std::make_unique<LogSink>(log_, logRaw_);
  output.stream_ = std::make_unique<std::ostream>(output.sink_.get());
  return output;
}

}  // namespace Kivrel::cli

// --log and --log-raw, shared by outline and explain: the run's diagnostic
// log, written to the files named as the run goes.
#ifndef KIVREL_APPS_LOG_OPTIONS_H_
#define KIVREL_APPS_LOG_OPTIONS_H_

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>
#include <string>

namespace Kivrel::cli {

class LogSink;

// The outputs of one run's log, removed unless write() completed them.
class LogOutput {
 public:
  LogOutput();
  LogOutput(LogOutput&&) noexcept;
  ~LogOutput();

  // The stream for the run, or null when no log was asked for.
  std::ostream* stream() { return stream_.get(); }
  // Completes the outputs: the log as UTF-8, and its exact bytes. Files are
  // renamed into place only here, so a failed run leaves none; standard
  // output and other outputs written in place have had the log so far.
  void write();

 private:
  friend class LogOptions;
  std::unique_ptr<LogSink> sink_;
  std::unique_ptr<std::ostream> stream_;
};

class LogOptions {
 public:
  void addTo(CLI::App& command);
  // Opens the outputs named. Throws a usage error when both options name one
  // file, a CommandError when a file cannot be created.
  LogOutput open() const;

 private:
  std::string log_;
  std::string logRaw_;
};

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_LOG_OPTIONS_H_

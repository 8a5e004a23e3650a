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

class LogOptions {
 public:
  LogOptions();
  ~LogOptions();

  void addTo(CLI::App& command);
  // Opens the files named and returns the stream for the run, or null when
  // no log was asked for. Throws a usage error when both options name one
  // file, a CommandError when a file cannot be created.
  std::ostream* stream();
  // Completes the outputs: the log as UTF-8, and its exact bytes. Files are
  // renamed into place only here, so a failed run leaves none; standard
  // output and other outputs written in place have had the log so far.
  void write();

 private:
  std::string log_;
  std::string logRaw_;
  std::unique_ptr<LogSink> sink_;
  std::unique_ptr<std::ostream> stream_;
};

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_LOG_OPTIONS_H_

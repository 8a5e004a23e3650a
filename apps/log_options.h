// --log and --log-raw, shared by outline and explain: the run's diagnostic
// log, kept in memory and written to the files named once the run is over.
#ifndef KIVREL_APPS_LOG_OPTIONS_H_
#define KIVREL_APPS_LOG_OPTIONS_H_

#include <CLI/CLI.hpp>

#include <ostream>
#include <sstream>
#include <string>

namespace Kivrel::cli {

class LogOptions {
 public:
  void addTo(CLI::App& command);
  // The stream for the run, or null when no log was asked for. Throws a usage
  // error when both options name one file.
  std::ostream* stream();
  // Writes the files named: the log as UTF-8, and its exact bytes.
  void write() const;

 private:
  std::string log_;
  std::string logRaw_;
  std::ostringstream buffer_{std::ios::binary};
};

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_LOG_OPTIONS_H_

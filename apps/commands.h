// The subcommands of kivrel. Each adds its options to the parent and returns
// the function that runs it once the command line has been parsed.
#ifndef KIVREL_APPS_COMMANDS_H_
#define KIVREL_APPS_COMMANDS_H_

#include <CLI/CLI.hpp>

#include <functional>

namespace Kivrel::cli {

struct Command {
  CLI::App* app;
  // Returns the exit code; throws CommandError or Interrupted.
  std::function<int()> run;
};

Command addOutlineCommand(CLI::App& parent);
Command addExplainCommand(CLI::App& parent);
Command addDumpCommand(CLI::App& parent);
Command addCompileCommand(CLI::App& parent);
Command addPdf2RecordsCommand(CLI::App& parent);

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_COMMANDS_H_

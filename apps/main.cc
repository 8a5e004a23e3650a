// kivrel: outlines of record streams, and tools to read and write them.
#include <CLI/CLI.hpp>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "output_file.h"
#include "kivrel/version.h"

using namespace Kivrel::cli;

namespace {

// Help and version text that could not be written (a full disk) is a failure.
int printed(int exitCode) {
  std::cout.flush();
  if (std::cout) return exitCode;
  std::cerr << "kivrel: <stdout>: write error\n";
  return kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  Kivrel::cli::noteGivenDescriptors(argc, argv);
  const Kivrel::cli::StandardOutputRoute standardOutput;
  CLI::App app("Extracts the outline of a laid-out document given as a record stream.", "kivrel");
  app.set_version_flag("--version", "kivrel " KIVREL_VERSION_STRING);
  app.require_subcommand(1);
  std::vector<Command> commands = {addOutlineCommand(app), addExplainCommand(app),
                                   addDumpCommand(app), addCompileCommand(app),
                                   addPdf2RecordsCommand(app)};
  // Before any subcommand only --help and --version mean something; name a
  // mistyped word there instead of saying that a subcommand is missing.
  if (argc > 1) {
    const std::string first = argv[1];
    bool known = first == "-h" || first == "--help" || first == "--version";
    std::string names;
    for (const Command& command : commands) {
      known = known || command.app->check_name(first);
      names += (names.empty() ? "" : ", ") + command.app->get_name();
    }
    if (!known) {
      std::cerr << "kivrel: unknown " << (first.rfind('-', 0) == 0 ? "option" : "command") << " '"
                << first << "' (commands: " << names << "; see kivrel --help)\n";
      return kExitUsage;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return printed(app.exit(e));
  } catch (const CLI::CallForAllHelp& e) {
    return printed(app.exit(e));
  } catch (const CLI::CallForVersion& e) {
    return printed(app.exit(e));
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }

  installInterruptHandler();
  for (Command& command : commands) {
    if (!command.app->parsed()) continue;
    try {
      return command.run();
    } catch (const Interrupted&) {
      const int signal = stoppingSignal();
      if (signal == SIGTERM || signal == SIGHUP) {
        // Cleaned up; now end as the signal would have, for the parent's sake.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
      }
      std::cerr << "kivrel: interrupted\n";
      return kExitInterrupted;
    } catch (const CommandError& e) {
      std::cerr << "kivrel " << command.app->get_name() << ": " << e.what() << '\n';
      return e.exitCode();
    } catch (const std::exception& e) {
      std::cerr << "kivrel " << command.app->get_name() << ": " << e.what() << '\n';
      return kExitFailed;
    }
  }
  return kExitUsage;
}

// kivrel compile: a JSON document description to a record stream.
#include <iostream>
#include <memory>
#include <sstream>

#include "output_file.h"
#include "cli_common.h"
#include "commands.h"
#include "document_json.h"

namespace Kivrel::cli {

namespace {

struct CompileOptions {
  std::string input;
  std::string output;
  bool quiet = false;
};

int runCompile(const CompileOptions& options) {
  const std::string name = displayName(options.input);
  const std::string json = readWholeInput(options.input, options.quiet);
  std::ostringstream records(std::ios::binary);
  try {
    compileDocument(json, records);
  } catch (const DocumentError& e) {
    if (e.line > 0)
      throw CommandError(name + ":" + std::to_string(e.line) + ":" + std::to_string(e.column) +
                         ": " + e.what());
    throw CommandError(name + ": " + e.what());
  }
  throwIfInterrupted();
  writeOutputFile(options.output, records.str());
  return kExitOk;
}

}  // namespace

Command addCompileCommand(CLI::App& parent) {
  auto options = std::make_shared<CompileOptions>();
  CLI::App* app = parent.add_subcommand(
      "compile", "Turn a JSON document description into a record stream");
  app->add_option("DOC", options->input, "Document description (JSON); '-' reads stdin")
      ->required();
  app->add_option("-o,--output", options->output, "Record stream to write")->required();
  app->add_flag("-q,--quiet", options->quiet, "No progress bar");
  return {app, [options] { return runCompile(*options); }};
}

}  // namespace Kivrel::cli

// Pieces every command shares: exit codes, errors, interruption, input.
#ifndef KIVREL_APPS_CLI_COMMON_H_
#define KIVREL_APPS_CLI_COMMON_H_

#include <stdexcept>
#include <string>
#include <string_view>

namespace Kivrel::cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitFailed = 1,  // input unreadable or processing failed
  kExitUsage = 2,
  kExitInterrupted = 130,
};

// A failure the user should read; the message already names the file.
class CommandError : public std::runtime_error {
 public:
  explicit CommandError(const std::string& message, int exitCode = kExitFailed)
      : std::runtime_error(message), exitCode_(exitCode) {}
  int exitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

// Thrown once SIGINT, SIGTERM or SIGHUP has been seen, from wherever the work
// can stop, so that temporary files go as the stack unwinds.
class Interrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "interrupted"; }
};

// SIGINT, SIGTERM and SIGHUP set a flag that long loops poll through
// interrupted().
void installInterruptHandler();
bool interrupted();
void throwIfInterrupted();
// The signal that stopped the work, 0 before one came.
int stoppingSignal();

// "-" and "" mean standard input.
bool isStdin(const std::string& path);
// The name used in messages: the path, or "<stdin>".
std::string displayName(const std::string& path);

// The bytes open as a PDF file does.
bool startsLikePdf(std::string_view bytes);

// Reads a whole file (or standard input, which need not be seekable) into
// memory, with a progress bar unless quiet. Throws CommandError naming the
// file for a missing file, a directory or a read error.
std::string readWholeInput(const std::string& path, bool quiet);

// Flushes std::cout; CommandError when the output could not be written.
void flushStandardOutput();

class InputFile;
// Throws CommandError naming the input unless its first bytes open with a
// Section record, as a record stream does; empty input passes.
// REQUIRES: nothing of input was handed out yet.
void checkRecordStreamHead(InputFile& input);
// Says on stderr that empty input, or a PDF without pages, has no outline.
void noteNothingToOutline(const std::string& name, bool pdf);

// A PDF converted to a record stream, with a progress bar over its pages
// unless quiet. Throws CommandError naming the file for an unreadable PDF,
// Interrupted on SIGINT. Only in a kivrel built with the PDF front end.
std::string convertPdfInMemory(const std::string& pdf, const std::string& name, bool quiet);

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_CLI_COMMON_H_

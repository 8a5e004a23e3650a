// Output files that appear complete or not at all.
#ifndef KIVREL_APPS_OUTPUT_FILE_H_
#define KIVREL_APPS_OUTPUT_FILE_H_

#include <sys/types.h>

#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

namespace Kivrel::cli {

// An output named by the user, written as a run goes and completed at its end.
// - "-" is standard output.
// - /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N are written in
//   place through the descriptor the command was given, as a shell
//   redirection would, so `>> file` keeps its content.
// - A regular file, or a name not yet taken, gets a temporary file beside it
//   that commit() flushes and renames over it, so a failed run leaves no
//   partial file and an existing one unchanged; an existing file keeps its
//   mode. A symbolic link is followed: its target is replaced, not the link.
// - Anything else (a terminal, /dev/null, a named pipe) is written in place,
//   as there is nothing to rename over it.
// Every failure throws a CommandError naming the output.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path);
  ~OutputFile();  // removes the temporary file unless commit() ran
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(std::string_view bytes);
  void commit();

 private:
  std::string path_;    // as the user named it
  std::string target_;  // what the links lead to
  std::string temp_;    // beside target_, renamed over it by commit()
  bool toStdout_ = false;
  int fd_ = -1;
  mode_t mode_ = 0;
  bool committed_ = false;
};

// Writes bytes to the output named path in one go.
void writeOutputFile(const std::string& path, std::string_view bytes);

// While it lives, std::cout writes through write(2) in blocks of its own, so
// that a stop signal ends a write that blocks on a stalled pipe (the standard
// buffer retries the rest of a partial write) and a descriptor given
// non-blocking is waited on.
class StandardOutputRoute {
 public:
  StandardOutputRoute();
  ~StandardOutputRoute();  // flushes, and gives std::cout its own buffer back
  StandardOutputRoute(const StandardOutputRoute&) = delete;
  StandardOutputRoute& operator=(const StandardOutputRoute&) = delete;

 private:
  class Buffer;
  std::unique_ptr<Buffer> buffer_;
  std::streambuf* previous_;
};

// True for "-" and the names of the descriptor standard output is on.
bool namesStandardOutput(const std::string& path);

// Notes which descriptors the command was given, before it opens any, when
// its arguments name one: only those may be named as /dev/fd/N.
void noteGivenDescriptors(int argc, char** argv);

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_OUTPUT_FILE_H_

// Output files that appear complete or not at all.
#ifndef KIVREL_APPS_OUTPUT_FILE_H_
#define KIVREL_APPS_OUTPUT_FILE_H_

#include <string>
#include <string_view>

namespace Kivrel::cli {

// Writes bytes to the output named path and throws a CommandError naming it
// when that fails.
// - "-" is standard output.
// - A regular file, or a name not yet taken, gets a temporary file beside it
//   that is flushed and renamed over it, so a failed run leaves no partial
//   file and an existing one unchanged; an existing file keeps its mode. A
//   symbolic link is followed: its target is replaced, not the link.
// - Anything else (a terminal, /dev/null, a named pipe) is written in place,
//   as there is nothing to rename over it.
void writeOutputFile(const std::string& path, std::string_view bytes);

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_OUTPUT_FILE_H_

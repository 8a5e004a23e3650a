// Output files that appear complete or not at all.
#ifndef KIVREL_APPS_ATOMIC_FILE_H_
#define KIVREL_APPS_ATOMIC_FILE_H_

#include <string>
#include <string_view>

namespace Kivrel::cli {

// Writes bytes to a temporary file beside path, flushes it and renames it over
// path. On failure the temporary file is removed, path is left as it was and
// a CommandError naming path is thrown.
void writeFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_ATOMIC_FILE_H_

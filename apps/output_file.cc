#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <vector>

#include "cli_common.h"

namespace Kivrel::cli {

namespace {

[[noreturn]] void fail(const std::string& path, const char* what, int error) {
  throw CommandError(path + ": " + what + ": " + std::strerror(error));
}

// An open descriptor, closed when it goes out of scope unless close() ran.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  // Closes now: a failed close is a failed write (a full disk or quota may
  // show only here).
  void close(const std::string& path) {
    const int open = fd;
    fd = -1;
    if (::close(open) != 0) fail(path, "write error", errno);
  }
};

// Removes the temporary file unless the rename took it over.
struct TempFile {
  explicit TempFile(std::string name) : name(std::move(name)) {}
  ~TempFile() {
    if (!committed) ::unlink(name.c_str());  // an open file may be unlinked
  }
  std::string name;
  Descriptor descriptor;
  bool committed = false;
};

void writeAll(int fd, std::string_view bytes, const std::string& path) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(path, "write error", errno);
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
}

// The file a chain of symbolic links ends in; a dangling link names the file
// it would create.
std::string followLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, error))) break;
    const std::filesystem::path target = std::filesystem::read_symlink(current, error);
    if (error) break;
    current = target.is_absolute()
                  ? target.string()
                  : (std::filesystem::path(current).parent_path() / target).string();
  }
  return current;
}

void writeInPlace(const std::string& path, const std::string& target, std::string_view bytes) {
  Descriptor out{::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC)};
  if (out.fd < 0) fail(path, "cannot open", errno);
  writeAll(out.fd, bytes, path);
  out.close(path);
}

void replaceAtomically(const std::string& path, const std::string& target, std::string_view bytes,
                       mode_t mode) {
  const std::size_t slash = target.rfind('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  if (base.empty()) throw CommandError(path + ": names a directory, not a file");

  std::string pattern =
      (slash == std::string::npos ? "" : target.substr(0, slash + 1)) + "." + base + ".XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) fail(path, "cannot create a temporary file beside it", errno);
  TempFile temp(buffer.data());
  temp.descriptor.fd = fd;
  writeAll(fd, bytes, path);
  ::fchmod(fd, mode);  // mkstemp creates the file 0600
  if (::fsync(fd) != 0) fail(path, "write error", errno);
  temp.descriptor.close(path);
  if (::rename(temp.name.c_str(), target.c_str()) != 0) fail(path, "cannot replace", errno);
  temp.committed = true;
}

}  // namespace

void writeOutputFile(const std::string& path, std::string_view bytes) {
  if (path.empty()) throw CommandError("an output file name is empty", kExitUsage);
  if (path == "-") {
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    flushStandardOutput();
    return;
  }
  const std::string target = followLinks(path);
  struct stat status;
  if (::stat(target.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) throw CommandError(path + ": names a directory, not a file");
    if (!S_ISREG(status.st_mode)) return writeInPlace(path, target, bytes);
    return replaceAtomically(path, target, bytes, status.st_mode & 07777);
  }
  // A new file gets the usual mode under the umask.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  replaceAtomically(path, target, bytes, 0666 & ~mask);
}

}  // namespace Kivrel::cli

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

// Removes the temporary file unless the rename took it over.
class TempFile {
 public:
  explicit TempFile(std::string name) : name_(std::move(name)) {}
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(name_.c_str());
  }
  std::string& name() { return name_; }
  int fd_ = -1;
  bool committed_ = false;

 private:
  std::string name_;
};

[[noreturn]] void fail(const std::string& path, const char* what, int error) {
  throw CommandError(path + ": " + what + ": " + std::strerror(error));
}

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
  const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) fail(path, "cannot open", errno);
  struct Closer {
    int fd;
    ~Closer() {
      if (fd >= 0) ::close(fd);
    }
  } closer{fd};
  writeAll(fd, bytes, path);
  closer.fd = -1;
  if (::close(fd) != 0) fail(path, "write error", errno);
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
  temp.fd_ = fd;
  writeAll(fd, bytes, path);
  ::fchmod(fd, mode);  // mkstemp creates the file 0600
  if (::fsync(fd) != 0) fail(path, "write error", errno);
  const int closed = ::close(fd);
  temp.fd_ = -1;
  if (closed != 0) fail(path, "write error", errno);
  if (::rename(temp.name().c_str(), target.c_str()) != 0) fail(path, "cannot replace", errno);
  temp.committed_ = true;
}

}  // namespace

void writeOutputFile(const std::string& path, std::string_view bytes) {
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

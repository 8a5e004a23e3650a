#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

}  // namespace

void writeFileAtomically(const std::string& path, std::string_view bytes) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) throw CommandError(path + ": names a directory, not a file");

  std::string pattern = (slash == std::string::npos ? "" : dir) + "." + base + ".XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) fail(path, "cannot create a temporary file beside it", errno);
  TempFile temp(buffer.data());
  temp.fd_ = fd;

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
  // mkstemp creates the file 0600; give it the usual mode under the umask.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  if (::fsync(fd) != 0) fail(path, "write error", errno);
  const int closed = ::close(fd);
  temp.fd_ = -1;
  if (closed != 0) fail(path, "write error", errno);
  if (::rename(temp.name().c_str(), path.c_str()) != 0) fail(path, "cannot replace", errno);
  temp.committed_ = true;
}

}  // namespace Kivrel::cli

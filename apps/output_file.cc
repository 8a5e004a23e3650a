#include "output_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <utility>
#include <vector>

#include "cli_common.h"

namespace Kivrel::cli {

namespace {

[[noreturn]] void fail(const std::string& path, const char* what, int error) {
  throw CommandError(path + ": " + what + ": " + std::strerror(error));
}

void writeAll(int fd, std::string_view bytes, const std::string& path) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    // A stop signal during a blocked write may leave it partly done, not
    // failed with EINTR.
    throwIfInterrupted();
    const ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        // A descriptor given non-blocking: wait until it takes more.
        pollfd ready{fd, POLLOUT, 0};
        ::poll(&ready, 1, -1);
        continue;
      }
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

// Descriptors below this many are checked against those the command was given.
constexpr int kCheckedDescriptors = 1024;
std::bitset<kCheckedDescriptors> givenDescriptors;
bool givenNoted = false;

// The descriptor a name such as /dev/stdout or /dev/fd/3 stands for, or -1.
// Such a name is written through the descriptor the command was given, so
// that a shell's `>> file` keeps its earlier content and its position.
int namedDescriptor(const std::string& path) {
  if (path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::size_t length = std::strlen(prefix);
    if (path.compare(0, length, prefix) != 0 || path.size() == length ||
        path.size() > length + 6) {
      continue;
    }
    int fd = 0;
    for (std::size_t i = length; i < path.size(); ++i) {
      if (path[i] < '0' || path[i] > '9') return -1;
      fd = fd * 10 + (path[i] - '0');
    }
    return fd;
  }
  return -1;
}

}  // namespace

class StandardOutputRoute::Buffer : public std::streambuf {
 public:
  Buffer() { setp(block_, block_ + sizeof block_); }

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  // A failure leaves std::cout bad; flushStandardOutput tells a stop signal
  // from a write error.
  int sync() override {
    const std::string_view pending(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(block_, block_ + sizeof block_);
    try {
      writeAll(STDOUT_FILENO, pending, "<stdout>");
    } catch (...) {
      return -1;
    }
    return 0;
  }

 private:
  char block_[64 * 1024];
};

StandardOutputRoute::StandardOutputRoute()
    : buffer_(std::make_unique<Buffer>()), previous_(std::cout.rdbuf(buffer_.get())) {}

StandardOutputRoute::~StandardOutputRoute() {
  std::cout.flush();
  std::cout.rdbuf(previous_);
}

void noteGivenDescriptors(int argc, char** argv) {
  // Only a command that names a descriptor pays for the look.
  const bool named = std::any_of(argv, argv + argc, [](const char* arg) {
    return std::strstr(arg, "/fd/") || std::strstr(arg, "/dev/std");
  });
  if (!named) return;
  for (int fd = 0; fd < kCheckedDescriptors; ++fd) {
    givenDescriptors[fd] = ::fcntl(fd, F_GETFD) != -1;
  }
  givenNoted = true;
}

bool namesStandardOutput(const std::string& path) {
  return path == "-" || namedDescriptor(path) == STDOUT_FILENO;
}

OutputFile::OutputFile(const std::string& path) : path_(path) {
  if (path.empty()) throw CommandError("an output file name is empty", kExitUsage);
  const int named = namedDescriptor(path);
  if (path == "-" || named == STDOUT_FILENO) {
    toStdout_ = true;  // through std::cout, in order with the command's own output
    return;
  }
  if (named >= 0) {
    // Not one kivrel opened itself, such as another output's temporary file.
    if (givenNoted && named < kCheckedDescriptors && !givenDescriptors[named]) {
      fail(path, "cannot open", EBADF);
    }
    fd_ = ::fcntl(named, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) fail(path, "cannot open", errno);
    return;
  }
  // The kernel follows the links here, those into /proc/N/fd included, whose
  // pipe targets no path names.
  struct stat status;
  if (::stat(path.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) throw CommandError(path + ": names a directory, not a file");
    if (!S_ISREG(status.st_mode)) {
      // Opening a FIFO waits for its reader; a stop signal ends the wait.
      while ((fd_ = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC)) < 0 && errno == EINTR) {
        throwIfInterrupted();
      }
      if (fd_ < 0) fail(path, "cannot open", errno);
      return;
    }
    mode_ = status.st_mode & 07777;
  } else {
    // A new file gets the usual mode under the umask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_ = 0666 & ~mask;
  }
  target_ = followLinks(path);
  const std::size_t slash = target_.rfind('/');
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  if (base.empty()) throw CommandError(path + ": names a directory, not a file");
  std::string pattern =
      (slash == std::string::npos ? "" : target_.substr(0, slash + 1)) + "." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = ::mkstemp(name.data());
  if (fd_ < 0) fail(path, "cannot create a temporary file beside it", errno);
  temp_ = name.data();
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty() && !committed_) ::unlink(temp_.c_str());  // an open file may be unlinked
}

void OutputFile::write(std::string_view bytes) {
  if (toStdout_) {
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return flushStandardOutput();  // which tells a stop signal from a write error
  }
  writeAll(fd_, bytes, path_);
}

void OutputFile::commit() {
  if (toStdout_) return flushStandardOutput();
  if (!temp_.empty()) {
    ::fchmod(fd_, mode_);  // mkstemp creates the file 0600
    if (::fsync(fd_) != 0) fail(path_, "write error", errno);
  }
  // A failed close is a failed write: a full disk or quota may show only here.
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) fail(path_, "write error", errno);
  if (temp_.empty()) return;
  if (::rename(temp_.c_str(), target_.c_str()) != 0) fail(path_, "cannot replace", errno);
  committed_ = true;
}

void writeOutputFile(const std::string& path, std::string_view bytes) {
  OutputFile out(path);
  out.write(bytes);
  out.commit();
}

}  // namespace Kivrel::cli

#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "cli_common.h"
#include "progress_bar.h"

namespace Kivrel::cli {

namespace {

constexpr std::size_t kReadChunk = 1 << 20;
// Enough to tell a PDF, a record stream and a JSON description apart.
constexpr std::size_t kHeadChunk = 64 * 1024;
constexpr std::size_t kPageBytes = 4096;

}  // namespace

ReadChunk::ReadChunk(std::size_t size) : storage_(size + kPageBytes), size_(size) {
  void* start = storage_.data();
  std::size_t space = storage_.size();
  data_ = static_cast<char*>(std::align(kPageBytes, size, start, space));
}

InputFile::InputFile(const std::string& path) : name_(displayName(path)), fd_(STDIN_FILENO) {
  if (!isStdin(path)) {
    // Opening a FIFO waits for its writer; SIGINT ends the wait.
    while ((fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0 && errno == EINTR) {
      throwIfInterrupted();
    }
    if (fd_ < 0) throw CommandError(name_ + ": cannot open: " + std::strerror(errno));
  }
  struct stat info {};
  if (::fstat(fd_, &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      if (fd_ != STDIN_FILENO) ::close(fd_);
      throw CommandError(name_ + ": is a directory, not a file");
    }
    if (S_ISREG(info.st_mode)) {
      // Standard input may start part-way into its file: only the rest is read.
      const off_t at = ::lseek(fd_, 0, SEEK_CUR);
      const off_t start = at > 0 ? std::min(at, info.st_size) : 0;
      size_ = static_cast<std::uint64_t>(info.st_size - start);
    }
  }
}

InputFile::~InputFile() {
  if (fd_ != STDIN_FILENO) ::close(fd_);
}

std::size_t InputFile::readFile(char* dst, std::size_t size) noexcept {
  // A terminal gives end of input once per Ctrl-D: asking again would wait
  // for another.
  if (atEnd_ || readError_ || interruptedRead_) return 0;
  for (;;) {
    if (interrupted()) {
      interruptedRead_ = true;
      return 0;
    }
    const ssize_t n = ::read(fd_, dst, size);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n == 0) {
      atEnd_ = true;
      return 0;
    }
    if (errno != EINTR) {
      readError_ = errno;
      return 0;
    }
  }
}

std::string_view InputFile::head(std::size_t n) {
  while (head_.size() < n) {
    const std::size_t old = head_.size();
    head_.resize(old + std::max(n - old, kHeadChunk));
    const std::size_t got = readFile(head_.data() + old, head_.size() - old);
    head_.resize(old + got);
    if (got == 0) break;
  }
  throwIfFailed();
  return std::string_view(head_).substr(0, n);
}

std::string InputFile::readAll(bool quiet) {
  ProgressBar bar("reading " + name_, size_, quiet);
  std::string bytes = std::move(head_);
  head_.clear();
  if (size_ > bytes.size()) bytes.reserve(static_cast<std::size_t>(size_));
  ReadChunk chunk(kReadChunk);
  while (const std::size_t got = readFile(chunk.data(), chunk.size())) {
    bytes.append(chunk.data(), got);
    bar.update(bytes.size());
  }
  throwIfFailed();
  return bytes;
}

std::size_t InputFile::readSome(char* dst, std::size_t size) noexcept {
  if (handedOut_ < head_.size()) {
    const std::size_t n = std::min(size, head_.size() - handedOut_);
    std::memcpy(dst, head_.data() + handedOut_, n);
    handedOut_ += n;
    return n;
  }
  return readFile(dst, size);
}

void InputFile::throwIfFailed() const {
  if (interruptedRead_) throw Interrupted();
  if (readError_) throw CommandError(name_ + ": read error: " + std::strerror(readError_));
}

InputFileBuffer::InputFileBuffer(InputFile& input, ProgressBar* bar)
    : input_(input), bar_(bar), buffer_(kReadChunk) {}

void InputFileBuffer::delivered(std::size_t bytes) {
  delivered_ += bytes;
  if (bar_) bar_->update(delivered_);
}

InputFileBuffer::int_type InputFileBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const std::size_t got = input_.readSome(buffer_.data(), buffer_.size());
  if (got == 0) return traits_type::eof();
  delivered(got);
  setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
  return traits_type::to_int_type(*gptr());
}

std::streamsize InputFileBuffer::xsgetn(char* dst, std::streamsize count) {
  std::streamsize done = 0;
  while (done < count) {
    const std::size_t wanted = static_cast<std::size_t>(count - done);
    if (gptr() < egptr()) {
      const std::size_t n = std::min(wanted, static_cast<std::size_t>(egptr() - gptr()));
      std::memcpy(dst + done, gptr(), n);
      gbump(static_cast<int>(n));
      done += static_cast<std::streamsize>(n);
    } else if (wanted >= buffer_.size()) {
      // Large reads go straight to the caller, without a copy in between.
      const std::size_t got = input_.readSome(dst + done, wanted);
      // The window read before is no longer what lies behind the position.
      setg(buffer_.data(), buffer_.data(), buffer_.data());
      if (got == 0) break;
      delivered(got);
      done += static_cast<std::streamsize>(got);
    } else if (traits_type::eq_int_type(underflow(), traits_type::eof())) {
      break;
    }
  }
  return done;
}

}  // namespace Kivrel::cli

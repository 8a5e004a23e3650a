// Blocks of a run's document from a file or a Python file object, and the
// page count taken from them on the way.
#include "sources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

namespace Kivrel::python {

namespace {

constexpr std::size_t kBlockBytes = 1 << 20;
constexpr std::size_t kPageBytes = 4096;

std::uint32_t loadLe32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

// With the GIL released, after a system call that EINTR interrupted: the
// exception of a Python signal handler that raised (KeyboardInterrupt), else
// null, and the call is repeated.
std::exception_ptr pendingSignalError() {
  py::gil_scoped_acquire gil;
  if (PyErr_CheckSignals() == 0) return nullptr;
  try {
    throw py::error_already_set();
  } catch (...) {
    return std::current_exception();
  }
}

}  // namespace

OsError::OsError(int code, std::string path)
    : std::runtime_error(path + ": " + std::strerror(code)), code_(code), path_(std::move(path)) {}

// --- RecordPageCounter -------------------------------------------------------

void RecordPageCounter::feed(std::string_view bytes) {
  while (!bytes.empty()) {
    switch (state_) {
      case State::kHeader:
      case State::kSection: {
        const std::size_t want = state_ == State::kHeader ? kRecordHeaderSize : kSectionBodySize;
        const std::size_t take = std::min(want - have_, bytes.size());
        std::memcpy(bytes_ + have_, bytes.data(), take);
        have_ += take;
        bytes.remove_prefix(take);
        if (have_ < want) return;
        have_ = 0;
        if (state_ == State::kHeader) {
          headerDone();
        } else {
          sectionDone();
        }
        break;
      }
      case State::kSkip: {
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(skip_, bytes.size()));
        skip_ -= take;
        bytes.remove_prefix(take);
        if (skip_ == 0) state_ = State::kHeader;
        break;
      }
      case State::kDone:
        return;
    }
  }
}

void RecordPageCounter::headerDone() {
  const auto type = static_cast<RecordType>(loadLe32(bytes_));
  const std::uint32_t length = loadLe32(bytes_ + 4);
  state_ = State::kSkip;
  // The records that start a paragraph, once there is a page for it.
  switch (type) {
    case RecordType::kTableRowFormat:
    case RecordType::kParagraphFormat:
    case RecordType::kParagraphBreak:
    case RecordType::kTableRowEnd:
    case RecordType::kLineBreak:
      paragraphs_ = paragraphs_ || pages_ > 0;
      break;
    default:
      break;
  }
  switch (type) {
    case RecordType::kSection: state_ = State::kSection; return;
    case RecordType::kTableRowFormat: skip_ = kTableRowFormatBodySize; break;
    case RecordType::kReserved3: skip_ = kReserved3BodySize; break;
    case RecordType::kParagraphFormat: skip_ = kParagraphFormatBodySize; break;
    case RecordType::kCharacterFormat: skip_ = kCharacterFormatBodySize; break;
    case RecordType::kParagraphPosition: skip_ = kParagraphPositionBodySize; break;
    case RecordType::kTab: skip_ = 0; break;
    case RecordType::kText:
      if (paragraphs_) {
        skip_ = length;  // read, however long
        break;
      }
      [[fallthrough]];  // consumed like a skipped body
    default:
      // Skipped; the page break opens its page first.
      if (type == RecordType::kPageBreak && pages_ > 0) ++pages_;
      if (length >= kSkipToEndLength) {
        state_ = State::kDone;
        return;
      }
      skip_ = length;
      break;
  }
  if (skip_ == 0) state_ = State::kHeader;
}

void RecordPageCounter::sectionDone() {
  state_ = State::kHeader;
  const bool ignored = loadLe32(bytes_ + 4) & kIgnoredSectionOption;
  const bool allZero =
      std::all_of(bytes_, bytes_ + kSectionBodySize, [](unsigned char c) { return c == 0; });
  if (!ignored && !allZero) ++pages_;
}

int RecordPageCounter::pages() const {
  // A header cut inside its length still acts: a page break opens its page.
  const bool cutPageBreak = state_ == State::kHeader && have_ >= 4 &&
                            static_cast<RecordType>(loadLe32(bytes_)) == RecordType::kPageBreak;
  return pages_ + (cutPageBreak && pages_ > 0 ? 1 : 0);
}

// --- BlockSource -------------------------------------------------------------

std::string_view BlockSource::head(std::size_t n) {
  while (static_cast<std::size_t>(egptr() - gptr()) < n && fetchMore()) {
  }
  return std::string_view(gptr(), std::min<std::size_t>(n, egptr() - gptr()));
}

std::string BlockSource::readAll() {
  std::string whole;
  // A block more than what is left, so that the read that meets the end
  // still fits and the string never grows into a copy twice its size.
  // The size is only a hint: a wrapper may deliver far less than its file.
  // Beyond the cap the string grows as it reads.
  constexpr std::uint64_t kMaxHint = std::uint64_t{1} << 32;
  try {
    whole.reserve(static_cast<std::size_t>(std::min(bytesLeft(), kMaxHint)) + kBlockBytes);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  whole.append(gptr(), egptr());
  block_.clear();
  setg(nullptr, nullptr, nullptr);
  while (!atEnd_) {
    const std::size_t room = whole.capacity() - whole.size();
    atEnd_ = !fetch(whole, room > 0 ? room : kBlockBytes);
  }
  return whole;
}

void BlockSource::countPagesWith(RecordPageCounter* counter) {
  counter_ = counter;
  if (counter_) counter_->feed(std::string_view(gptr(), egptr() - gptr()));
}

BlockSource::int_type BlockSource::underflow() {
  if (gptr() == egptr() && !fetchMore()) return traits_type::eof();
  return traits_type::to_int_type(*gptr());
}

bool BlockSource::fetchMore() {
  if (atEnd_) return false;
  block_.erase(0, static_cast<std::size_t>(gptr() - eback()));
  const std::size_t kept = block_.size();
  atEnd_ = !fetch(block_, kBlockBytes);
  if (counter_) counter_->feed(std::string_view(block_).substr(kept));
  char* begin = block_.data();
  setg(begin, begin, begin + block_.size());
  return block_.size() > kept;
}

// --- FileSource --------------------------------------------------------------

FileSource::FileSource(const std::string& path) : path_(path) {
  // Opening a FIFO waits for its writer; a signal ends the wait.
  while ((fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0 && errno == EINTR) {
    if (std::exception_ptr raised = pendingSignalError()) std::rethrow_exception(raised);
  }
  if (fd_ < 0) throw OsError(errno, path);
  struct stat info {};
  if (::fstat(fd_, &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      throw OsError(EISDIR, path);
    }
    if (S_ISREG(info.st_mode)) size_ = static_cast<std::uint64_t>(info.st_size);
  }
}

FileSource::~FileSource() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileSource::fetch(std::string& block, std::size_t n) {
  if (error_ || interrupt_) return false;
  if (chunk_.empty()) {
    chunk_.resize(kBlockBytes + kPageBytes);
    void* start = chunk_.data();
    std::size_t space = chunk_.size();
    chunkStart_ = static_cast<char*>(std::align(kPageBytes, kBlockBytes, start, space));
  }
  for (;;) {
    const ssize_t got = ::read(fd_, chunkStart_, std::min(n, kBlockBytes));
    if (got >= 0) {
      block.append(chunkStart_, static_cast<std::size_t>(got));
      return got > 0;
    }
    if (errno != EINTR) {
      error_ = errno;
      return false;
    }
    if ((interrupt_ = pendingSignalError())) return false;
  }
}

void FileSource::raiseIfFailed() {
  if (interrupt_) std::rethrow_exception(std::exchange(interrupt_, nullptr));
  if (error_) throw OsError(std::exchange(error_, 0), path_);
}

// --- FileObjectSource --------------------------------------------------------

FileObjectSource::~FileObjectSource() {
  py::gil_scoped_acquire gil;
  file_ = py::object();
}

bool FileObjectSource::fetch(std::string& block, std::size_t n) {
  if (failure_) return false;
  py::gil_scoped_acquire gil;
  try {
    py::object got = file_.attr("read")(std::min(n, kBlockBytes));
    if (!PyObject_CheckBuffer(got.ptr())) {
      throw py::type_error(PyUnicode_Check(got.ptr())
                               ? "source file object must be opened in binary mode"
                               : "source file object's read() gave " +
                                     std::string(Py_TYPE(got.ptr())->tp_name) + ", not bytes");
    }
    // A copy in order, whatever the layout of the buffer it gave.
    if (!PyBytes_Check(got.ptr())) got = py::reinterpret_steal<py::object>(PyBytes_FromObject(got.ptr()));
    if (!got) throw py::error_already_set();
    const std::size_t size = static_cast<std::size_t>(PyBytes_GET_SIZE(got.ptr()));
    block.append(PyBytes_AS_STRING(got.ptr()), size);
    return size > 0;
  } catch (...) {
    failure_ = std::current_exception();
    return false;
  }
}

std::uint64_t FileObjectSource::bytesLeft() {
  py::gil_scoped_acquire gil;
  try {
    const int fd = file_.attr("fileno")().cast<int>();
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    const long long at = file_.attr("tell")().cast<long long>();
    return at >= 0 && at < info.st_size ? static_cast<std::uint64_t>(info.st_size - at) : 0;
  } catch (py::error_already_set& e) {
    // Whatever keeps the size unknown only costs a growing buffer; a
    // KeyboardInterrupt or SystemExit goes on.
    if (e.matches(PyExc_Exception)) return 0;
    throw;
  } catch (const py::cast_error&) {
    return 0;
  }
}

void FileObjectSource::raiseIfFailed() {
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

}  // namespace Kivrel::python

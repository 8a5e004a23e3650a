// Where a run's document comes from when it is not held whole: a file opened
// by path, or a Python file object, read in blocks as the extraction goes.
#ifndef KIVREL_PYTHON_SOURCES_H_
#define KIVREL_PYTHON_SOURCES_H_

#include <pybind11/pybind11.h>

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "kivrel/record_writer.h"

namespace Kivrel::python {

namespace py = pybind11;

// Translated to the OSError subclass of its errno, naming the file.
class OsError : public std::runtime_error {
 public:
  OsError(int code, std::string path);
  int code() const { return code_; }
  const std::string& path() const { return path_; }

 private:
  int code_;
  std::string path_;
};

// The pages a record stream opens, counted from its bytes as the reader
// walks them: every Section it keeps, and every page break once a page is
// open. Fed in pieces of any size.
class RecordPageCounter {
 public:
  void feed(std::string_view bytes);
  // At the end of the stream.
  int pages() const;

 private:
  enum class State { kHeader, kSection, kSkip, kDone };
  void headerDone();
  void sectionDone();

  State state_ = State::kHeader;
  unsigned char bytes_[kSectionBodySize] = {};  // the header or Section body so far
  std::size_t have_ = 0;
  std::uint64_t skip_ = 0;
  int pages_ = 0;
  bool paragraphs_ = false;  // one has started: Text is read, not skipped
};

// A non-seekable stream buffer over blocks that fetch() delivers. The first
// bytes can be looked at before the run reads them, and every byte handed
// out can be fed to a page counter on the way.
class BlockSource : public std::streambuf {
 public:
  BlockSource(const BlockSource&) = delete;
  BlockSource& operator=(const BlockSource&) = delete;

  // Up to n bytes from the front, not consumed (fewer at the end of input).
  std::string_view head(std::size_t n);
  // Everything not yet read, for a PDF, in a string that never has to grow
  // when bytesLeft() knows the size.
  std::string readAll();
  // REQUIRES: nothing has been read yet.
  void countPagesWith(RecordPageCounter* counter);
  // With the GIL held: raises what reading met, if anything.
  virtual void raiseIfFailed() = 0;

 protected:
  BlockSource() = default;
  int_type underflow() override;
  // Appends up to n bytes to block; false at the end of input or on failure.
  virtual bool fetch(std::string& block, std::size_t n) = 0;
  // A hint at the bytes that fetch has yet to deliver, when known (a regular
  // file); else 0. Nothing breaks when it is wrong.
  virtual std::uint64_t bytesLeft() { return 0; }

 private:
  bool fetchMore();

  std::string block_;
  RecordPageCounter* counter_ = nullptr;
  bool atEnd_ = false;
};

// The file at path, opened once, so that pipes and FIFOs work as well.
// Used with the GIL released.
class FileSource : public BlockSource {
 public:
  explicit FileSource(const std::string& path);  // throws OsError
  ~FileSource() override;
  void raiseIfFailed() override;

 protected:
  bool fetch(std::string& block, std::size_t n) override;
  std::uint64_t bytesLeft() override { return size_; }  // at most the file size

 private:
  std::string path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  // What one read(2) lands in, from chunkStart_, on a page: the kernel's
  // copy from the page cache ran seven times slower into a destination 1 to
  // 31 bytes past the source's offset within a page, where a heap block's
  // header puts it.
  std::vector<char> chunk_;
  char* chunkStart_ = nullptr;
  int error_ = 0;  // errno of a failed read
  std::exception_ptr interrupt_;
};

// A Python binary file object. Used with the GIL released; takes it for each
// block. What read() raises ends the input and is raised by raiseIfFailed.
class FileObjectSource : public BlockSource {
 public:
  explicit FileObjectSource(py::object file) : file_(std::move(file)) {}
  ~FileObjectSource() override;
  void raiseIfFailed() override;

 protected:
  bool fetch(std::string& block, std::size_t n) override;
  // From fileno() and tell(), which a file opened by open() has.
  std::uint64_t bytesLeft() override;

 private:
  py::object file_;
  std::exception_ptr failure_;
};

}  // namespace Kivrel::python

#endif  // KIVREL_PYTHON_SOURCES_H_

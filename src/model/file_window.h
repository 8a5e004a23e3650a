// A moving window of a regular file mapped into memory, for reading a
// std::filebuf's file in place instead of copying it out of the page cache.
#ifndef KIVREL_MODEL_FILE_WINDOW_H_
#define KIVREL_MODEL_FILE_WINDOW_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>

namespace Kivrel::internal {

// Copying a large cached file out took about a third of a run over a
// 1.6 GB stream, while parsing it where the page cache holds it touches
// only the bytes a record's fields use. The mapping covers a few megabytes
// at a time, so the address space and the resident set grow by no more
// than that, whatever the file's size.
//
// A file that another process shortens while a window covers the lost part
// ends this process with SIGBUS, as any mapped file does (a window is read in
// a millisecond or two, and each new one is fitted to the file's size then);
// a host that must survive that reads through a stream buffer of its own.
class FileWindow {
 public:
  // Bytes each window maps: two huge pages, so that a window placed on the
  // huge page holding a read's first byte always holds a whole read.
  static constexpr std::size_t kWindowBytes = 4u << 20;
  static constexpr std::size_t kWindowAlignment = 2u << 20;

  // A window onto the file under buf when buf is exactly a std::filebuf
  // (not a class derived from it, which may change what it reads) holding no
  // character put back, reading a regular file that holds at least minBytes
  // past the buffer's position; null otherwise, or where the library cannot
  // map files. The window starts at that position, which start() gives.
  static std::unique_ptr<FileWindow> open(std::streambuf& buf, std::uint64_t minBytes);

  ~FileWindow();
  FileWindow(const FileWindow&) = delete;
  FileWindow& operator=(const FileWindow&) = delete;

  // Where the stream buffer stood when the window was opened.
  std::uint64_t start() const { return start_; }

  // Maps a window holding [offset, offset + n). Returns false when the file
  // now ends before that, or the mapping fails; the previous window is gone
  // either way.
  // REQUIRES: n <= kWindowBytes - kWindowAlignment.
  bool moveTo(std::uint64_t offset, std::size_t n);

  // The current window: its first byte, its offset in the file, its length.
  const unsigned char* data() const { return data_; }
  std::uint64_t offset() const { return offset_; }
  std::size_t length() const { return length_; }

 private:
  FileWindow(int fd, std::uint64_t start) : fd_(fd), start_(start) {}
  void unmap() noexcept;

  int fd_;  // the stream buffer's, not owned
  std::uint64_t start_;
  const unsigned char* data_ = nullptr;
  std::uint64_t offset_ = 0;
  std::size_t length_ = 0;
};

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_FILE_WINDOW_H_

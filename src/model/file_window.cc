// A moving window of a regular file mapped into memory.
#include "model/file_window.h"

#include <fstream>
#include <ios>
#include <locale>
#include <typeinfo>

#if defined(__linux__) && defined(__GLIBCXX__)
#include <sys/mman.h>
#include <sys/stat.h>
#define KIVREL_FILE_WINDOWS 1
#endif

namespace Kivrel::internal {

#if defined(KIVREL_FILE_WINDOWS)

namespace {

// What a libstdc++ std::filebuf keeps of its file. Its members are protected;
// pointers to them formed through a derived class are an ordinary,
// well-defined way to read them from any std::filebuf.
struct FilebufState : std::filebuf {
  static int descriptor(std::filebuf& buf) { return (buf.*(&FilebufState::_M_file)).fd(); }
  // A character put back that the file does not hold there: the next read
  // gives it, and a position query does not count it.
  static bool holdsPutback(std::filebuf& buf) { return buf.*(&FilebufState::_M_pback_init); }
};

}  // namespace

std::unique_ptr<FileWindow> FileWindow::open(std::streambuf& buf, std::uint64_t minBytes) {
  if (typeid(buf) != typeid(std::filebuf)) return nullptr;
  auto& file = static_cast<std::filebuf&>(buf);
  // A conversion facet would change the bytes; pending output must reach the
  // file before its bytes are read from there.
  if (!file.is_open() || FilebufState::holdsPutback(file) ||
      !std::use_facet<std::codecvt<char, char, std::mbstate_t>>(file.getloc()).always_noconv() ||
      file.pubsync() != 0) {
    return nullptr;
  }
  const int fd = FilebufState::descriptor(file);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  // Where the reads would go on: past what the buffer already holds.
  const std::streamoff at = file.pubseekoff(0, std::ios_base::cur, std::ios_base::in);
  if (at < 0 || st.st_size < at) return nullptr;
  const auto start = static_cast<std::uint64_t>(at);
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size - start < minBytes) return nullptr;
  std::unique_ptr<FileWindow> window(new FileWindow(fd, start));
  // Mapped now, so that a file the process may not map (opened for writing
  // only, say) is read as before, with the stream buffer untouched.
  if (!window->moveTo(start, 1)) return nullptr;
  return window;
}

bool FileWindow::moveTo(std::uint64_t offset, std::size_t n) {
  unmap();
  // A window past the end would fault; the size is asked again each time, so
  // only a file shortened while one window is read can make it so.
  struct stat st;
  if (fstat(fd_, &st) != 0) return false;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (offset > size || n > size - offset) return false;
  const std::uint64_t base = offset & ~std::uint64_t{kWindowAlignment - 1};
  const std::uint64_t left = size - base;
  const std::size_t length = left < kWindowBytes ? static_cast<std::size_t>(left) : kWindowBytes;
  void* p = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd_, static_cast<off_t>(base));
  if (p == MAP_FAILED) return false;
  data_ = static_cast<const unsigned char*>(p);
  offset_ = base;
  length_ = length;
  return true;
}

void FileWindow::unmap() noexcept {
  if (data_) munmap(const_cast<unsigned char*>(data_), length_);
  data_ = nullptr;
  length_ = 0;
}

#else

std::unique_ptr<FileWindow> FileWindow::open(std::streambuf&, std::uint64_t) { return nullptr; }
bool FileWindow::moveTo(std::uint64_t, std::size_t) { return false; }
void FileWindow::unmap() noexcept {}

#endif

FileWindow::~FileWindow() { unmap(); }

}  // namespace Kivrel::internal

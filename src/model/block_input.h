// Reads the record stream in large blocks while behaving, record by record,
// like the per-record std::istream reads and seeks it replaces.
#ifndef KIVREL_MODEL_BLOCK_INPUT_H_
#define KIVREL_MODEL_BLOCK_INPUT_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <istream>
#include <memory>
#include <vector>

#include "model/file_window.h"

namespace Kivrel::internal {

// Each read(n) stands for one in.read(buffer, n), each skip(length) for one
// relative seek of length bytes (or a read and discard where the input cannot
// seek). Bytes are taken from the stream buffer in blocks, so a record costs no
// stream call. Where the input ends or fails inside a read, that one read is
// replayed on the host's stream itself, so its state bits, gcount() and any
// exception are what the per-record reads would have left; the stream is then
// failed and every later read goes to it directly, as before.
// A long regular file read by a std::filebuf is parsed where it is mapped
// (FileWindow) until its last window; the stream buffer is then moved to
// where the reads stand and read from there on, and it stands there too if
// this object ends first.
// Everything happens on the caller's thread.
// REQUIRES: nothing else reads from `in` while this object is in use.
class BlockInput {
 public:
  // The largest n a single read may ask for.
  static constexpr std::size_t kMaxRead = 64 * 1024;

  // Once the stream has given this many bytes, blocks grow.
  static constexpr std::size_t kLongStreamBytes = 64 << 20;

  // Files with at least this many bytes left are mapped. Not shorter ones:
  // the copy of a short file comes from the processor's cache, and a 1.7 MB
  // stream ran slower mapped, for the mapping's page faults in every run.
  static constexpr std::uint64_t kMapMinBytes = 8 << 20;

  explicit BlockInput(std::istream& in, std::size_t longStreamBytes = kLongStreamBytes,
                      std::uint64_t mapMinBytes = kMapMinBytes);
  ~BlockInput();
  BlockInput(const BlockInput&) = delete;
  BlockInput& operator=(const BlockInput&) = delete;

  // in.fail() as the per-record reads would see it now.
  bool failed() const { return failed_; }

  // Reads n <= kMaxRead bytes. Returns where they are (valid until the next
  // call) and sets got to how many were delivered: n, or fewer when
  // the input ended, after which failed() is true.
  const unsigned char* read(std::size_t n, std::size_t& got) {
    if (!failed_ && end_ - pos_ >= n) {
      const unsigned char* p = data_ + pos_;
      pos_ += n;
      got = n;
      return p;
    }
    return readSlow(n, got);
  }

  // n bytes when the block already holds them, else null and nothing is
  // consumed: a shortcut for callers that fall back to read().
  const unsigned char* readBuffered(std::size_t n) {
    if (failed_ || end_ - pos_ < n) return nullptr;
    const unsigned char* p = data_ + pos_;
    pos_ += n;
    return p;
  }

  // In a mapped window, asks the processor for the bytes ahead of the reads:
  // a record uses few of its bytes, too far apart for its own prefetching,
  // and each line it waits for costs more than asking for every line.
  void prefetchAhead() {
    const std::size_t want = std::min(pos_ + kPrefetchBytes, end_);
    prefetched_ = std::max(prefetched_, pos_);  // not what a skip passed over
#if defined(__GNUC__)
    for (; prefetched_ < want; prefetched_ += 64) __builtin_prefetch(data_ + prefetched_);
#else
    prefetched_ = std::max(prefetched_, want);
#endif
  }

  // Passes over length bytes unless failed(); lengths of 2^31 or more move to
  // the end of the input.
  void skip(std::uint32_t length);

 private:
  const unsigned char* readSlow(std::size_t n, std::size_t& got);
  // Reads at the file offset `at` from the mapping, or from the stream
  // buffer once the file's last window is passed.
  void moveWindow(std::uint64_t at, std::size_t n);
  void useWindow(std::uint64_t at);
  // The file offset of the next read, in a window.
  std::uint64_t windowReadsAt() const { return window_->offset() + pos_; }
  void leaveWindow(std::uint64_t at);
  // Tops the block up to at least n unread bytes unless the input ends first.
  void fillFor(std::size_t n);
  void fillOnce();
  std::size_t replay(std::size_t n);
  void discard(bool toEnd, std::uint32_t count);

  struct BlockDelete {
    std::size_t bytes;  // no initialiser: that would keep Block from a default constructor
    void operator()(unsigned char* p) const noexcept;
  };
  using Block = std::unique_ptr<unsigned char[], BlockDelete>;
  static Block newBlock(std::size_t bytes);
  std::size_t capacity() const { return block_.get_deleter().bytes; }

  std::istream& in_;
  std::unique_ptr<FileWindow> window_;   // while the file is read where it is mapped
  Block block_;                          // otherwise
  const unsigned char* data_ = nullptr;  // the window's or the block's bytes
  const std::size_t longStreamBytes_;
  std::size_t delivered_ = 0;  // by the stream buffer so far
  std::size_t inputOffset_ = 0;  // of the stream buffer's next byte; its place in a page counts
  std::vector<unsigned char> scratch_;  // replayed reads land here
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  // How far ahead: 4 and 16 KiB ran alike over a 1.6 GB stream.
  static constexpr std::size_t kPrefetchBytes = 4096;
  // Up to where prefetchAhead asked; past any end outside a window.
  std::size_t prefetched_ = static_cast<std::size_t>(-1);
  bool atEnd_ = false;           // the stream buffer has no more bytes
  std::exception_ptr error_;     // what it threw instead, at end_
  bool failed_ = false;
};

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_BLOCK_INPUT_H_

// Reads the record stream in large blocks while behaving, record by record,
// like the per-record std::istream reads and seeks it replaces.
#ifndef KIVREL_MODEL_BLOCK_INPUT_H_
#define KIVREL_MODEL_BLOCK_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <exception>
#include <istream>
#include <memory>
#include <vector>

namespace Kivrel::internal {

// Each read(n) stands for one in.read(buffer, n), each skip(length) for one
// relative seek of length bytes (or a read and discard where the input cannot
// seek). Bytes are taken from the stream buffer in blocks, so a record costs no
// stream call. Where the input ends or fails inside a read, that one read is
// replayed on the host's stream itself, so its state bits, gcount() and any
// exception are what the per-record reads would have left; the stream is then
// failed and every later read goes to it directly, as before.
// Everything happens on the caller's thread.
// REQUIRES: nothing else reads from `in` while this object is in use.
class BlockInput {
 public:
  // The largest n a single read may ask for.
  static constexpr std::size_t kMaxRead = 64 * 1024;

  // Once the stream has given this many bytes, blocks grow.
  static constexpr std::size_t kLongStreamBytes = 64 << 20;

  explicit BlockInput(std::istream& in, std::size_t longStreamBytes = kLongStreamBytes);
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

  // Passes over length bytes unless failed(); lengths of 2^31 or more move to
  // the end of the input.
  void skip(std::uint32_t length);

 private:
  const unsigned char* readSlow(std::size_t n, std::size_t& got);
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
  Block block_;
  const unsigned char* data_ = nullptr;  // the block's bytes
  const std::size_t longStreamBytes_;
  std::size_t delivered_ = 0;  // by the stream buffer so far
  std::size_t inputOffset_ = 0;  // of the stream buffer's next byte; its place in a page counts
  std::vector<unsigned char> scratch_;  // replayed reads land here
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool atEnd_ = false;           // the stream buffer has no more bytes
  std::exception_ptr error_;     // what it threw instead, at end_
  bool failed_ = false;
};

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_BLOCK_INPUT_H_

// Block reads of the record stream with the per-record stream semantics.
#include "model/block_input.h"

#include "kivrel/record_writer.h"
#include "model/prefault.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <streambuf>
#include <utility>

namespace Kivrel::internal {

namespace {

// Large enough that a block costs one read(2) per quarter megabyte, small
// enough to stay in the cache it is parsed from.
constexpr std::size_t kFirstBlockSize = 256 * 1024;
// A long stream goes on in blocks as large as the reads its host would make,
// which saves about 3 % of a 1.6 GB stream's run. Not before: the larger
// block's page faults cost a small document more than the fewer reads save.
constexpr std::size_t kLongStreamBlockSize = 1024 * 1024;
static_assert(kFirstBlockSize >= BlockInput::kMaxRead);
// Copying from the page cache into a destination that stands 1 to 31 bytes
// past the source's offset within a page ran seven times slower on the
// development machine, and a heap block's header puts the first read there.
// So blocks are page-aligned, and every read lands at the offset within a
// page that its first byte has in the input: counted from where this reader
// started (for a file just opened, its start), and from where a seek says
// the stream stands once it has seeked.
constexpr std::size_t kPageBytes = 4096;
static_assert(kFirstBlockSize >= BlockInput::kMaxRead + kPageBytes);
// A skip this long would be a backward move as a signed offset.
constexpr std::uint32_t kLongSkip = kSkipToEndLength;

// Serves the bytes left in the block, then what the host's stream buffer gave
// at that point: the end of input or its exception.
class TailBuf : public std::streambuf {
 public:
  TailBuf(unsigned char* begin, unsigned char* end, std::exception_ptr error)
      : error_(std::move(error)) {
    char* b = reinterpret_cast<char*>(begin);
    setg(b, b, reinterpret_cast<char*>(end));
  }
  bool threw() const { return threw_; }

 protected:
  int_type underflow() override {
    if (error_) {
      threw_ = true;
      std::rethrow_exception(error_);
    }
    return traits_type::eof();
  }

 private:
  std::exception_ptr error_;
  bool threw_ = false;
};

}  // namespace

static_assert(kBlockAlignment % kPageBytes == 0);

void BlockInput::BlockDelete::operator()(unsigned char* p) const noexcept {
  freeLargeBlock(p, bytes);
}

BlockInput::Block BlockInput::newBlock(std::size_t bytes) {
  void* p = allocateLargeBlock(bytes);
  if (!p) throw std::bad_alloc();
  return Block(static_cast<unsigned char*>(p), BlockDelete{bytes});
}

BlockInput::BlockInput(std::istream& in, std::size_t longStreamBytes)
    : in_(in), longStreamBytes_(longStreamBytes), failed_(!in.good()) {
  if (failed_) return;
  block_ = newBlock(kFirstBlockSize);
  data_ = block_.get();
}

const unsigned char* BlockInput::readSlow(std::size_t n, std::size_t& got) {
  if (!failed_) {
    fillFor(n);
    if (end_ - pos_ >= n) return read(n, got);
  }
  if (scratch_.size() < n) scratch_.resize(n);
  if (failed_) {
    // The stream itself is failed now: its read delivers nothing and sets
    // its bits as it always did.
    in_.read(reinterpret_cast<char*>(scratch_.data()), static_cast<std::streamsize>(n));
    got = static_cast<std::size_t>(in_.gcount());
    return scratch_.data();
  }
  got = replay(n);
  return scratch_.data();
}

void BlockInput::fillFor(std::size_t n) {
  const std::size_t unread = end_ - pos_;
  // Where the unread bytes go so that the next read lands congruent.
  const std::size_t start = (inputOffset_ - unread) & (kPageBytes - 1);
  if (capacity() < kLongStreamBlockSize && delivered_ >= longStreamBytes_) {
    Block larger = newBlock(kLongStreamBlockSize);
    std::memcpy(larger.get() + start, block_.get() + pos_, unread);
    block_ = std::move(larger);
    data_ = block_.get();
  } else if (pos_ != start) {
    std::memmove(block_.get() + start, block_.get() + pos_, unread);
  }
  pos_ = start;
  end_ = start + unread;
  while (end_ - pos_ < n && !atEnd_) fillOnce();
}

void BlockInput::fillOnce() {
  std::streambuf* buf = in_.rdbuf();
  char* dest = reinterpret_cast<char*>(block_.get() + end_);
  const std::streamsize space = static_cast<std::streamsize>(capacity() - end_);
  try {
    // Take only what the buffer says it holds, so that an exception from
    // its underflow comes exactly where the bytes run out.
    std::streamsize avail = 0;
    try {
      avail = buf->in_avail();
    } catch (...) {
      avail = 0;  // the per-record reads never asked
    }
    if (avail <= 0) {
      if (std::streambuf::traits_type::eq_int_type(buf->sgetc(),
                                                   std::streambuf::traits_type::eof())) {
        atEnd_ = true;
        return;
      }
      avail = std::max<std::streamsize>(buf->in_avail(), 1);
    }
    const std::streamsize want = std::min(avail, space);
    const std::streamsize got = buf->sgetn(dest, want);
    end_ += static_cast<std::size_t>(got);
    delivered_ += static_cast<std::size_t>(got);
    inputOffset_ += static_cast<std::size_t>(got);
    if (got < want || got == 0) atEnd_ = true;
  } catch (...) {
    error_ = std::current_exception();
    atEnd_ = true;
  }
}

// The one read that meets the end of input runs on the host's stream over
// the bytes still in the block, so the stream ends in the state, gcount and
// exception that read would have given it.
std::size_t BlockInput::replay(std::size_t n) {
  TailBuf tail(block_.get() + pos_, block_.get() + end_, error_);
  const std::ios_base::iostate mask = in_.exceptions();
  in_.exceptions(std::ios_base::goodbit);
  std::streambuf* host = in_.rdbuf(&tail);
  in_.read(reinterpret_cast<char*>(scratch_.data()), static_cast<std::streamsize>(n));
  const std::size_t got = static_cast<std::size_t>(in_.gcount());
  const std::ios_base::iostate state = in_.rdstate();
  in_.rdbuf(host);  // clears the state, which was good before the read
  in_.exceptions(mask);
  pos_ = end_;
  failed_ = true;
  if (tail.threw() && (mask & std::ios_base::badbit)) {
    // The stream sets badbit and lets the buffer's own exception through.
    try {
      in_.setstate(state);
    } catch (const std::ios_base::failure&) {
    }
    std::rethrow_exception(error_);
  }
  in_.setstate(state);  // throws where the read would have
  return got;
}

void BlockInput::skip(std::uint32_t length) {
  if (failed_ || length == 0) return;
  const std::size_t buffered = end_ - pos_;
  if (length < kLongSkip && length <= buffered) {
    pos_ += length;
    return;
  }
  std::streambuf* buf = in_.rdbuf();
  const std::streampos failedSeek(std::streamoff(-1));
  // The stream buffer stands `buffered` bytes ahead of the reader.
  const std::streampos moved =
      length >= kLongSkip
          ? buf->pubseekoff(0, std::ios_base::end, std::ios_base::in)
          : buf->pubseekoff(static_cast<std::streamoff>(length - buffered), std::ios_base::cur,
                            std::ios_base::in);
  if (moved == failedSeek) return discard(length >= kLongSkip, length);
  inputOffset_ = static_cast<std::size_t>(static_cast<std::streamoff>(moved));
  pos_ = end_ = 0;
  atEnd_ = false;
  error_ = nullptr;
}

// Reads and drops count bytes (all that is left with toEnd) in the chunks
// the discarding reads always used.
void BlockInput::discard(bool toEnd, std::uint32_t count) {
  std::size_t left = count;
  while ((toEnd || left > 0) && !failed_) {
    const std::size_t want = toEnd ? kMaxRead : std::min(left, kMaxRead);
    std::size_t got = 0;
    read(want, got);
    if (got < want) break;
    if (!toEnd) left -= want;
  }
}

}  // namespace Kivrel::internal

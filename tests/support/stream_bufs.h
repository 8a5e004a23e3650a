// Test support: stream buffers that behave like inputs other than a file.
#ifndef KIVREL_TESTS_SUPPORT_STREAM_BUFS_H_
#define KIVREL_TESTS_SUPPORT_STREAM_BUFS_H_

#include <algorithm>
#include <cstddef>
#include <ios>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <utility>

namespace Kivrel::testing {

// An input that cannot seek, as a pipe.
class NoSeekBuf : public std::stringbuf {
 public:
  explicit NoSeekBuf(const std::string& s) : std::stringbuf(s, std::ios::in) {}

 protected:
  pos_type seekoff(off_type, std::ios_base::seekdir, std::ios_base::openmode) override {
    return pos_type(off_type(-1));
  }
};

// Serves its bytes one to three at a time and cannot seek; at the end it
// reports end of input or throws.
class TrickleBuf : public std::streambuf {
 public:
  TrickleBuf(std::string bytes, bool throwAtEnd)
      : bytes_(std::move(bytes)), throwAtEnd_(throwAtEnd) {}

 protected:
  int_type underflow() override {
    if (next_ == bytes_.size()) {
      if (throwAtEnd_) throw std::runtime_error("device lost");
      return traits_type::eof();
    }
    std::size_t n = std::min<std::size_t>(1 + next_ % 3, bytes_.size() - next_);
    setg(&bytes_[next_], &bytes_[next_], &bytes_[next_] + n);
    next_ += n;
    return traits_type::to_int_type(bytes_[next_ - n]);
  }

 private:
  std::string bytes_;
  bool throwAtEnd_;
  std::size_t next_ = 0;
};

}  // namespace Kivrel::testing

#endif  // KIVREL_TESTS_SUPPORT_STREAM_BUFS_H_

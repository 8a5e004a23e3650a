// Block reads of the record stream: every byte where the per-record reads
// and seeks would have found it, whatever the input and block changes.
#include "model/block_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/stream_bufs.h"

namespace Kivrel::internal {
namespace {

std::string patternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t x = 12345;
  for (char& c : bytes) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

// Random reads, shortcut reads and skips until the input ends, each checked
// against the source bytes.
void readAllChecked(std::istream& in, const std::string& source, std::size_t longStreamBytes) {
  BlockInput input(in, longStreamBytes);
  std::mt19937 rng(20261207);
  std::size_t pos = 0;
  while (!input.failed()) {
    const std::size_t left = source.size() - pos;
    const unsigned kind = rng() % 10;
    if (kind < 2) {
      const std::uint32_t length = rng() % 400000;
      input.skip(length);
      pos += std::min<std::size_t>(length, left);
      continue;
    }
    const std::size_t n = 1 + rng() % (kind < 6 ? 64 : BlockInput::kMaxRead);
    if (kind == 9) {
      if (const unsigned char* p = input.readBuffered(n)) {
        ASSERT_LE(n, left);
        ASSERT_EQ(std::memcmp(p, source.data() + pos, n), 0) << "at " << pos;
        pos += n;
      }
      continue;
    }
    std::size_t got = 0;
    const unsigned char* p = input.read(n, got);
    ASSERT_EQ(got, std::min(n, left)) << "at " << pos;
    ASSERT_EQ(std::memcmp(p, source.data() + pos, got), 0) << "at " << pos;
    pos += got;
    ASSERT_EQ(input.failed(), n > left);
  }
  EXPECT_EQ(pos, source.size());
}

// Records where each bulk read lands and the input offset it starts at.
class LandingBuf : public std::stringbuf {
 public:
  explicit LandingBuf(const std::string& bytes)
      : std::stringbuf(bytes, std::ios::in | std::ios::binary) {}
  std::vector<std::pair<std::uintptr_t, std::ptrdiff_t>> landings;

 protected:
  std::streamsize xsgetn(char* s, std::streamsize n) override {
    landings.emplace_back(reinterpret_cast<std::uintptr_t>(s), gptr() - eback());
    return std::stringbuf::xsgetn(s, n);
  }
};

// The kernel's copy from the page cache is several times slower into a
// destination a few bytes past the source's offset within a page, so every
// bulk read from a seekable input lands at its input offset within a page.
TEST(BlockInput, DeliversEveryByteInOrderOnAnyInputAndBlockSize) {
  const std::string source = patternBytes(8 << 20);
  // Blocks that grow early, mid-stream, and not at all in this stream.
  for (std::size_t longStreamBytes : {std::size_t{0}, std::size_t{300000},
                                      BlockInput::kLongStreamBytes}) {
    SCOPED_TRACE(longStreamBytes);
    LandingBuf landing(source);
    std::istream seekable(&landing);
    testing::NoSeekBuf noSeek(source);
    std::istream noSeekIn(&noSeek);
    testing::TrickleBuf trickle(source, false);
    std::istream trickleIn(&trickle);
    for (std::istream* in : {&seekable, &noSeekIn, &trickleIn}) {
      readAllChecked(*in, source, longStreamBytes);
    }
    ASSERT_GE(landing.landings.size(), 5u);
    for (const auto& [address, offset] : landing.landings) {
      EXPECT_EQ(address % 4096, static_cast<std::uintptr_t>(offset) % 4096) << "at " << offset;
    }
  }
}

}  // namespace
}  // namespace Kivrel::internal

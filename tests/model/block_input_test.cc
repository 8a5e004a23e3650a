// Block reads of the record stream: every byte where the per-record reads
// and seeks would have found it, whatever the input and block changes.
#include "model/block_input.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/stream_bufs.h"
#include "support/temp_file.h"

namespace Kivrel::internal {
namespace {

namespace fs = std::filesystem;

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
// against the source bytes; the stream then ends as a read past its end does.
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
  EXPECT_TRUE(in.eof() && in.fail() && !in.bad());
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
// bulk read from a seekable input lands at its input offset within a page
// (checked here for the stream buffer that records it; for a file, in the
// skip test below).
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
    testing::TempFile file(source);
    std::ifstream fileIn(file.path(), std::ios::binary);
    readAllChecked(fileIn, source, longStreamBytes);
    ASSERT_GE(landing.landings.size(), 5u);
    for (const auto& [address, offset] : landing.landings) {
      EXPECT_EQ(address % 4096, static_cast<std::uintptr_t>(offset) % 4096) << "at " << offset;
    }
  }
}

// A pipe whose writer pauses: the stream buffer has nothing at hand between
// the pieces, the reader waits for them, and the blocks, grown or not, keep
// the bytes in order.
TEST(BlockInput, APausingPipeDeliversEveryByte) {
  const std::string source = patternBytes(3 << 20);
  const fs::path fifo = fs::temp_directory_path() / ("kivrel-fifo-" + std::to_string(::getpid()));
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (std::size_t longStreamBytes : {std::size_t{0}, std::size_t{300000}}) {
    SCOPED_TRACE(longStreamBytes);
    std::thread writer([&] {
      const int fd = ::open(fifo.c_str(), O_WRONLY);
      if (fd < 0) return;
      ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);  // pieces larger than a fill
      std::size_t at = 0;
      for (std::size_t piece : {std::size_t{4096}, std::size_t{100000}, std::size_t{1 << 20},
                                source.size()}) {
        piece = std::min(piece, source.size() - at);
        for (std::size_t done = 0; done < piece;) {
          const ssize_t n = ::write(fd, source.data() + at + done, piece - done);
          if (n <= 0) break;
          done += static_cast<std::size_t>(n);
        }
        at += piece;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      ::close(fd);
    });
    std::ifstream in(fifo, std::ios::binary);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the first piece is there
    readAllChecked(in, source, longStreamBytes);
    writer.join();
  }
  fs::remove(fifo);
}

// Passes bytes through but refuses 0xFF, so that a file buffer's underflow
// throws there, as a failing device would.
class RefusingCodecvt : public std::codecvt<char, char, std::mbstate_t> {
 public:
  RefusingCodecvt() = default;  // references 0: the locale deletes it

 protected:
  bool do_always_noconv() const noexcept override { return false; }
  result do_in(state_type&, const char* from, const char* fromEnd, const char*& fromNext,
               char* to, char* toEnd, char*& toNext) const override {
    fromNext = from;
    toNext = to;
    while (fromNext < fromEnd && toNext < toEnd) {
      if (static_cast<unsigned char>(*fromNext) == 0xFF) return toNext == to ? error : partial;
      *toNext++ = *fromNext++;
    }
    return ok;
  }
};

// Bytes before the fault arrive intact, and the read that runs out of them
// leaves the stream bad and throws the buffer's own exception where the
// stream asks for it.
TEST(BlockInput, AFileBufferThatThrowsEndsTheReadsWithItsException) {
  std::string source(3 << 20, 'a');
  const std::size_t fault = source.size() - 1000;
  source[fault] = '\xFF';
  testing::TempFile file(source);
  for (std::ios::iostate mask : {std::ios::badbit, std::ios::goodbit}) {
    SCOPED_TRACE("mask " + std::to_string(mask));
    std::ifstream in;
    in.imbue(std::locale(std::locale::classic(), new RefusingCodecvt));
    in.open(file.path(), std::ios::binary);
    in.exceptions(mask);
    BlockInput input(in);
    std::size_t pos = 0;
    std::string thrown;
    try {
      for (std::size_t got = 4096; got == 4096;) {
        const unsigned char* p = input.read(4096, got);
        ASSERT_EQ(std::memcmp(p, source.data() + pos, got), 0) << "at " << pos;
        pos += got;
      }
    } catch (const std::ios_base::failure& e) {
      thrown = e.what();
    }
    EXPECT_EQ(thrown.find("invalid byte sequence") != std::string::npos, mask != 0) << thrown;
    EXPECT_TRUE(in.bad());
    EXPECT_TRUE(input.failed());
    EXPECT_LE(pos, fault);
  }
}

// Skips that end in the block being parsed, past it, and at or
// beyond the end of the input, each followed by a read.
TEST(BlockInput, SkipsLandWhereTheyShould) {
  const std::string source = patternBytes(6 << 20);
  testing::TempFile file(source);
  struct Case {
    std::size_t readFirst;
    std::uint32_t skip;
  } cases[] = {
      {100, 1000},         {100, 900000},        {100, 2500000},        {600000, 700000},
      {1 << 20, 3 << 20},  {100, 0x80000000u},   {100, (6 << 20) - 99}, {100, (6 << 20) - 100},
      {(6 << 20) - 10, 5}, {(6 << 20) - 10, 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.readFirst) + " then " + std::to_string(c.skip));
    std::ifstream in(file.path(), std::ios::binary);
    BlockInput input(in);
    std::size_t pos = 0;
    while (pos < c.readFirst) {
      std::size_t got = 0;
      const std::size_t n = std::min(BlockInput::kMaxRead, c.readFirst - pos);
      const unsigned char* p = input.read(n, got);
      ASSERT_EQ(got, n);
      ASSERT_EQ(std::memcmp(p, source.data() + pos, n), 0) << "at " << pos;
      pos += n;
    }
    input.skip(c.skip);
    const std::size_t after =
        c.skip >= 0x80000000u ? source.size() : std::min(source.size(), pos + c.skip);
    std::size_t got = 0;
    const unsigned char* p = input.read(8, got);
    ASSERT_EQ(got, std::min<std::size_t>(8, source.size() - after));
    EXPECT_EQ(std::memcmp(p, source.data() + after, got), 0);
    if (got == 8) {
      EXPECT_EQ((reinterpret_cast<std::uintptr_t>(p) - after) % 4096, 0u) << "lands off its page";
    }
    EXPECT_EQ(input.failed(), after + 8 > source.size());
  }
}

// Everything the reads deliver until the input ends.
std::string drain(std::istream& in) {
  BlockInput input(in);
  std::string bytes;
  while (!input.failed()) {
    std::size_t got = 0;
    const unsigned char* p = input.read(BlockInput::kMaxRead, got);
    bytes.append(reinterpret_cast<const char*>(p), got);
  }
  return bytes;
}

// The host may hand over a file stream it has read from, put a character
// back into, or written to; the reads go on from where it stands, with its
// put-back character and its written bytes.
TEST(BlockInput, AFileStreamIsReadOnFromWhereTheHostLeftIt) {
  const std::string source = patternBytes(5 << 20);
  testing::TempFile file(source);
  std::string edited = source;
  edited.replace(100, 5, "hello");
  const struct Case {
    const char* name;
    std::function<void(std::fstream&)> use;
    std::string expected;
  } cases[] = {
      {"read part",
       [](std::fstream& f) {
         char head[1000];
         f.read(head, sizeof head);
       },
       source.substr(1000)},
      {"put back",
       [](std::fstream& f) {
         char head[10];
         f.read(head, sizeof head);
         f.putback('Z');
       },
       "Z" + source.substr(10)},
      {"written",
       [](std::fstream& f) {
         char head[100];
         f.read(head, sizeof head);
         f.seekp(100);
         f.write("hello", 5);
       },
       edited.substr(105)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempFile copy(source);
    std::fstream in(copy.path(), std::ios::in | std::ios::out | std::ios::binary);
    c.use(in);
    ASSERT_TRUE(in.good());
    const std::string got = drain(in);
    ASSERT_EQ(got.size(), c.expected.size());
    EXPECT_TRUE(got == c.expected);
  }
}

}  // namespace
}  // namespace Kivrel::internal

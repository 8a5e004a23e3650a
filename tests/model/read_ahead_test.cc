// The second thread that reads a file stream's next block.
#include "model/read_ahead.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_file.h"

namespace Kivrel::internal {
namespace {

using testing::TempFile;

bool haveSecondCore() {
  cpu_set_t allowed;
  return sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) >= 2;
}

// Its reads could call back into code that expects its own thread.
class DerivedFileBuf : public std::filebuf {};

TEST(ReadAhead, StartsOnlyForAPlainFileBufferHoldingEnough) {
  TempFile file(std::string(5000, 'x'));
  std::ifstream plain(file.path(), std::ios::binary);
  DerivedFileBuf derived;
  derived.open(file.path(), std::ios::in | std::ios::binary);
  std::stringbuf memory(std::string(5000, 'x'), std::ios::in);
  struct Case {
    const char* what;
    std::streambuf* buf;
    std::size_t minBytes;
    bool starts;
  } cases[] = {
      {"file holding enough", plain.rdbuf(), 5000, haveSecondCore()},
      {"file holding too little", plain.rdbuf(), 5001, false},
      {"derived file buffer", &derived, 0, false},
      {"memory", &memory, 0, false},
      {"none", nullptr, 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadAhead::startFor(c.buf, c.minBytes) != nullptr, c.starts) << c.what;
  }
}

// Fills of every size, the file's bytes in order; where it ends, the fill
// stops short and says so, leaving the last read to the owner.
TEST(ReadAhead, FillsDeliverTheFileInOrderUpToItsEnd) {
  if (!haveSecondCore()) GTEST_SKIP() << "one core: no read-ahead";
  std::string bytes(300000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  TempFile file(bytes);
  std::ifstream in(file.path(), std::ios::binary);
  auto ahead = ReadAhead::startFor(in.rdbuf(), 1);
  ASSERT_TRUE(ahead);
  std::vector<unsigned char> block(70000);
  std::size_t pos = 0;
  for (std::size_t space : {1, 4096, 65536, 70000, 70000, 70000, 70000}) {
    ahead->start(block.data(), space);
    EXPECT_TRUE(ahead->busy());
    ReadAhead::Fill fill = ahead->wait();
    EXPECT_FALSE(ahead->busy());
    const std::size_t left = bytes.size() - pos;
    ASSERT_EQ(fill.got, std::min(space, left)) << "at " << pos;
    EXPECT_EQ(std::memcmp(block.data(), bytes.data() + pos, fill.got), 0) << "at " << pos;
    EXPECT_EQ(fill.stalled || fill.atEnd, space > left) << "at " << pos;
    EXPECT_FALSE(fill.error);
    pos += fill.got;
  }
  EXPECT_EQ(pos, bytes.size());
}

// A fill under way when its owner goes is finished first: the owner's
// destructor returns only once nothing writes into its blocks.
TEST(ReadAhead, GoingAwayMidFillWaitsForIt) {
  if (!haveSecondCore()) GTEST_SKIP() << "one core: no read-ahead";
  TempFile file(std::string(4 << 20, 'k'));
  std::ifstream in(file.path(), std::ios::binary);
  std::vector<unsigned char> block(4 << 20);
  {
    auto ahead = ReadAhead::startFor(in.rdbuf(), 1);
    ASSERT_TRUE(ahead);
    ahead->start(block.data(), block.size());
  }
  EXPECT_LE(in.rdbuf()->in_avail(), 0);
  EXPECT_EQ(block.back(), 'k');
}

}  // namespace
}  // namespace Kivrel::internal

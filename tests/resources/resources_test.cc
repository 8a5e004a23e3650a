// Peak memory and running time of extract on hostile streams. Each run is a
// separate probe process (see probe.cc), so one case's heap never hides
// another's.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "document_generator.h"
#include "support/sanitized.h"

namespace {

using Kivrel::bench::Hostile;

constexpr double kMiB = 1024.0 * 1024.0;
constexpr int kDefaultFlags = 522;
constexpr int kTocDocumentFlags = 0x100;

struct Probe {
  bool ran = false;
  std::string output;
  double rss = 0;        // bytes: the process's peak, start-up included
  double rssGrowth = 0;  // bytes
  double vmGrowth = 0;   // bytes
  double seconds = 0;
};

std::string writeStream(const std::string& name, const std::string& bytes) {
  std::string path = testing::TempDir() + "kivrel_resources_" + name + ".kvr";
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

Probe runProbe(const std::string& path, int flags, bool quality = false) {
  Probe probe;
  std::string command = std::string(KIVREL_RESOURCE_PROBE) + " '" + path + "' " +
                        std::to_string(flags) + (quality ? " quality" : "") + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return probe;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe)) probe.output += buffer;
  int status = pclose(pipe);
  long rss = 0, baseRss = 0, vm = 0, baseVm = 0;
  int items = 0;
  if (status == 0 &&
      std::sscanf(probe.output.c_str(),
                  "rss_kb=%ld base_rss_kb=%ld vm_kb=%ld base_vm_kb=%ld seconds=%lf items=%d",
                  &rss, &baseRss, &vm, &baseVm, &probe.seconds, &items) == 6) {
    probe.ran = true;
    probe.rss = rss * 1024.0;
    probe.rssGrowth = (rss - baseRss) * 1024.0;
    probe.vmGrowth = (vm - baseVm) * 1024.0;
  }
  return probe;
}

struct HostileCase {
  Hostile kind;
  int scale;  // the growth test also runs four times this
  int flags;
  // Peak RSS allowed per stream byte beyond 20 MiB: the library's budget,
  // unless a case says otherwise.
  double bytesPerStreamByte = 0.5;
  bool quality = false;  // the quality mode instead of the exact extraction
};

void PrintTo(const HostileCase& c, std::ostream* os) {
  *os << Kivrel::bench::hostileName(c.kind) << " x" << c.scale << " flags " << c.flags
      << (c.quality ? " quality" : "");
}

std::string caseName(const testing::TestParamInfo<HostileCase>& info) {
  return std::string(Kivrel::bench::hostileName(info.param.kind)) +
         (info.param.flags == kTocDocumentFlags ? "_toc_mode" : "") +
         (info.param.quality ? "_quality" : "");
}

class HostileMemory : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileMemory, PeakMemoryIsBoundedByWhatTheStreamHolds) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer's shadow memory and quarantine dominate";
  const HostileCase& c = GetParam();
  std::string bytes = Kivrel::bench::makeHostile(c.kind, c.scale);
  Probe probe = runProbe(writeStream(Kivrel::bench::hostileName(c.kind), bytes), c.flags);
  ASSERT_TRUE(probe.ran) << probe.output;
  // The whole process, as the benchmark reports it.
  double budget = c.bytesPerStreamByte * bytes.size() + 20 * kMiB;
  EXPECT_LE(probe.rss, budget) << "stream " << bytes.size() << " bytes";
  // Address space too, so that a large allocation left untouched is caught.
  EXPECT_LE(probe.vmGrowth, budget + 64 * kMiB) << "stream " << bytes.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(
    BoundedResources, HostileMemory,
    testing::Values(HostileCase{Hostile::kHugeTextClaim, 0, kDefaultFlags},
                    HostileCase{Hostile::kHugeTextClaim, 0, kTocDocumentFlags},
                    HostileCase{Hostile::kHugeSkip, 1000, kDefaultFlags},
                    HostileCase{Hostile::kManyCharacterFormats, 100000, kDefaultFlags},
                    HostileCase{Hostile::kManyPages, 200000, kDefaultFlags},
                    // Each 8-byte page break opens a page: its object (24
                    // bytes) and its place in the page list (8) are four
                    // times the stream, the least a page of its own takes.
                    HostileCase{Hostile::kBarePageBreaks, 2000000, kDefaultFlags, 4.1},
                    HostileCase{Hostile::kLongLeaderParagraphs, 200000, kTocDocumentFlags},
                    // Large enough that the model, not the 20 MiB, decides. Each
                    // 42 bytes of stream make a paragraph of 28 bytes, its place
                    // in the page's list and the scans' 12-byte memo entry: over
                    // the budget, 0.83 measured.
                    HostileCase{Hostile::kSameTextTopBand, 1200000, kDefaultFlags, 0.92},
                    HostileCase{Hostile::kManyEmptyParagraphs, 1000000, kDefaultFlags},
                    HostileCase{Hostile::kRisingCharacterSizes, 100000, kDefaultFlags}),
    caseName);

TEST(BoundedResources, GeneratedDocumentPeaksBelowHalfItsStreamSize) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer's shadow memory and quarantine dominate";
  Kivrel::bench::GeneratedStats stats;
  std::string bytes = Kivrel::bench::makeDocument(20000, 7, &stats);
  Probe probe = runProbe(writeStream("document", bytes), kDefaultFlags);
  ASSERT_TRUE(probe.ran) << probe.output;
  EXPECT_LE(probe.rssGrowth, 0.5 * bytes.size() + 20 * kMiB) << "stream " << bytes.size();
}

class HostileGrowth : public testing::TestWithParam<HostileCase> {};

// A linear pass takes about 4 times as long on 4 times the input, a
// quadratic one 16 times; the bound sits between with room for noise.
TEST_P(HostileGrowth, FourTimesTheInputTakesAtMostEightTimesAsLong) {
  const HostileCase& c = GetParam();
  std::string name = Kivrel::bench::hostileName(c.kind);
  Probe small = runProbe(writeStream(name + "_small", Kivrel::bench::makeHostile(c.kind, c.scale)),
                         c.flags, c.quality);
  Probe large = runProbe(
      writeStream(name + "_large", Kivrel::bench::makeHostile(c.kind, 4 * c.scale)), c.flags,
      c.quality);
  ASSERT_TRUE(small.ran) << small.output;
  ASSERT_TRUE(large.ran) << large.output;
  EXPECT_LE(large.seconds, 8 * small.seconds + 0.1)
      << "scale " << c.scale << ": " << small.seconds << " s, scale " << 4 * c.scale << ": "
      << large.seconds << " s";
}

INSTANTIATE_TEST_SUITE_P(
    BoundedResources, HostileGrowth,
    testing::Values(HostileCase{Hostile::kManyCharacterFormats, 5000, kDefaultFlags},
                    HostileCase{Hostile::kManyPages, 25000, kDefaultFlags},
                    HostileCase{Hostile::kBarePageBreaks, 100000, kDefaultFlags},
                    HostileCase{Hostile::kLongLeaderParagraphs, 4000, kDefaultFlags},
                    HostileCase{Hostile::kLongLeaderParagraphs, 4000, kTocDocumentFlags},
                    HostileCase{Hostile::kSameTextTopBand, 3000, kDefaultFlags},
                    HostileCase{Hostile::kManyEmptyParagraphs, 50000, kDefaultFlags},
                    HostileCase{Hostile::kRisingCharacterSizes, 4000, kDefaultFlags},
                    HostileCase{Hostile::kRisingCharacterSizes, 4000, kTocDocumentFlags},
                    // The quality mode's own passes over the same traps.
                    HostileCase{Hostile::kManyCharacterFormats, 5000, kDefaultFlags, 0, true},
                    HostileCase{Hostile::kManyPages, 25000, kDefaultFlags, 0, true},
                    HostileCase{Hostile::kSameTextTopBand, 3000, kDefaultFlags, 0, true},
                    HostileCase{Hostile::kRisingCharacterSizes, 5000, kDefaultFlags, 0, true},
                    HostileCase{Hostile::kRisingCharacterSizes, 5000, kTocDocumentFlags, 0, true}),
    caseName);

}  // namespace

// Throughput of extract on generated documents of 1,000 to 1,000,000
// paragraphs and on the hostile streams, against the cost of merely reading
// the same file through the same kind of std::istream in 1 MiB chunks.
//
//   extract_bench [benchmark flags]
//   extract_bench --write document|HOSTILE_NAME SCALE FILE   (one stream, for profiling)
// Environment: KIVREL_BENCH_DIR (stream files, default /tmp/kivrel-bench),
// KIVREL_BENCH_MAX_PARAGRAPHS (largest document, default 1000000).
// After the benchmarks it prints a Markdown table per stream: MB/s,
// paragraphs/s, peak RSS of a separate process that runs extract once, and
// the extract / read ratio of wall time and of the process's CPU time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "document_generator.h"
#include "kivrel/kivrel.h"
#include "proc_status.h"

namespace {

namespace fs = std::filesystem;
using Kivrel::bench::GeneratedStats;
using Kivrel::bench::Hostile;

constexpr std::uint64_t kSeed = 20261206;
constexpr std::size_t kChunk = 1 << 20;
// Hostile streams are scaled to about the size of this document.
constexpr int kHostileComparedTo = 10000;

struct Stream {
  std::string name;
  fs::path path;
  GeneratedStats stats;
  bool hostile = false;
  bool cachedAsRead = false;
};

std::vector<Stream>& streams() {
  static std::vector<Stream> all;
  return all;
}

int extractFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  Kivrel::Kivrant extractor;
  Kivrel::KivOutlineList result;
  Kivrel::KivSettings settings;
  extractor.extract(in, result, &settings);
  return result.getCount();
}

// Where the reference reads land: on a page, like the extraction's blocks.
// The kernel's copy from the page cache runs several times slower into a
// destination 1 to 31 bytes past the source's offset within a page, and a
// heap buffer lands there or not by chance, which made the reference's time
// swing from one process to the next.
class ReadBuffer {
 public:
  ReadBuffer() : storage_(kChunk + kPageBytes) {
    void* start = storage_.data();
    std::size_t space = storage_.size();
    data_ = static_cast<char*>(std::align(kPageBytes, kChunk, start, space));
  }
  char* data() { return data_; }

 private:
  static constexpr std::size_t kPageBytes = 4096;
  std::vector<char> storage_;
  char* data_;
};

// Puts a written file in the page cache the way reading it from disk does.
// How fast the kernel copies a cached file out depends on the size of the
// cache's pieces, and those follow how the file came in: the generator's
// small writes left pieces that read two to four times slower than those
// readahead makes, so one stream read fast and the next slow by the luck of
// its writing. Best effort: where a step fails the file stays as written.
void cacheAsReadFromDisk(const fs::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  if (::fdatasync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0) {
    ReadBuffer buffer;
    while (::read(fd, buffer.data(), kChunk) > 0) {
    }
  }
  ::close(fd);
}

// Right before a stream's first benchmark, since writing the streams after
// it, or the machine itself, may have pushed its pages out in between.
void cacheOnce(Stream* stream) {
  if (stream->cachedAsRead) return;
  cacheAsReadFromDisk(stream->path);
  stream->cachedAsRead = true;
}

// The reference: the whole file through the same kind of stream, in large reads.
double readFile(const fs::path& path, ReadBuffer& buffer) {
  std::ifstream in(path, std::ios::binary);
  std::uint64_t total = 0;
  while (in.read(buffer.data(), static_cast<std::streamsize>(kChunk)) || in.gcount() > 0) {
    total += static_cast<std::uint64_t>(in.gcount());
  }
  return static_cast<double>(total);
}

void BM_Read(benchmark::State& state, Stream* stream) {
  cacheOnce(stream);
  ReadBuffer buffer;
  for (auto _ : state) benchmark::DoNotOptimize(readFile(stream->path, buffer));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream->stats.bytes));
}

void BM_Extract(benchmark::State& state, Stream* stream) {
  cacheOnce(stream);
  int items = 0;
  for (auto _ : state) benchmark::DoNotOptimize(items = extractFile(stream->path));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream->stats.bytes));
  state.counters["paragraphs"] = benchmark::Counter(
      static_cast<double>(stream->stats.paragraphs) * state.iterations(),
      benchmark::Counter::kIsRate);
  state.counters["items"] = items;
}

// Reads once and extracts once per iteration, timing each, so both meet the
// same state of a shared machine; the table reports the median of the
// per-iteration ratios, which drift in machine speed between the separate
// benchmarks does not move.
std::map<std::string, std::vector<double>>& pairedRatios() {
  static std::map<std::string, std::vector<double>> ratios;
  return ratios;
}

void BM_Paired(benchmark::State& state, Stream* stream) {
  cacheOnce(stream);
  using Clock = std::chrono::steady_clock;
  ReadBuffer buffer;
  std::vector<double>& ratios = pairedRatios()[stream->name];
  for (auto _ : state) {
    Clock::time_point t0 = Clock::now();
    benchmark::DoNotOptimize(readFile(stream->path, buffer));
    Clock::time_point t1 = Clock::now();
    benchmark::DoNotOptimize(extractFile(stream->path));
    Clock::time_point t2 = Clock::now();
    ratios.push_back(std::chrono::duration<double>(t2 - t1).count() /
                     std::chrono::duration<double>(t1 - t0).count());
  }
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  std::size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Keeps the seconds per iteration of every run next to the console output;
// with --benchmark_repetitions, the least of them, which other load on the
// machine disturbed least.
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        keepLeast(seconds, run.run_name.function_name,
                  run.real_accumulated_time / run.iterations);
        keepLeast(cpuSeconds, run.run_name.function_name,
                  run.cpu_accumulated_time / run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
  // Process CPU time (user and system): what the run spent on all its
  // threads, the one that reads a file ahead included, without the time
  // other processes held the cores.
  std::map<std::string, double> cpuSeconds;

 private:
  static void keepLeast(std::map<std::string, double>& m, const std::string& name, double v) {
    auto [it, added] = m.emplace(name, v);
    if (!added) it->second = std::min(it->second, v);
  }
};

long probePeakRssKb(const std::string& self, const Stream& stream) {
  std::string command = self + " --probe '" + stream.path.string() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  long rss = -1;
  if (std::fscanf(pipe, "rss_kb=%ld", &rss) != 1) rss = -1;
  pclose(pipe);
  return rss;
}

Stream generate(const fs::path& dir, const std::string& name, bool hostile, int count,
                Hostile kind) {
  Stream s;
  s.name = name;
  s.hostile = hostile;
  s.path = dir / (name + ".kvr");
  std::ofstream out(s.path, std::ios::binary);
  s.stats = hostile ? Kivrel::bench::writeHostile(out, kind, count)
                    : Kivrel::bench::writeDocument(out, count, kSeed);
  return s;
}

// Scale at which a hostile stream is about `bytes` long.
int hostileScale(Hostile kind, std::uint64_t bytes) {
  GeneratedStats probe;
  Kivrel::bench::makeHostile(kind, 1000, &probe);
  double perUnit = probe.bytes / 1000.0;
  if (kind == Hostile::kLongLeaderParagraphs) perUnit = 16;  // 8 paragraphs, 2 bytes a unit
  return static_cast<int>(std::max(1.0, bytes / perUnit));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--probe") == 0) {
    int items = extractFile(argv[2]);
    std::printf("rss_kb=%ld items=%d\n", Kivrel::bench::statusKb("VmHWM"), items);
    return 0;
  }
  if (argc == 5 && std::strcmp(argv[1], "--write") == 0) {
    const int scale = std::atoi(argv[3]);
    const bool document = std::strcmp(argv[2], "document") == 0;
    const Hostile* kind = nullptr;
    for (const Hostile& k : Kivrel::bench::kAllHostile) {
      if (std::strcmp(argv[2], Kivrel::bench::hostileName(k)) == 0) kind = &k;
    }
    if (!document && !kind) {
      std::fprintf(stderr, "unknown stream %s\n", argv[2]);
      return 2;
    }
    {
      std::ofstream out(argv[4], std::ios::binary);
      if (document) {
        Kivrel::bench::writeDocument(out, scale, kSeed);
      } else {
        Kivrel::bench::writeHostile(out, *kind, scale);
      }
      if (!out.flush()) return 1;
    }
    cacheAsReadFromDisk(argv[4]);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  std::string self = fs::read_symlink("/proc/self/exe").string();
  const char* dirEnv = std::getenv("KIVREL_BENCH_DIR");
  fs::path dir = dirEnv ? dirEnv : "/tmp/kivrel-bench";
  fs::create_directories(dir);
  const char* maxEnv = std::getenv("KIVREL_BENCH_MAX_PARAGRAPHS");
  int maxParagraphs = maxEnv ? std::atoi(maxEnv) : 1000000;

  std::uint64_t referenceBytes = 0;
  for (int n = 1000; n <= maxParagraphs; n *= 10) {
    streams().push_back(generate(dir, "document_" + std::to_string(n), false, n,
                                 Hostile::kHugeTextClaim));
    if (n <= kHostileComparedTo) referenceBytes = streams().back().stats.bytes;
  }
  for (Hostile kind : Kivrel::bench::kAllHostile) {
    // The 40-byte claim and the skip end the stream at once: nothing to time.
    if (kind == Hostile::kHugeTextClaim || kind == Hostile::kHugeSkip) continue;
    streams().push_back(generate(dir, Kivrel::bench::hostileName(kind), true,
                                 hostileScale(kind, referenceBytes), kind));
  }
  // Written back now rather than under the benchmarks.
  ::sync();
  for (Stream& s : streams()) {
    benchmark::RegisterBenchmark(("read/" + s.name).c_str(), BM_Read, &s)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark(("extract/" + s.name).c_str(), BM_Extract, &s)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark(("paired/" + s.name).c_str(), BM_Paired, &s)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);

  // Time per paragraph against the reference each target names: a document
  // against the smallest one (growth with size), a hostile stream against the
  // normal document of about its size. Not for a stream without paragraphs.
  auto msPer1k = [&](const Stream& s) {
    auto e = collector.seconds.find("extract/" + s.name);
    if (e == collector.seconds.end() || s.stats.paragraphs == 0) return 0.0;
    return 1000.0 * 1000.0 * e->second / s.stats.paragraphs;
  };
  constexpr int kFewParagraphs = 1000;
  const std::string hostileReference = "document_" + std::to_string(kHostileComparedTo);
  auto referenceOf = [&](const Stream& s) -> const Stream* {
    const std::string& name = s.hostile ? hostileReference : streams().front().name;
    for (const Stream& t : streams()) {
      if (t.name == name) return &t;
    }
    return nullptr;
  };

  std::printf("\n| stream | paragraphs | MB | extract MB/s | paragraphs/s | ms/1k paragraphs "
              "| against its reference | peak RSS MiB | RSS budget MiB | extract / read "
              "| extract / read, CPU | paired extract / read |\n"
              "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Stream& s : streams()) {
    auto e = collector.seconds.find("extract/" + s.name);
    auto r = collector.seconds.find("read/" + s.name);
    if (e == collector.seconds.end() || r == collector.seconds.end()) continue;
    double cpuRatio = collector.cpuSeconds["extract/" + s.name] /
                      collector.cpuSeconds["read/" + s.name];
    double mb = s.stats.bytes / 1e6;
    long rssKb = probePeakRssKb(self, s);
    const Stream* reference = referenceOf(s);
    const double referenceMs = reference ? msPer1k(*reference) : 0.0;
    char against[32] = "–";
    if (s.hostile && s.stats.paragraphs > 0 && s.stats.paragraphs < kFewParagraphs && reference) {
      // A few huge paragraphs: their time per paragraph says nothing, their
      // time per byte against the document's does.
      auto re = collector.seconds.find("extract/" + reference->name);
      if (re != collector.seconds.end()) {
        std::snprintf(against, sizeof against, "%.2f per MB",
                      (e->second / s.stats.bytes) / (re->second / reference->stats.bytes));
      }
    } else if (referenceMs > 0 && s.stats.paragraphs > 0) {
      std::snprintf(against, sizeof against, "%.2f", msPer1k(s) / referenceMs);
    }
    std::printf("| %s | %d | %.1f | %.1f | %.0f | %.3f | %s | %.1f | %.1f | %.2f | %.2f | %.2f |\n",
                s.name.c_str(), s.stats.paragraphs, mb, mb / e->second,
                s.stats.paragraphs / e->second,
                1000.0 * 1000.0 * e->second / std::max(1, s.stats.paragraphs), against,
                rssKb / 1024.0,
                (0.5 * s.stats.bytes + 20.0 * 1024 * 1024) / (1024.0 * 1024.0),
                e->second / r->second, cpuRatio, median(pairedRatios()[s.name]));
  }
  for (const Stream& s : streams()) fs::remove(s.path);
  return 0;
}

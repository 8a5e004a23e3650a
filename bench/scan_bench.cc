// Whole runs over documents built to make the table-of-contents and list
// scans walk far from every start, against a report-like document of the
// same paragraph count. The per_paragraph counters should stay within a
// small factor of each other at every size.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "document_generator.h"
#include "kivrel/kivrant.h"
#include "kivrel/record_writer.h"

namespace Kivrel {
namespace {

enum class Shape {
  kSameTextNoPositions,  // every paragraph a running header: the walks never break
  kRepeatedBullet,       // one list of "○ item" paragraphs
  kLongNumberedRun,      // "1. x", "2. x", ... one list
  kTocGroupsOnOnePage,   // three entries, two plain lines, repeated: back-marks pile up
  kTocEntries,           // one long table of contents
};

std::string shapeText(Shape shape, int i) {
  switch (shape) {
    case Shape::kSameTextNoPositions:
      return "Running title";
    case Shape::kRepeatedBullet:
      return "\u25CB item";
    case Shape::kLongNumberedRun:
      return std::to_string(i + 1) + ". item";
    case Shape::kTocGroupsOnOnePage:
      return i % 5 < 3 ? "Entry ..... " + std::to_string(i + 1) : "Plain line";
    case Shape::kTocEntries:
      return "Entry ..... " + std::to_string(i + 1);
  }
  return {};
}

std::string makeShape(Shape shape, int paragraphs) {
  std::ostringstream out(std::ios::binary);
  RecordWriter w(out);
  SectionFields section;
  section.width = 11906;
  section.height = 16838;
  w.section(section);
  // One page: nothing ends the walks at a page boundary.
  for (int i = 0; i < paragraphs; ++i) {
    ParagraphFormatFields pf;
    pf.charSize = 20;
    w.paragraphFormat(pf);
    CharacterFormatFields cf;
    cf.charSize = 20;
    w.characterFormat(cf);
    if (shape != Shape::kSameTextNoPositions) w.paragraphPosition(1800, 5000);
    w.textUtf8(shapeText(shape, i));
  }
  return out.str();
}

void runExtract(benchmark::State& state, const std::string& bytes, int paragraphs) {
  for (auto _ : state) {
    std::istringstream in(bytes, std::ios::binary);
    KivOutlineList result;
    KivSettings settings;
    Kivrant k;
    benchmark::DoNotOptimize(k.extract(in, result, &settings));
  }
  state.SetItemsProcessed(state.iterations() * paragraphs);
  // Seconds per paragraph ("250n" reads 250 ns).
  state.counters["per_paragraph"] = benchmark::Counter(
      paragraphs, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_NormalDocument(benchmark::State& state) {
  int n = static_cast<int>(state.range(0));
  bench::GeneratedStats stats;
  std::string bytes = bench::makeDocument(n, 7, &stats);
  runExtract(state, bytes, stats.paragraphs);
}

template <Shape shape>
void BM_Adversarial(benchmark::State& state) {
  int n = static_cast<int>(state.range(0));
  runExtract(state, makeShape(shape, n), n);
}

constexpr int kSmall = 10000;
constexpr int kLarge = 100000;

BENCHMARK(BM_NormalDocument)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adversarial, Shape::kSameTextNoPositions)
    ->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adversarial, Shape::kRepeatedBullet)
    ->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adversarial, Shape::kLongNumberedRun)
    ->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adversarial, Shape::kTocGroupsOnOnePage)
    ->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adversarial, Shape::kTocEntries)
    ->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace Kivrel

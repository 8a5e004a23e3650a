// Feeds arbitrary bytes to extractQuality, which refines the exact outline
// with signals of its own, under the runs extract_fuzzer draws (fuzz_run.h).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivrel_fuzz::FuzzRun run(data, size);
  Kivrel::Kivrant& extractor = run.extractor();
  std::istringstream input = run.stream();
  Kivrel::KivOutlineList result;
  std::vector<Kivrel::KivQualityVerdict> verdicts;
  int rc = Kivrel::extractQuality(extractor, input, result, run.settings(), &verdicts);
  run.checkStatus(rc, result);
  if (rc != 0) return 0;

  // The n-th accepted verdict describes the n-th item, and only kept ones
  // have a level.
  int accepted = 0;
  for (const Kivrel::KivQualityVerdict& v : verdicts) {
    if (v.accepted != (v.level >= 1)) std::abort();
    if (v.accepted && result.getAt(accepted++)->getString() != v.text) std::abort();
    if (!Kivrel::describeQualityReason(v.reason)) std::abort();
  }
  if (accepted != result.getCount()) std::abort();

  if (!run.stops()) {
    std::istringstream again = run.stream();
    if (Kivrel::extractQuality(extractor, again, result, run.settings()) != 0) std::abort();
    if (result.getCount() != 2 * accepted) std::abort();
    if (!kivrel_fuzz::sameItems(result, 0, accepted, accepted)) std::abort();
  }
  return 0;
}

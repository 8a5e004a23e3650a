// Feeds arbitrary bytes to Kivrant::extract under the settings, log, progress
// handler and page ranges the input's first byte picks (see fuzz_run.h).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivrel_fuzz::FuzzRun run(data, size);
  Kivrel::Kivrant extractor;
  run.attach(extractor);

  std::istringstream input = run.stream();
  Kivrel::KivOutlineList result;
  int rc = extractor.extract(input, result, run.settings());
  if (rc != 0 && rc != -1) std::abort();
  if (rc == -1 && !run.stops()) std::abort();
  if (rc == -1 && result.getCount() != 0) std::abort();

  // A finished run leaves the extractor idle: the same stream again appends
  // the same items. Settings were normalised by the first run, which must
  // not change what they select.
  if (!run.stops()) {
    int first = result.getCount();
    std::istringstream again = run.stream();
    if (extractor.extract(again, result, run.settings()) != 0) std::abort();
    if (result.getCount() != 2 * first) std::abort();
    if (!kivrel_fuzz::sameItems(result, 0, first, first)) std::abort();
  }
  return 0;
}

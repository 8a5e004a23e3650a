// Feeds arbitrary bytes to Kivrant::extract under the settings, log, progress
// handler and page ranges the input's first byte picks (see fuzz_run.h).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivrel_fuzz::FuzzRun run(data, size);
  Kivrel::Kivrant& extractor = run.extractor();
  std::istringstream input = run.stream();
  Kivrel::KivOutlineList result;
  run.checkStatus(extractor.extract(input, result, run.settings()), result);

  // A finished run leaves the extractor idle: the same stream again, read as
  // from a pipe, appends the same items and writes the same log. Settings
  // were normalised by the first run, which must not change what they select.
  if (!run.stops()) {
    int first = result.getCount();
    std::string log = run.takeLog();
    kivrel_fuzz::checkBlockwiseDecoding(log);
    kivrel_fuzz::PipeBuf pipe = run.pipe();
    std::istream again(&pipe);
    if (extractor.extract(again, result, run.settings()) != 0) std::abort();
    if (result.getCount() != 2 * first) std::abort();
    if (!kivrel_fuzz::sameItems(result, 0, first, first)) std::abort();
    if (run.takeLog() != log) std::abort();
  }
  return 0;
}

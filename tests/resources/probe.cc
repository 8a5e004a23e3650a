// Runs one extraction of a stream file and reports what it cost, for the
// resource tests:
//   kivrel_resource_probe FILE [FLAGS [quality]]
// prints "rss_kb=A base_rss_kb=B vm_kb=C base_vm_kb=D seconds=E items=F".
// rss is the process's resident high-water mark (VmHWM), vm its peak address
// space (VmPeak), which also shows allocations that were never touched;
// seconds is
// the CPU time of the extraction (with "quality", of the quality
// mode's), which other load on the machine leaves about as it is. The probe
// kills itself after kTimeLimitSeconds so a super-linear pass fails the test
// instead of hanging it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "kivrel/kivrel.h"
#include "proc_status.h"

constexpr unsigned kTimeLimitSeconds = 120;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [FLAGS [quality]]\n", argv[0]);
    return 2;
  }
  alarm(kTimeLimitSeconds);
  Kivrel::KivSettings settings;
  if (argc > 2) settings.flags = std::atoi(argv[2]);
  const bool quality = argc > 3 && std::strcmp(argv[3], "quality") == 0;

  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 2;
  }
  long baseRss = Kivrel::bench::statusKb("VmHWM");
  long baseVm = Kivrel::bench::statusKb("VmPeak");
  Kivrel::Kivrant extractor;
  Kivrel::KivOutlineList result;
  const std::clock_t start = std::clock();
  int rc = quality ? Kivrel::extractQuality(extractor, in, result, &settings)
                   : extractor.extract(in, result, &settings);
  const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  std::printf(
      "rss_kb=%ld base_rss_kb=%ld vm_kb=%ld base_vm_kb=%ld seconds=%.6f items=%d\n",
      Kivrel::bench::statusKb("VmHWM"), baseRss, Kivrel::bench::statusKb("VmPeak"), baseVm, seconds,
      result.getCount());
  return rc == 0 ? 0 : 1;
}

// Reads a field of /proc/self/status (VmHWM, VmPeak, Threads, ...) for the
// measurements of the benchmarks, the resource probe and the tests.
#ifndef KIVREL_BENCH_PROC_STATUS_H_
#define KIVREL_BENCH_PROC_STATUS_H_

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace Kivrel::bench {

// The field's number (kB for the memory fields), or -1 when the field is
// missing.
inline long statusValue(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  std::size_t n = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') {
      return std::strtol(line.c_str() + n + 1, nullptr, 10);
    }
  }
  return -1;
}

inline long statusKb(const char* field) { return statusValue(field); }

}  // namespace Kivrel::bench

#endif  // KIVREL_BENCH_PROC_STATUS_H_

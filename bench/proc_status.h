// Reads a field of /proc/self/status (VmHWM, VmPeak, ...) for the memory
// measurements of the benchmarks and the resource probe.
#ifndef KIVREL_BENCH_PROC_STATUS_H_
#define KIVREL_BENCH_PROC_STATUS_H_

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace Kivrel::bench {

// The field's value in kB, or -1 when the field is missing.
inline long statusKb(const char* field) {
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

}  // namespace Kivrel::bench

#endif  // KIVREL_BENCH_PROC_STATUS_H_

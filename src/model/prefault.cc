// Taking the pages of a large fresh allocation in one call.
#include "model/prefault.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace Kivrel::internal {

bool prefaultPages(void* p, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  static const std::uintptr_t pageBytes = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t begin = (start + pageBytes - 1) & ~(pageBytes - 1);
  const std::uintptr_t end = (start + bytes) & ~(pageBytes - 1);
  // Older kernels answer EINVAL; the pages then fault in as usual.
  return begin < end &&
         madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE) == 0;
#else
  (void)p;
  (void)bytes;
  return false;
#endif
}

}  // namespace Kivrel::internal

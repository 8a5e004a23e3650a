#include "support/failing_allocator.h"

#include <unicode/uclean.h>

#include <cstdlib>

namespace {

// Counts down the allocations left before one fails.
struct Countdown {
  long left = -1;
  int failing = Kivrel::testing::kAllThatFollow;  // still to fail once left is 0
  long made = 0;

  bool nextFails() {
    ++made;
    if (left == 0) {
      if (failing > 0 && --failing == 0) left = -1;
      return true;
    }
    if (left > 0) --left;
    return false;
  }
};

Countdown gOperatorNew;
Countdown gIcu;
long gLiveBlocks = 0;

void* allocate(std::size_t size, std::size_t alignment) {
  if (gOperatorNew.nextFails()) throw std::bad_alloc();
  if (size == 0) size = 1;
  void* p = nullptr;
  if (alignment <= alignof(std::max_align_t)) {
    p = std::malloc(size);
  } else if (posix_memalign(&p, alignment, size) != 0) {
    p = nullptr;
  }
  if (!p) throw std::bad_alloc();
  ++gLiveBlocks;
  return p;
}

void release(void* p) noexcept {
  if (!p) return;
  --gLiveBlocks;
  std::free(p);
}

void* U_CALLCONV icuAlloc(const void*, std::size_t size) {
  return gIcu.nextFails() ? nullptr : std::malloc(size);
}
void* U_CALLCONV icuRealloc(const void*, void* p, std::size_t size) {
  return gIcu.nextFails() ? nullptr : std::realloc(p, size);
}
void U_CALLCONV icuFree(const void*, void* p) { std::free(p); }

// Before main, so that ICU's first allocation already comes through here;
// ICU's own functions are malloc, realloc and free as well. Should ICU
// refuse, no ICU allocation is counted, which the tests that fail them see.
struct IcuHeapHook {
  IcuHeapHook() {
    UErrorCode status = U_ZERO_ERROR;
    u_setMemoryFunctions(nullptr, icuAlloc, icuRealloc, icuFree, &status);
  }
} gIcuHeapHook;

}  // namespace

namespace Kivrel::testing {

long icuAllocationsMade() { return gIcu.made; }

void failAllocationsAfter(long left, int failing) {
  gOperatorNew = {left, failing, gOperatorNew.made};
}
void failIcuAllocationsAfter(long left, int failing) { gIcu = {left, failing, gIcu.made}; }
long allocationsMade() { return gOperatorNew.made; }
long liveBlocks() { return gLiveBlocks; }

}  // namespace Kivrel::testing

void* operator new(std::size_t size) { return allocate(size, 0); }
void* operator new[](std::size_t size) { return allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) {
  return allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
  return allocate(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }

#include "support/failing_allocator.h"

#include <cstdlib>

namespace {

long gAllocationsLeft = -1;
long gAllocations = 0;
long gLiveBlocks = 0;

void* allocate(std::size_t size, std::size_t alignment) {
  ++gAllocations;
  if (gAllocationsLeft == 0) throw std::bad_alloc();
  if (gAllocationsLeft > 0) --gAllocationsLeft;
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

}  // namespace

namespace Kivrel::testing {

void failAllocationsAfter(long left) { gAllocationsLeft = left; }
long allocationsMade() { return gAllocations; }
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

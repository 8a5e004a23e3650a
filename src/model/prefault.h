// Taking the pages of a large fresh allocation in one call.
#ifndef KIVREL_MODEL_PREFAULT_H_
#define KIVREL_MODEL_PREFAULT_H_

#include <cstddef>
#include <new>

namespace Kivrel::internal {

// A large document's model is a few hundred megabytes that the run writes
// at once, and fresh memory from the kernel costs a page fault per 4 KiB
// the first time it is touched; asking for all of a block's pages in one
// call cost half as much on the development machine. Memory the heap
// reuses is already mapped and gains nothing, so small blocks are left out.
constexpr std::size_t kPrefaultMinBytes = 256 * 1024;

// Best effort: where the system cannot, the pages fault in as they are
// touched, and the result is false. Only whole pages inside [p, p + bytes)
// are taken.
bool prefaultPages(void* p, std::size_t bytes) noexcept;

// Gives the whole pages inside [p, p + bytes) back to the system; they read
// as zeros when next touched. Best effort, like prefaultPages.
void releasePages(void* p, std::size_t bytes) noexcept;

// Blocks that huge pages back where the system has them: a page fault and a
// TLB entry per 2 MiB instead of per 4 KiB, which took about two fifths off
// a fresh process's run over a 1.6 GB stream. A block starts on a huge page;
// what its size leaves of a last one takes small pages, unless whole huge
// pages leave at most an eighth of them unused. Prefaulted.
constexpr std::size_t kHugePageBytes = 2u << 20;
// From this size on a large block is a huge block. In a virtual machine that
// maps the guest's fresh 4 KiB pages one at a time (about 1 ms per MB on the
// development machine, prefaulted or not), a block just under 2 MiB on them
// cost several times the huge page it leaves at most an eighth unused.
constexpr std::size_t kHugeBlockMinBytes = kHugePageBytes - kHugePageBytes / 8;
// bytes: positive. Null when memory runs out.
// Mapped apart from the heap, so operator new and its new_handler are not
// asked (except in the sanitizer build, which takes them from the heap).
void* allocateHugeBlock(std::size_t bytes) noexcept;
// p and bytes as allocateHugeBlock took and gave them.
void freeHugeBlock(void* p, std::size_t bytes) noexcept;

// Every block allocateLargeBlock gives starts on a boundary of this many bytes.
constexpr std::size_t kBlockAlignment = 4096;

// Storage for a per-run block that is filled soon after it is allocated:
// from kHugeBlockMinBytes on, a huge block (the heap hands blocks this
// large fresh pages on every run, and taking them 4 KiB at a time cost a
// 1M-paragraph run a twentieth of its time), and below it heap memory,
// prefaulted from kPrefaultMinBytes on unless the heap's pages are all
// mapped already. Null when memory runs out.
void* allocateLargeBlock(std::size_t bytes) noexcept;
// p and bytes exactly as allocateLargeBlock took and gave them: blocks of
// different sizes come from different places.
void freeLargeBlock(void* p, std::size_t bytes) noexcept;

// An allocator for the large per-run lists that are filled right after
// they are allocated.
template <class T>
struct PrefaultingAllocator {
  using value_type = T;

  PrefaultingAllocator() = default;
  template <class U>
  PrefaultingAllocator(const PrefaultingAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    if (void* p = allocateLargeBlock(n * sizeof(T))) return static_cast<T*>(p);
    throw std::bad_alloc();
  }
  void deallocate(T* p, std::size_t n) noexcept { freeLargeBlock(p, n * sizeof(T)); }

  template <class U>
  bool operator==(const PrefaultingAllocator<U>&) const noexcept { return true; }
  template <class U>
  bool operator!=(const PrefaultingAllocator<U>&) const noexcept { return false; }
};

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_PREFAULT_H_

// Taking the pages of a large fresh allocation in one call.
#include "model/prefault.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>  // no-op macros outside the sanitizer build
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(p, bytes) ((void)(p), (void)(bytes))
#define ASAN_UNPOISON_MEMORY_REGION(p, bytes) ((void)(p), (void)(bytes))
#endif

namespace Kivrel::internal {

#if defined(__linux__)

namespace {

// The whole pages inside [p, p + bytes): [begin, end), empty when none.
struct WholePages {
  std::uintptr_t begin;
  std::uintptr_t end;
  std::uintptr_t pageBytes;

  WholePages(void* p, std::size_t bytes)
      : pageBytes(static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE))) {
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(p);
    begin = (start + pageBytes - 1) & ~(pageBytes - 1);
    end = std::max(begin, (start + bytes) & ~(pageBytes - 1));
  }
  void* address() const { return reinterpret_cast<void*>(begin); }
  std::size_t length() const { return end - begin; }
  std::size_t count() const { return length() / pageBytes; }
};

// Gives advice on the whole pages inside [p, p + bytes); false when there are
// none or the system refuses it.
bool adviseWholePages(void* p, std::size_t bytes, int advice) noexcept {
  const WholePages pages(p, bytes);
  return pages.count() > 0 && madvise(pages.address(), pages.length(), advice) == 0;
}

}  // namespace

#endif

bool prefaultPages(void* p, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  // Older kernels answer EINVAL; the pages then fault in as usual.
  return adviseWholePages(p, bytes, MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)bytes;
  return false;
#endif
}

void releasePages(void* p, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_DONTNEED)
  adviseWholePages(p, bytes, MADV_DONTNEED);
#else
  (void)p;
  (void)bytes;
#endif
}

// Under AddressSanitizer the heap's blocks stay, so that it still sees
// overruns and leaks of them.
#if defined(__SANITIZE_ADDRESS__)
#define KIVREL_HEAP_HUGE_BLOCKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIVREL_HEAP_HUGE_BLOCKS 1
#endif
#endif

#if defined(__linux__) && !defined(KIVREL_HEAP_HUGE_BLOCKS)

namespace {

// What a huge block of bytes maps: whole huge pages where they leave at most
// an eighth of them unused, else whole small pages.
std::size_t hugeBlockLength(std::size_t bytes) {
  const auto pageBytes = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t huge = (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  if (huge - bytes <= huge / 8) return huge;
  return (bytes + pageBytes - 1) & ~(pageBytes - 1);
}

}  // namespace

void* allocateHugeBlock(std::size_t bytes) noexcept {
  // Mapped with room to spare, then trimmed to an aligned start, since a
  // huge page can only back an aligned range.
  if (bytes == 0 || bytes > static_cast<std::size_t>(-1) - 2 * kHugePageBytes) return nullptr;
  const std::size_t length = hugeBlockLength(bytes);
  const std::size_t mapped = length + kHugePageBytes;
  void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t begin = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  if (begin > start) munmap(raw, begin - start);
  const std::size_t tail = start + mapped - (begin + length);
  if (tail > 0) munmap(reinterpret_cast<void*>(begin + length), tail);
  void* block = reinterpret_cast<void*>(begin);
  // Advice only for what the library maps itself: on the host's heap it
  // would outlive the run.
#ifdef MADV_HUGEPAGE
  madvise(block, length, MADV_HUGEPAGE);
#endif
  prefaultPages(block, length);
  return block;
}

void freeHugeBlock(void* p, std::size_t bytes) noexcept {
  // Exactly what allocateHugeBlock left mapped, which may run past bytes.
  if (p) munmap(p, hugeBlockLength(bytes));
}

#else

void* allocateHugeBlock(std::size_t bytes) noexcept {
  try {
    return ::operator new(bytes, std::align_val_t(kBlockAlignment));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void freeHugeBlock(void* p, std::size_t) noexcept {
  ::operator delete(p, std::align_val_t(kBlockAlignment));
}

#endif

namespace {

// Prefaults the block unless all its whole pages are mapped already, as when
// the heap hands it out again: asking for those still walks them all, a
// twentieth of a small document's run.
void prefaultUnlessResident(void* p, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  const WholePages pages(p, bytes);
  constexpr std::size_t kMaxPages = kHugeBlockMinBytes / 4096;
  unsigned char resident[kMaxPages];
  if (pages.count() > 0 && pages.count() <= kMaxPages &&
      mincore(pages.address(), pages.length(), resident) == 0 &&
      std::all_of(resident, resident + pages.count(), [](unsigned char r) { return r & 1; })) {
    return;
  }
#endif
  prefaultPages(p, bytes);
}

// glibc maps a page-aligned request of this size afresh each time (until the
// process has freed a larger mapped block), and a plain one from the heap
// once one as large has been freed. So such a block is taken a page larger
// and aligned here, the heap's own pointer kept in the word before it.
static_assert(alignof(std::max_align_t) >= sizeof(void*), "room for the pointer before a block");

void* allocateAlignedFromHeap(std::size_t bytes) {
  void* heap = ::operator new(bytes + kBlockAlignment);
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(heap);
  const std::uintptr_t aligned = (start + kBlockAlignment) & ~(kBlockAlignment - 1);
  char* block = reinterpret_cast<char*>(aligned);
  std::memcpy(block - sizeof heap, &heap, sizeof heap);
  // So that the sanitizer build reports a touch of the spare bytes on
  // either side.
  ASAN_POISON_MEMORY_REGION(heap, aligned - start);
  ASAN_POISON_MEMORY_REGION(block + bytes, start + kBlockAlignment - aligned);
  return block;
}

// bytes: as allocateAlignedFromHeap took them; a sized delete lets the
// sanitizer build report any other count.
void freeAlignedFromHeap(void* block, std::size_t bytes) noexcept {
  char* heapWord = static_cast<char*>(block) - sizeof(void*);
  ASAN_UNPOISON_MEMORY_REGION(heapWord, sizeof(void*));
  void* heap;
  std::memcpy(&heap, heapWord, sizeof heap);
  ASAN_UNPOISON_MEMORY_REGION(heap, bytes + kBlockAlignment);
#if defined(__cpp_sized_deallocation) || (defined(__GNUC__) && !defined(__clang__))
  // GCC has sized deallocation from C++14 on without saying so.
  ::operator delete(heap, bytes + kBlockAlignment);
#else
  ::operator delete(heap);
#endif
}

}  // namespace

void* allocateLargeBlock(std::size_t bytes) noexcept {
  if (bytes >= kHugeBlockMinBytes) return allocateHugeBlock(bytes);
  try {
    if (bytes < kPrefaultMinBytes) return ::operator new(bytes, std::align_val_t(kBlockAlignment));
    void* p = allocateAlignedFromHeap(bytes);
    prefaultUnlessResident(p, bytes);
    return p;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void freeLargeBlock(void* p, std::size_t bytes) noexcept {
  if (!p) return;
  if (bytes >= kHugeBlockMinBytes) {
    freeHugeBlock(p, bytes);
  } else if (bytes >= kPrefaultMinBytes) {
    freeAlignedFromHeap(p, bytes);
  } else {
    ::operator delete(p, std::align_val_t(kBlockAlignment));
  }
}

}  // namespace Kivrel::internal

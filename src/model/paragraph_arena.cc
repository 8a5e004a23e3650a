// Storage for the paragraphs and pages of one document model, carved from
// large blocks.
#include "model/paragraph_arena.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "model/model.h"
#include "model/prefault.h"

namespace Kivrel::internal {

namespace {

// Blocks grow from a size a small document fills to one that keeps the
// allocator out of the way on a large one. Once the arena holds a large
// model they are whole huge pages: the last one's unused part is then small
// beside the rest.
constexpr std::size_t kFirstBlockBytes = 16 * 1024;
constexpr std::size_t kMaxBlockBytes = 512 * 1024;
constexpr std::size_t kHugeBlocksAfterBytes = 16 << 20;
// A text at least this long that does not fit the current block gets a block
// of its own, and the current one goes on taking the paragraphs after it: a
// prefaulted remainder left behind is memory the run holds for nothing.
constexpr std::size_t kApartBytes = kMaxBlockBytes / 16;
static_assert(alignof(MPParagraph) <= 4, "slots are aligned to 4 bytes");

}  // namespace

struct ParagraphArena::Block {
  Block* previous;
  std::size_t bytes;  // of the whole block, header included
};

ParagraphArena::~ParagraphArena() {
  while (block_) {
    Block* previous = block_->previous;
    freeLargeBlock(block_, block_->bytes);
    block_ = previous;
  }
}

void* ParagraphArena::allocate(std::size_t size) {
  // carve(size, kSlotAlignment) without its alignment step, which a slot
  // never needs: this runs once per paragraph start.
  const std::size_t bytes = aligned(size);
  if (static_cast<std::size_t>(end_ - next_) < bytes && !newBlock(bytes)) throw std::bad_alloc();
  char* slot = next_;
  next_ += bytes;
  ++allocated_;
  return slot;
}

void* ParagraphArena::allocatePage(std::size_t size) {
  constexpr std::size_t kPageAlignment = 8;
  static_assert(alignof(MPPage) <= kPageAlignment, "pages are aligned to 8 bytes");
  const std::size_t bytes = (size + kPageAlignment - 1) / kPageAlignment * kPageAlignment;
  // Pages are carved in runs, so that aligning them, past the 4-byte
  // paragraph before, pads once per run instead of once per page.
  if (static_cast<std::size_t>(pageRunEnd_ - pageRunNext_) < bytes) {
    pageRunNext_ = static_cast<char*>(carve(kPagesPerRun * bytes, kPageAlignment));
    pageRunEnd_ = pageRunNext_ + kPagesPerRun * bytes;
  }
  void* slot = pageRunNext_;
  pageRunNext_ += bytes;
  ++pagesAllocated_;
  return slot;
}

void* ParagraphArena::allocateStyle(std::size_t size) {
  static_assert(alignof(StyleEntry) <= kSlotAlignment, "style entries are aligned like slots");
  void* slot = carve(size, kSlotAlignment);
  ++stylesAllocated_;
  return slot;
}

void* ParagraphArena::carve(std::size_t size, std::size_t alignment) {
  const std::size_t bytes = aligned(size) + alignment - kSlotAlignment;  // with room to align
  if (static_cast<std::size_t>(end_ - next_) < bytes && !newBlock(bytes)) throw std::bad_alloc();
  const auto address = reinterpret_cast<std::uintptr_t>(next_);
  char* slot = next_ + (alignment - address % alignment) % alignment;
  next_ = slot + aligned(size);
  return slot;
}

void* ParagraphArena::allocateBytes(std::size_t size) {
  // Aligned like a slot, so the next slot stays aligned.
  const std::size_t bytes = aligned(size);
  if (bytes < size) throw std::bad_alloc();
  if (static_cast<std::size_t>(end_ - next_) < bytes) {
    if (bytes >= kApartBytes) {
      if (void* apart = allocateApart(bytes)) return apart;
      throw std::bad_alloc();
    }
    if (!newBlock(bytes)) throw std::bad_alloc();
  }
  void* storage = next_;
  next_ += bytes;
  return storage;
}

void ParagraphArena::releaseUnusedTail() noexcept {
  // A small remainder is not worth the call.
  if (static_cast<std::size_t>(end_ - next_) >= kPrefaultMinBytes) {
    releasePages(next_, static_cast<std::size_t>(end_ - next_));
  }
}

bool ParagraphArena::holds(const void* p) const noexcept {
  const auto address = reinterpret_cast<std::uintptr_t>(p);
  auto it = blockBytes_.upper_bound(address);
  if (it == blockBytes_.begin()) return false;
  --it;
  return address - it->first < it->second;
}

bool ParagraphArena::track(Block* block) noexcept {
  try {
    blockBytes_.emplace(reinterpret_cast<std::uintptr_t>(block), block->bytes);
    return true;
  } catch (...) {
    return false;
  }
}

char* ParagraphArena::takeBlock(std::size_t bytes) noexcept {
  // What asks for a block fills it soon after.
  return static_cast<char*>(allocateLargeBlock(bytes));
}

bool ParagraphArena::newBlock(std::size_t atLeast) noexcept {
  if (nextBlockBytes_ == 0) nextBlockBytes_ = kFirstBlockBytes;
  const std::size_t header = aligned(sizeof(Block));
  if (atLeast > static_cast<std::size_t>(-1) - header) return false;
  const std::size_t bytes = std::max(nextBlockBytes_, header + atLeast);
  char* storage = takeBlock(bytes);
  if (!storage) return false;
  Block* block = new (storage) Block{block_, bytes};
  if (!track(block)) {
    freeLargeBlock(storage, bytes);
    return false;
  }
  block_ = block;
  next_ = storage + header;
  end_ = storage + bytes;
  heldBytes_ += bytes;
  nextBlockBytes_ = heldBytes_ >= kHugeBlocksAfterBytes
                        ? kHugePageBytes
                        : std::min(2 * nextBlockBytes_, kMaxBlockBytes);
  return true;
}

void* ParagraphArena::allocateApart(std::size_t bytes) noexcept {
  const std::size_t header = aligned(sizeof(Block));
  if (bytes > static_cast<std::size_t>(-1) - header) return nullptr;
  char* storage = takeBlock(header + bytes);
  if (!storage) return nullptr;
  // Linked behind the current block (or first, with nothing current yet), so
  // that the arena's end frees it with the others.
  Block* apart = new (storage) Block{nullptr, header + bytes};
  if (!track(apart)) {
    freeLargeBlock(storage, header + bytes);
    return nullptr;
  }
  if (block_) {
    apart->previous = block_->previous;
    block_->previous = apart;
  } else {
    block_ = apart;
    next_ = end_ = nullptr;
  }
  return storage + header;
}

}  // namespace Kivrel::internal

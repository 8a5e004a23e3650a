// Storage for the paragraphs of one document model, carved from large blocks.
#include "model/paragraph_arena.h"

#include <algorithm>
#include <new>

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
// Every object's slot starts with the address of its block (null outside an
// arena); slots, and what they hold, are aligned to a pointer.
constexpr std::size_t kSlotHeader = sizeof(void*);

std::size_t aligned(std::size_t size) {
  return (size + kSlotHeader - 1) / kSlotHeader * kSlotHeader;
}

}  // namespace

struct ParagraphArena::Block {
  ParagraphArena* arena;
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
  const std::size_t bytes = kSlotHeader + aligned(size);
  if (static_cast<std::size_t>(end_ - next_) < bytes && !newBlock(bytes)) throw std::bad_alloc();
  char* slot = next_;
  next_ += bytes;
  *reinterpret_cast<Block**>(slot) = block_;
  ++allocated_;
  return slot + kSlotHeader;
}

void* ParagraphArena::allocateBytes(std::size_t size) noexcept {
  // Aligned like a slot, so the next slot stays aligned.
  const std::size_t bytes = aligned(size);
  if (bytes < size) return nullptr;
  if (static_cast<std::size_t>(end_ - next_) < bytes) {
    if (bytes >= kApartBytes) return allocateApart(bytes);
    if (!newBlock(bytes)) return nullptr;
  }
  void* storage = next_;
  next_ += bytes;
  return storage;
}

void* ParagraphArena::allocateSingle(std::size_t size) {
  char* slot = static_cast<char*>(::operator new(kSlotHeader + aligned(size)));
  *reinterpret_cast<Block**>(slot) = nullptr;
  return slot + kSlotHeader;
}

void ParagraphArena::release(void* p) noexcept {
  if (!p) return;
  char* slot = static_cast<char*>(p) - kSlotHeader;
  if (Block* block = *reinterpret_cast<Block**>(slot)) {
    ++block->arena->released_;
  } else {
    ::operator delete(slot);
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
  block_ = new (storage) Block{this, block_, bytes};
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
  Block* apart = new (storage) Block{this, nullptr, header + bytes};
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

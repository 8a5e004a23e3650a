// Storage for the paragraphs of one document model, carved from large blocks.
#include "model/paragraph_arena.h"

#include <algorithm>
#include <new>

#include "model/prefault.h"

namespace Kivrel::internal {

namespace {

// Blocks grow from a size a small document fills to one that keeps the
// allocator out of the way on a large one.
constexpr std::size_t kFirstBlockBytes = 16 * 1024;
constexpr std::size_t kMaxBlockBytes = 512 * 1024;
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
};

ParagraphArena::~ParagraphArena() {
  while (block_) {
    Block* previous = block_->previous;
    ::operator delete(static_cast<void*>(block_));
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
  if (static_cast<std::size_t>(end_ - next_) < bytes && !newBlock(bytes)) return nullptr;
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

bool ParagraphArena::newBlock(std::size_t atLeast) noexcept {
  if (nextBlockBytes_ == 0) nextBlockBytes_ = kFirstBlockBytes;
  const std::size_t header = aligned(sizeof(Block));
  if (atLeast > static_cast<std::size_t>(-1) - header) return false;
  const std::size_t bytes = std::max(nextBlockBytes_, header + atLeast);
  char* storage = nullptr;
  try {
    storage = static_cast<char*>(::operator new(bytes));
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The reader fills a block soon after taking it.
  if (bytes >= kPrefaultMinBytes) prefaultPages(storage, bytes);
  block_ = new (storage) Block{this, block_};
  next_ = storage + header;
  end_ = storage + bytes;
  nextBlockBytes_ = std::min(2 * nextBlockBytes_, kMaxBlockBytes);
  return true;
}

}  // namespace Kivrel::internal

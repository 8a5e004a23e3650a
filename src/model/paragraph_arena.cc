// Storage for the paragraphs of one reading pass, carved from large blocks.
#include "model/paragraph_arena.h"

#include <algorithm>
#include <new>

namespace Kivrel::internal {

namespace {

// Blocks grow from a size a small document fills to one that keeps the
// allocator out of the way on a large one.
constexpr std::size_t kFirstBlockBytes = 16 * 1024;
constexpr std::size_t kMaxBlockBytes = 512 * 1024;
// Every slot starts with the address of its block (null outside an arena);
// slots, and what they hold, are aligned to a pointer.
constexpr std::size_t kSlotHeader = sizeof(void*);

std::size_t slotBytes(std::size_t size) {
  return kSlotHeader + (size + kSlotHeader - 1) / kSlotHeader * kSlotHeader;
}

}  // namespace

struct ParagraphArena::Block {
  // Live slots, plus one while the arena still carves from the block.
  std::size_t holds;
};

static_assert(sizeof(ParagraphArena::Block) <= kSlotHeader);

ParagraphArena::~ParagraphArena() { drop(block_); }

void* ParagraphArena::allocate(std::size_t size) {
  const std::size_t bytes = slotBytes(size);
  if (static_cast<std::size_t>(end_ - next_) < bytes) newBlock(bytes);
  char* slot = next_;
  next_ += bytes;
  *reinterpret_cast<Block**>(slot) = block_;
  ++block_->holds;
  return slot + kSlotHeader;
}

void* ParagraphArena::allocateWith(void* p, std::size_t size) {
  if (!p || *reinterpret_cast<Block**>(static_cast<char*>(p) - kSlotHeader) != block_) {
    return nullptr;
  }
  // Aligned like a slot, so the next slot stays aligned.
  const std::size_t bytes = (size + kSlotHeader - 1) / kSlotHeader * kSlotHeader;
  if (static_cast<std::size_t>(end_ - next_) < bytes) return nullptr;
  void* storage = next_;
  next_ += bytes;
  return storage;
}

void* ParagraphArena::allocateSingle(std::size_t size) {
  char* slot = static_cast<char*>(::operator new(slotBytes(size)));
  *reinterpret_cast<Block**>(slot) = nullptr;
  return slot + kSlotHeader;
}

void ParagraphArena::release(void* p) noexcept {
  if (!p) return;
  char* slot = static_cast<char*>(p) - kSlotHeader;
  Block* block = *reinterpret_cast<Block**>(slot);
  if (block) {
    drop(block);
  } else {
    ::operator delete(slot);
  }
}

void ParagraphArena::newBlock(std::size_t atLeast) {
  if (nextBlockBytes_ == 0) nextBlockBytes_ = kFirstBlockBytes;
  const std::size_t bytes = std::max(nextBlockBytes_, kSlotHeader + atLeast);
  char* storage = static_cast<char*>(::operator new(bytes));
  drop(block_);
  block_ = new (storage) Block{1};
  next_ = storage + kSlotHeader;
  end_ = storage + bytes;
  nextBlockBytes_ = std::min(2 * nextBlockBytes_, kMaxBlockBytes);
}

void ParagraphArena::drop(Block* block) noexcept {
  if (block && --block->holds == 0) {
    block->~Block();
    ::operator delete(static_cast<void*>(block));
  }
}

}  // namespace Kivrel::internal

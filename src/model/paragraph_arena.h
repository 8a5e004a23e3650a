// Storage for the paragraphs of one reading pass, carved from large blocks.
#ifndef KIVREL_MODEL_PARAGRAPH_ARENA_H_
#define KIVREL_MODEL_PARAGRAPH_ARENA_H_

#include <cstddef>

namespace Kivrel::internal {

// A run creates a paragraph for every paragraph start of the stream, up to one
// per 8 bytes of input, and deletes them all at its end. The arena hands out
// their storage from blocks, in stream order, instead of one heap allocation
// each: cheaper to make and free, and the passes then walk the paragraphs
// through contiguous memory. Each slot records its block, and a block is freed
// when its last slot is released and the arena has moved on, so a paragraph
// from the arena is deleted like any other (see MPParagraph) and may outlive
// the arena.
class ParagraphArena {
 public:
  struct Block;

  ParagraphArena() = default;
  ParagraphArena(const ParagraphArena&) = delete;
  ParagraphArena& operator=(const ParagraphArena&) = delete;
  ~ParagraphArena();

  // Storage for one object of size bytes, aligned to a pointer.
  void* allocate(std::size_t size);
  // size more bytes in the block of p, which live as long as p does; null
  // when p's block is not the one the arena carves from or has no room left.
  void* allocateWith(void* p, std::size_t size);
  // The same, outside any arena.
  static void* allocateSingle(std::size_t size);
  // Frees storage from either of the two.
  static void release(void* p) noexcept;

 private:
  void newBlock(std::size_t atLeast);
  static void drop(Block* block) noexcept;

  Block* block_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
  std::size_t nextBlockBytes_ = 0;
};

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_PARAGRAPH_ARENA_H_

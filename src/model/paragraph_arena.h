// Storage for the paragraphs and pages of one document model, carved from
// large blocks.
#ifndef KIVREL_MODEL_PARAGRAPH_ARENA_H_
#define KIVREL_MODEL_PARAGRAPH_ARENA_H_

#include <cstddef>
#include <cstdint>
#include <map>

namespace Kivrel::internal {

// A run creates a paragraph for every paragraph start of the stream, up to one
// per 8 bytes of input, and deletes them all at its end. The arena hands out
// their storage, and that of their long texts, from blocks in stream order
// instead of one heap allocation each: cheaper to make, and the passes then
// walk the paragraphs through contiguous memory. The arena lives as long as
// the model and frees every block at its end, so a model made only of its
// objects goes without a walk over them (see releaseModel). Its objects are
// never deleted: one taken out of a model is ended in place (see
// discardFromModel). Slots carry no header; each arena knows its own blocks.
// Pages and style entries come from the arena alike: a stream of
// one-paragraph pages makes up to one page per 16 bytes of input, one of
// distinct formats a style entry per 128, and a heap chunk's header and
// rounding would add a third to a page and two thirds to an entry.
class ParagraphArena {
 public:
  struct Block;

  ParagraphArena() = default;
  ParagraphArena(const ParagraphArena&) = delete;
  ParagraphArena& operator=(const ParagraphArena&) = delete;
  ~ParagraphArena();

  // Storage for one object of size bytes, aligned to 4 bytes (a paragraph's
  // own alignment).
  void* allocate(std::size_t size);
  // Storage for one page (an MPPage) of size bytes, aligned to 8, and for
  // one style entry, aligned to 4.
  void* allocatePage(std::size_t size);
  void* allocateStyle(std::size_t size);
  // size bytes that live as long as the arena, next to the last object when
  // there is room. Throws std::bad_alloc when memory runs out, as the others.
  void* allocateBytes(std::size_t size);

  // True when nothing was carved from the current block after p, an object of
  // size bytes.
  bool isLast(const void* p, std::size_t size) const {
    return static_cast<const char*>(p) + aligned(size) == next_;
  }
  // Takes back the storage of p, destroyed, where the caller lists a
  // paragraph allocated before in p's place: that place counts as a reuse.
  // REQUIRES: isLast(p, the size it was allocated with).
  void reuseInPlaceOfLast(void* p) noexcept {
    next_ = static_cast<char*>(p);
    --allocated_;
    ++reuses_;
  }
  // Gives the unused end of the current block back to the system, for a
  // model that is complete: a large model's last block is a prefaulted
  // 2 MiB huge page, on average half of it unused.
  void releaseUnusedTail() noexcept;
  // True when p lies in one of this arena's blocks.
  bool holds(const void* p) const noexcept;
  // Counts an object of the arena's that was taken out of the model and
  // ended in place.
  void noteTakenOut() noexcept { ++takenOut_; }

  // Paragraphs allocated, pages and style entries apart, how many of any
  // of them were taken out since, and how many places list a paragraph a
  // second time or more.
  std::size_t allocated() const { return allocated_; }
  std::size_t pagesAllocated() const { return pagesAllocated_; }
  std::size_t stylesAllocated() const { return stylesAllocated_; }
  // Bytes in the blocks the arena carves from.
  std::size_t heldBytes() const { return heldBytes_; }
  std::size_t takenOut() const { return takenOut_; }
  std::size_t reuses() const { return reuses_; }

 private:
  // Slots, and the texts between them, are aligned to 4 bytes: all a
  // paragraph and a text's length need.
  static constexpr std::size_t kSlotAlignment = 4;
  static constexpr std::size_t aligned(std::size_t size) {
    return (size + kSlotAlignment - 1) / kSlotAlignment * kSlotAlignment;
  }

  static constexpr std::size_t kPagesPerRun = 32;

  // size bytes at the next multiple of alignment (at most 8).
  void* carve(std::size_t size, std::size_t alignment);

  // Null when memory runs out.
  static char* takeBlock(std::size_t bytes) noexcept;
  // False when memory runs out.
  bool newBlock(std::size_t atLeast) noexcept;
  // bytes in a block of their own; null when memory runs out.
  void* allocateApart(std::size_t bytes) noexcept;
  // Adds block to the blocks holds() knows; false when memory runs out.
  bool track(Block* block) noexcept;

  Block* block_ = nullptr;  // the newest; each links to the one before
  char* next_ = nullptr;
  char* end_ = nullptr;
  char* pageRunNext_ = nullptr;  // the rest of the last run of pages
  char* pageRunEnd_ = nullptr;
  std::size_t nextBlockBytes_ = 0;
  std::size_t heldBytes_ = 0;  // in the blocks newBlock made
  std::size_t allocated_ = 0;
  std::size_t pagesAllocated_ = 0;
  std::size_t stylesAllocated_ = 0;
  std::size_t takenOut_ = 0;
  std::size_t reuses_ = 0;
  std::map<std::uintptr_t, std::size_t> blockBytes_;  // by start address
};

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_PARAGRAPH_ARENA_H_

// Find-or-add of character formats in the style table.
#ifndef KIVREL_MODEL_STYLE_TABLE_H_
#define KIVREL_MODEL_STYLE_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/model.h"

namespace Kivrel::internal {

struct StyleFormatHash {
  std::size_t operator()(const StyleFormat& k) const;
};

// Index over a style table for one reading pass. Gives the index a scan from
// entry 0 for the first entry with equal identity fields would give, in
// constant expected time. The table must not be changed except through this
// object while it is in use.
class StyleTableIndex {
 public:
  // Indexes the entries already in table (normally none). New entries come
  // from arena when one is given, else from the heap.
  explicit StyleTableIndex(std::vector<StyleEntry*>& table, ParagraphArena* arena = nullptr);

  // format: a CharacterFormat body (kCharacterFormatBodySize bytes). A match
  // gets its useCount raised by one (wrapping); otherwise a new entry with
  // useCount 0 and the format's identity fields is appended. Returns the
  // index.
  int findOrAdd(const unsigned char* format);

 private:
  // Open addressing over table indices: a slot holds index + 1 (0: empty)
  // and the high half of its key's hash, which also places it. So a lookup
  // reads an entry only when the halves agree, and growing reads none. At
  // most half the slots are used. Eight bytes per slot keep the index at a
  // fraction of the entries it covers, which a stream of distinct formats
  // makes the bulk of what a run holds.
  struct Slot {
    std::uint32_t indexPlusOne;
    std::uint32_t hashHigh;
  };
  // The slot that holds key, or the empty one where it would go.
  Slot& slotFor(const StyleFormat& key, std::uint64_t hash);
  void grow();
  // Raises the useCount of entry index by one (wrapping); returns index.
  int countUse(int index);

  std::vector<StyleEntry*>& table_;
  ParagraphArena* arena_;
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
  // The last result and its key: runs of one paragraph mostly repeat the
  // format before them, and an equal key has the same first entry.
  StyleFormat lastKey_{};
  int lastIndex_ = -1;
};

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_STYLE_TABLE_H_

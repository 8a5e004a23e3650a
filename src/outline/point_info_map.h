// The per-point statistics of one run.
#ifndef KIVREL_OUTLINE_POINT_INFO_MAP_H_
#define KIVREL_OUTLINE_POINT_INFO_MAP_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "model/model.h"

namespace Kivrel::internal {

// For each point given out, the style that stands for it and how many
// paragraphs got it. Only ever looked up by point, never walked in order, so
// an open-addressing hash table of 12-byte slots: a document of ever larger
// headings gives nearly every paragraph a point of its own, and a node-based
// table costs 40 bytes a point. Growth builds the larger table aside and
// swaps it in, so a run that runs out of memory leaves this one whole.
// Any int is a valid point: which slots are taken is kept in a bitmap.
class PointInfoMap {
 public:
  PointInfoMap() = default;
  PointInfoMap(const PointInfoMap&) = delete;
  PointInfoMap& operator=(const PointInfoMap&) = delete;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // Null when point has no entry.
  const PointInfo* find(int point) const;
  PointInfo* find(int point);
  // The entry for point, made from `made` when missing; added tells which.
  PointInfo& tryEmplace(int point, PointInfo made, bool& added);
  // The entry for point, made empty when missing.
  PointInfo& operator[](int point);
  // Throws std::out_of_range when point has no entry.
  const PointInfo& at(int point) const;
  // Forgets every entry, keeping the storage.
  void clear();

 private:
  struct Slot {
    int point;
    PointInfo info;
  };

  std::size_t home(int point) const;
  static bool bitSet(const std::uint64_t* bits, std::size_t i) {
    return (bits[i / 64] >> (i % 64)) & 1;
  }
  bool taken(std::size_t i) const { return bitSet(used_.get(), i); }
  // Fills free slot i.
  void place(std::size_t i, const Slot& slot) {
    slots_[i] = slot;
    used_[i / 64] |= std::uint64_t{1} << (i % 64);
  }
  // The slot holding point, or the free one where it would go.
  std::size_t probe(int point) const;
  void grow();

  std::unique_ptr<Slot[]> slots_;
  std::unique_ptr<std::uint64_t[]> used_;
  std::size_t capacity_ = 0;  // 0 or a power of two, at least 64
  int shift_ = 64;            // 64 - log2(capacity_)
  std::size_t size_ = 0;
};

// The run's map, made at its first use.
inline PointInfoMap& pointInfosIn(PointInfoMap*& slot) {
  if (!slot) slot = new PointInfoMap;
  return *slot;
}

}  // namespace Kivrel::internal

#endif  // KIVREL_OUTLINE_POINT_INFO_MAP_H_

#include "outline/point_info_map.h"

#include <cstring>
#include <stdexcept>

namespace Kivrel::internal {

namespace {

constexpr int kFirstCapacityBits = 6;
constexpr std::size_t kFirstCapacity = std::size_t{1} << kFirstCapacityBits;

std::size_t bitmapWords(std::size_t capacity) { return capacity / 64; }

}  // namespace

std::size_t PointInfoMap::home(int point) const {
  // Fibonacci hashing: points come in runs of neighbours and in multiples
  // of 100, which the top bits of the product spread evenly.
  const std::uint64_t h =
      static_cast<std::uint64_t>(static_cast<std::uint32_t>(point)) * 0x9E3779B97F4A7C15ull;
  return static_cast<std::size_t>(h >> shift_);
}

std::size_t PointInfoMap::probe(int point) const {
  const std::size_t mask = capacity_ - 1;
  std::size_t i = home(point);
  while (taken(i) && slots_[i].point != point) i = (i + 1) & mask;
  return i;
}

const PointInfo* PointInfoMap::find(int point) const {
  if (size_ == 0) return nullptr;
  const std::size_t i = probe(point);
  return taken(i) ? &slots_[i].info : nullptr;
}

PointInfo* PointInfoMap::find(int point) {
  return const_cast<PointInfo*>(static_cast<const PointInfoMap*>(this)->find(point));
}

PointInfo& PointInfoMap::tryEmplace(int point, PointInfo made, bool& added) {
  std::size_t i = 0;
  if (capacity_ > 0) {
    i = probe(point);
    if (taken(i)) {
      added = false;
      return slots_[i].info;
    }
  }
  // At most seven eighths full, which keeps linear probes short.
  if ((size_ + 1) * 8 > capacity_ * 7) {
    grow();
    i = probe(point);
  }
  place(i, Slot{point, made});
  ++size_;
  added = true;
  return slots_[i].info;
}

PointInfo& PointInfoMap::operator[](int point) {
  bool added = false;
  return tryEmplace(point, PointInfo{}, added);
}

const PointInfo& PointInfoMap::at(int point) const {
  const PointInfo* info = find(point);
  if (!info) throw std::out_of_range("PointInfoMap::at");
  return *info;
}

void PointInfoMap::clear() {
  if (capacity_ > 0) std::memset(used_.get(), 0, bitmapWords(capacity_) * sizeof(std::uint64_t));
  size_ = 0;
}

void PointInfoMap::grow() {
  const std::size_t capacity = capacity_ == 0 ? kFirstCapacity : capacity_ * 2;
  std::unique_ptr<Slot[]> slots(new Slot[capacity]);
  std::unique_ptr<std::uint64_t[]> used(new std::uint64_t[bitmapWords(capacity)]());
  // Nothing below allocates: from here on the move cannot fail.
  std::unique_ptr<Slot[]> oldSlots = std::move(slots_);
  std::unique_ptr<std::uint64_t[]> oldUsed = std::move(used_);
  const std::size_t oldCapacity = capacity_;
  slots_ = std::move(slots);
  used_ = std::move(used);
  capacity_ = capacity;
  shift_ = oldCapacity == 0 ? 64 - kFirstCapacityBits : shift_ - 1;
  for (std::size_t j = 0; j < oldCapacity; ++j) {
    if (!bitSet(oldUsed.get(), j)) continue;
    place(probe(oldSlots[j].point), oldSlots[j]);
  }
}

}  // namespace Kivrel::internal

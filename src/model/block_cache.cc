// Large blocks that one run frees and a later run takes again.
#include "model/block_cache.h"

#include <cstring>

namespace Kivrel::internal {

BlockCache::BlockCache(std::size_t limitBytes, FreeBlock freeBlock)
    : limitBytes_(limitBytes), freeBlock_(freeBlock) {}

BlockCache::~BlockCache() { trimTo(0); }

void* BlockCache::take(std::size_t capacity) noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  // The newest first: its pages are the likeliest still in the caches.
  for (std::size_t i = held_.size(); i-- > 0;) {
    if (held_[i].capacity != capacity) continue;
    void* p = held_[i].p;
    held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
    heldBytes_ -= capacity;
    if (fillOnTake_ >= 0) std::memset(p, fillOnTake_, capacity);
    return p;
  }
  return nullptr;
}

bool BlockCache::keep(void* p, std::size_t capacity) noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  if (capacity > limitBytes_) return false;
  trimTo(limitBytes_ - capacity);
  try {
    held_.push_back(Held{p, capacity});
  } catch (...) {
    return false;
  }
  heldBytes_ += capacity;
  return true;
}

void BlockCache::setLimit(std::size_t limitBytes) noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  limitBytes_ = limitBytes;
  trimTo(limitBytes);
}

std::size_t BlockCache::limit() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return limitBytes_;
}

std::size_t BlockCache::heldBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return heldBytes_;
}

void BlockCache::setFillOnTake(int byte) {
  std::lock_guard<std::mutex> lock(mutex_);
  fillOnTake_ = byte;
}

void BlockCache::trimTo(std::size_t limitBytes) noexcept {
  std::size_t freed = 0;
  while (freed < held_.size() && heldBytes_ > limitBytes) {
    freeBlock_(held_[freed].p, held_[freed].capacity);
    heldBytes_ -= held_[freed].capacity;
    ++freed;
  }
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(freed));
}

std::size_t blockCacheLimitFrom(const char* mib, std::size_t fallbackBytes) noexcept {
  if (!mib || !*mib) return fallbackBytes;
  constexpr std::size_t kMiB = 1 << 20;
  std::size_t limit = 0;
  for (const char* c = mib; *c; ++c) {
    if (*c < '0' || *c > '9') return fallbackBytes;
    const std::size_t digit = static_cast<std::size_t>(*c - '0');
    if (limit > (static_cast<std::size_t>(-1) / kMiB - digit) / 10) return fallbackBytes;
    limit = limit * 10 + digit;
  }
  return limit * kMiB;
}

}  // namespace Kivrel::internal

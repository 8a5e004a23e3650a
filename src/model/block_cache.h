// Large blocks that one run frees and a later run takes again.
#ifndef KIVREL_MODEL_BLOCK_CACHE_H_
#define KIVREL_MODEL_BLOCK_CACHE_H_

#include <cstddef>
#include <mutex>
#include <vector>

namespace Kivrel::internal {

// A run writes its model into blocks that come fresh from the kernel, and a
// fresh page costs a fault the first time it is written (in a virtual machine
// that hands freed memory back to its host, the host's mapping as well). On a
// 10,000-paragraph document that was a third of the run. A host that extracts
// one document after another gets the blocks of the runs before from here
// instead, up to a limit on what the cache holds between runs.
//
// Thread-safe: runs on several threads share one cache.
class BlockCache {
 public:
  // Frees a block the cache lets go of, as the allocator that made it would.
  using FreeBlock = void (*)(void* p, std::size_t capacity);

  BlockCache(std::size_t limitBytes, FreeBlock freeBlock);
  ~BlockCache();  // frees what it holds
  BlockCache(const BlockCache&) = delete;
  BlockCache& operator=(const BlockCache&) = delete;

  // A block of exactly capacity bytes that keep was given, or null. Its
  // contents are whatever its last user left.
  void* take(std::size_t capacity) noexcept;
  // Holds p (capacity bytes) for a later take, freeing the blocks held
  // longest where the limit needs room. False, holding nothing, when p alone
  // is over the limit: the caller then frees p itself.
  bool keep(void* p, std::size_t capacity) noexcept;

  // Frees what is over limitBytes, and holds no more than that from now on.
  void setLimit(std::size_t limitBytes) noexcept;
  std::size_t limit() const;
  std::size_t heldBytes() const;
  // When set, take fills a block with this byte first, so a user that
  // relied on fresh memory being zero shows in a test.
  void setFillOnTake(int byte);

 private:
  struct Held {
    void* p;
    std::size_t capacity;
  };
  // Frees the blocks held longest until at most limitBytes stay. mutex_ held.
  void trimTo(std::size_t limitBytes) noexcept;

  mutable std::mutex mutex_;
  std::vector<Held> held_;  // the longest held first
  std::size_t heldBytes_ = 0;
  std::size_t limitBytes_;
  int fillOnTake_ = -1;
  const FreeBlock freeBlock_;
};

// Parses the limit a host sets in KIVREL_BLOCK_CACHE_MIB (null when unset):
// a count of MiB in decimal digits; anything else gives fallbackBytes.
std::size_t blockCacheLimitFrom(const char* mib, std::size_t fallbackBytes) noexcept;

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_BLOCK_CACHE_H_

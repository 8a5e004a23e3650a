// 32-bit arithmetic that wraps as two's complement instead of overflowing:
// counts, indices and positions come from the stream and may sit at the
// int limits.
#ifndef KIVREL_MODEL_WRAPPING_H_
#define KIVREL_MODEL_WRAPPING_H_

#include <cstdint>

namespace Kivrel::internal {

inline std::int32_t wrapAdd(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

inline std::int32_t wrapSub(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_WRAPPING_H_

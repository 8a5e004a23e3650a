// Fixed-width integers as the record stream stores them: little-endian, at
// any alignment.
#ifndef KIVREL_MODEL_LITTLE_ENDIAN_H_
#define KIVREL_MODEL_LITTLE_ENDIAN_H_

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace Kivrel::internal {

// A little-endian host loads with one unaligned move; the byte loops are
// for the others.
inline constexpr bool kLittleEndianHost =
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    true;
#else
    false;
#endif

template <typename T>
T loadLe(const unsigned char* p) {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  U v = 0;
  if constexpr (kLittleEndianHost) {
    std::memcpy(&v, p, sizeof v);
  } else {
    for (std::size_t i = 0; i < sizeof(T); ++i) v = static_cast<U>(v | (U{p[i]} << (8 * i)));
  }
  return static_cast<T>(v);
}

template <typename T>
void storeLe(unsigned char* p, T value) {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  U v = static_cast<U>(value);
  if constexpr (kLittleEndianHost) {
    std::memcpy(p, &v, sizeof v);
  } else {
    for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
  }
}

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_LITTLE_ENDIAN_H_

// Cuts of texts too long for one Text record or one ICU conversion.
#ifndef KIVREL_INTERFACE_TEXT_PIECES_H_
#define KIVREL_INTERFACE_TEXT_PIECES_H_

#include <cstddef>
#include <string_view>

namespace Kivrel::internal {

// Longer texts go out as several Text records, which the reader appends to
// the same paragraph. Each stays below 2^31 bytes: a reader that passes over
// one (no paragraph yet) then moves past it, not to the end of the input.
constexpr std::size_t kMaxTextRecordUnits = 0x3FFFFFFF;
// ICU converts UTF-8 of at most INT32_MAX bytes at a time.
constexpr std::size_t kMaxUtf8PieceBytes = 0x40000000;

// Length of the first piece of utf8 when pieces hold at most maxBytes: the
// cut goes before a byte that starts a character, so converting the pieces
// one by one gives what converting the whole would, malformed sequences
// included. REQUIRES: maxBytes >= 4.
inline std::size_t firstUtf8PieceBytes(std::string_view utf8, std::size_t maxBytes) {
  if (utf8.size() <= maxBytes) return utf8.size();
  auto continues = [&](std::size_t i) {
    return (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80;
  };
  // A byte that is no continuation byte always starts afresh. A character has
  // at most three continuation bytes, so when the byte at the cut and the
  // three before it all continue, the one at the cut stands alone.
  for (std::size_t back = 0; back <= 3; ++back) {
    if (!continues(maxBytes - back)) return maxBytes - back;
  }
  return maxBytes;
}

}  // namespace Kivrel::internal

#endif  // KIVREL_INTERFACE_TEXT_PIECES_H_

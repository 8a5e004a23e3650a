// Asking for a paragraph's memory before it is needed.
#ifndef KIVREL_OUTLINE_PREFETCH_H_
#define KIVREL_OUTLINE_PREFETCH_H_

#include "model/model.h"

namespace Kivrel::internal {

// How many paragraphs ahead of its visit a walk asks for one: enough loads in
// flight to cover a trip to memory.
constexpr int kParagraphsAhead = 16;

// Walks that visit a few paragraphs spread over a large model wait on memory
// at each one; naming the next ones early lets the loads overlap. Both cache
// lines a paragraph may straddle are asked for.
inline void prefetchParagraph(const MPParagraph* paragraph) {
#if defined(__GNUC__)
  __builtin_prefetch(paragraph);
  __builtin_prefetch(reinterpret_cast<const char*>(paragraph) + sizeof(MPParagraph) - 1);
#else
  (void)paragraph;
#endif
}

}  // namespace Kivrel::internal

#endif  // KIVREL_OUTLINE_PREFETCH_H_

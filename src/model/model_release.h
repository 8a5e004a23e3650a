// Releasing the per-run document model of an extractor.
#ifndef KIVREL_MODEL_MODEL_RELEASE_H_
#define KIVREL_MODEL_MODEL_RELEASE_H_

#include "kivrel/kivrant.h"

namespace Kivrel::internal {

// Deletes the extractor's style entries, pages (with their paragraphs) and
// point records, empties the three containers and sets pageCount to 0: the
// idle state between runs. Never throws.
void releaseModel(Kivrant& k) noexcept;

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_MODEL_RELEASE_H_

// Releasing the per-run document model of an extractor.
#ifndef KIVREL_MODEL_MODEL_RELEASE_H_
#define KIVREL_MODEL_MODEL_RELEASE_H_

#include "kivrel/kivrant.h"
#include "model/model.h"

namespace Kivrel::internal {

// Deletes the extractor's style entries, pages (with their paragraphs) and
// point records, empties the three containers and sets pageCount to 0: the
// idle state between runs. Never throws.
void releaseModel(Kivrant& k) noexcept;

// Ends an object the caller has just taken out of k's model (as tests that
// change a read model do): deletes one made with plain new, and ends one of
// the arena's in place, which then counts as taken out, so that the release
// goes object by object. A page's listed paragraphs end with it. Deleting an
// arena's object instead would free storage the heap never gave.
// REQUIRES: the object is listed nowhere else in the model (the reader lists
// a blank paragraph alike to the one before in that one's place).
void discardFromModel(Kivrant& k, MPParagraph* p) noexcept;
void discardFromModel(Kivrant& k, MPPage* page) noexcept;
void discardFromModel(Kivrant& k, StyleEntry* entry) noexcept;

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_MODEL_RELEASE_H_

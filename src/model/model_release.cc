// Releasing the per-run document model of an extractor.
#include "model/model_release.h"

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "model/paragraph_arena.h"
#include "outline/point_info_map.h"

namespace Kivrel::internal {

namespace {

// True when the pages hold exactly the paragraphs the reader took from the
// arena: their texts live in the arena too, so they own nothing and
// the arena's end frees them all. Anything else (a paragraph deleted, or one
// added by hand) makes every page delete its own. A text given by hand to a
// paragraph the reader made would be missed: nothing does that.
bool arenaHoldsAllParagraphs(const std::vector<MPPage*>& pages, const ParagraphArena& arena) {
  return arena.released() == 0 && paragraphCount(pages) == arena.allocated() + arena.reuses();
}

// Takes the arena's paragraphs off the pages, freeing a text given to one by
// hand, so that a blank one listed in several places is not deleted once for
// each: their storage goes with the arena.
void unlistArenaParagraphs(const std::vector<MPPage*>& pages, const ParagraphArena& arena) {
  for (MPPage* page : pages) {
    if (!page) continue;
    for (MPParagraph*& p : page->paragraphs) {
      if (p && arena.holds(p)) {
        p->text = ParagraphText();
        p = nullptr;
      }
    }
  }
}

}  // namespace

void releaseModel(Kivrant& k) noexcept {
  std::vector<StyleEntry*>& styles = KivrantInternals::styleTable(k);
  for (StyleEntry* entry : styles) delete entry;
  styles.clear();

  std::vector<MPPage*>& pages = KivrantInternals::pages(k);
  ParagraphArena*& arena = KivrantInternals::paragraphArena(k);
  // Going without the walk saves reading the whole model back from memory
  // once more, about 4 % of a large document's run.
  const bool arenaOnly = arena && arenaHoldsAllParagraphs(pages, *arena);
  if (arena && !arenaOnly) unlistArenaParagraphs(pages, *arena);
  for (MPPage* page : pages) {
    if (arenaOnly && page) page->paragraphs.clear();
    delete page;  // a page deletes the paragraphs it still lists
  }
  pages.clear();
  delete arena;
  arena = nullptr;

  internal::PointInfoMap*& points = KivrantInternals::pointInfoMap(k);
  delete points;
  points = nullptr;

  KivrantInternals::pageCount(k) = 0;
}

}  // namespace Kivrel::internal

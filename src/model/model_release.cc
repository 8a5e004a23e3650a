// Releasing the per-run document model of an extractor.
#include "model/model_release.h"

#include <algorithm>
#include <type_traits>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "model/paragraph_arena.h"
#include "outline/point_info_map.h"

namespace Kivrel::internal {

namespace {

template <class T>
std::size_t listed(const std::vector<T*>& objects) {
  return static_cast<std::size_t>(
      std::count_if(objects.begin(), objects.end(), [](const T* object) { return object; }));
}

// True when the model is exactly the style entries, pages and paragraphs the
// reader took from the arena: their texts live in the arena too, so they own
// nothing and the arena's end frees them all. Anything else (an object taken
// out, or one added by hand) makes each object go on its own. Counts
// decide, so an object of the reader's taken out without discardFromModel
// and replaced by one made by hand would be missed, as would a text given
// by hand to a paragraph the reader made: nothing does either.
bool arenaHoldsAllOfTheModel(const std::vector<StyleEntry*>& styles,
                             const std::vector<MPPage*>& pages, const ParagraphArena& arena) {
  return arena.takenOut() == 0 && listed(styles) == arena.stylesAllocated() &&
         listed(pages) == arena.pagesAllocated() &&
         paragraphCount(pages) == arena.allocated() + arena.reuses();
}

// Takes the arena's paragraphs off a page, freeing a text given to one by
// hand, so that a blank one listed in several places is not ended once for
// each: their storage goes with the arena.
void unlistArenaParagraphs(MPPage& page, const ParagraphArena* arena) noexcept {
  if (!arena) return;
  for (MPParagraph*& p : page.paragraphs) {
    if (p && arena->holds(p)) {
      p->text = ParagraphText();
      p = nullptr;
    }
  }
}

// Ends a page and the paragraphs it lists.
void endPage(MPPage* page, const ParagraphArena* arena) noexcept {
  if (!page) return;
  unlistArenaParagraphs(*page, arena);
  if (arena && arena->holds(page)) {
    page->~MPPage();  // its storage goes with the arena
  } else {
    delete page;  // deletes the single paragraphs it still lists
  }
}

// The arena's entries need no end: they own nothing.
static_assert(std::is_trivially_destructible_v<StyleEntry>);

void endStyleEntry(StyleEntry* entry, const ParagraphArena* arena) noexcept {
  if (!arena || !arena->holds(entry)) delete entry;
}

}  // namespace

void releaseModel(Kivrant& k) noexcept {
  std::vector<StyleEntry*>& styles = KivrantInternals::styleTable(k);
  std::vector<MPPage*>& pages = KivrantInternals::pages(k);
  ParagraphArena*& arena = KivrantInternals::paragraphArena(k);
  // Going without the walk saves reading the whole model back from memory
  // once more, about 4 % of a large document's run.
  const bool arenaOnly = arena && arenaHoldsAllOfTheModel(styles, pages, *arena);

  if (!arenaOnly) {
    for (StyleEntry* entry : styles) endStyleEntry(entry, arena);
  }
  styles.clear();

  for (MPPage* page : pages) {
    if (!arenaOnly) {
      endPage(page, arena);
    } else if (page) {
      page->paragraphs.clear();
      page->~MPPage();  // its storage goes with the arena
    }
  }
  pages.clear();
  delete arena;
  arena = nullptr;

  internal::PointInfoMap*& points = KivrantInternals::pointInfoMap(k);
  delete points;
  points = nullptr;

  KivrantInternals::pageCount(k) = 0;
}

namespace {

// True when p is the arena's, counted then as taken out.
bool takenOutOfArena(ParagraphArena* arena, const void* p) noexcept {
  if (!arena || !arena->holds(p)) return false;
  arena->noteTakenOut();
  return true;
}

}  // namespace

void discardFromModel(Kivrant& k, MPParagraph* p) noexcept {
  if (takenOutOfArena(KivrantInternals::paragraphArena(k), p)) {
    p->~MPParagraph();
  } else {
    delete p;
  }
}

void discardFromModel(Kivrant& k, MPPage* page) noexcept {
  ParagraphArena* arena = KivrantInternals::paragraphArena(k);
  takenOutOfArena(arena, page);
  endPage(page, arena);
}

void discardFromModel(Kivrant& k, StyleEntry* entry) noexcept {
  ParagraphArena* arena = KivrantInternals::paragraphArena(k);
  takenOutOfArena(arena, entry);
  endStyleEntry(entry, arena);
}

}  // namespace Kivrel::internal

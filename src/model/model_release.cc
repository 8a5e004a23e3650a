// Releasing the per-run document model of an extractor.
#include "model/model_release.h"

#include "interface/kivrant_internals.h"
#include "model/model.h"

namespace Kivrel::internal {

void releaseModel(Kivrant& k) noexcept {
  std::vector<StyleEntry*>& styles = KivrantInternals::styleTable(k);
  for (StyleEntry* entry : styles) delete entry;
  styles.clear();

  std::vector<MPPage*>& pages = KivrantInternals::pages(k);
  for (MPPage* page : pages) delete page;  // a page deletes its paragraphs
  pages.clear();

  std::map<int, PointInfo*>& points = KivrantInternals::pointInfoMap(k);
  for (auto& entry : points) delete entry.second;
  points.clear();

  KivrantInternals::pageCount(k) = 0;
}

}  // namespace Kivrel::internal

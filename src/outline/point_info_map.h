// The per-point statistics of one run.
#ifndef KIVREL_OUTLINE_POINT_INFO_MAP_H_
#define KIVREL_OUTLINE_POINT_INFO_MAP_H_

#include <unordered_map>

#include "model/model.h"

namespace Kivrel::internal {

// For each point given out, the style that stands for it and how many
// paragraphs got it. Only ever looked up by point, never walked in order, so
// a hash table: a document of ever larger headings gives nearly every
// paragraph a point of its own, and an ordered map's node with a record of
// its own took 96 bytes of heap for each. The standard one, since a run that
// runs out of memory must leave it whole for the release: the flat tables at
// hand are left broken by a failed growth.
class PointInfoMap : public std::unordered_map<int, PointInfo> {};

// The run's map, made at its first use.
inline PointInfoMap& pointInfosIn(PointInfoMap*& slot) {
  if (!slot) slot = new PointInfoMap;
  return *slot;
}

}  // namespace Kivrel::internal

#endif  // KIVREL_OUTLINE_POINT_INFO_MAP_H_

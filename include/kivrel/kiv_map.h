// An iterable view of a parsed page-range string.
#ifndef KIVREL_KIV_MAP_H_
#define KIVREL_KIV_MAP_H_

#include <map>

#include "kivrel/export.h"

namespace Kivrel {

// Owns an ordered map from a range's first page to its last page (-1: through
// the end). Copies are deep; a copy's position starts at the end.
class KIVREL_EXPORT KivMap {
 public:
  KivMap();
  KivMap(const KivMap& other);
  KivMap& operator=(const KivMap& other);
  ~KivMap();

  // Moves to the entry with the smallest key.
  void setFirst();
  // Stores the entry at the position and advances; false (arguments
  // untouched) at the end.
  bool getNext(int& key, int& value);

  std::map<int, int>* map;
  std::map<int, int>::iterator position;
};

}  // namespace Kivrel

#endif  // KIVREL_KIV_MAP_H_

// The iterable view of a parsed page-range string.
#include "kivrel/kiv_map.h"

namespace Kivrel {

KivMap::KivMap() : map(new std::map<int, int>()), position(map->end()) {}

KivMap::KivMap(const KivMap& other)
    : map(new std::map<int, int>(*other.map)), position(map->end()) {}

KivMap& KivMap::operator=(const KivMap& other) {
  if (this != &other) {
    *map = *other.map;
    position = map->end();
  }
  return *this;
}

KivMap::~KivMap() { delete map; }

void KivMap::setFirst() { position = map->begin(); }

bool KivMap::getNext(int& key, int& value) {
  if (position == map->end()) return false;
  key = position->first;
  value = position->second;
  ++position;
  return true;
}

}  // namespace Kivrel

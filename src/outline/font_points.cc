// Points from character size: the table of points in use, each with a
// representative style, and the placing of a style among them.
#include <algorithm>

#include "kivrel/kivrant.h"
#include "model/model.h"
#include "outline/point_info_map.h"
#include "outline/point_table.h"
#include "outline/style_size.h"

namespace Kivrel {

void Kivrant::insertPointArray(int point, std::vector<int>& pointArray) {
  pointArray.push_back(point);
  std::sort(pointArray.begin(), pointArray.end());
  pointArray.erase(std::unique(pointArray.begin(), pointArray.end()), pointArray.end());
}

namespace internal {

PointInfo& recordPointUse(PointInfoMap& infoMap, const std::vector<StyleEntry*>& styleTable,
                          int point, int styleIndex) {
  bool added = false;
  PointInfo& info = infoMap.tryEmplace(point, PointInfo{styleIndex, 0}, added);
  if (!added) {
    const int newSize = styleSize(styleTable, styleIndex);
    const int heldSize = styleSize(styleTable, info.styleIndex);
    // A heading-number point stands for the largest text seen with it, any
    // other point for the smallest.
    const bool numberPoint = point % kNumberPointStep == 0;
    const bool take = numberPoint ? newSize > heldSize : newSize < heldSize;
    if (take) info.styleIndex = styleIndex;
  }
  ++info.count;
  return info;
}

}  // namespace internal

void Kivrant::insertPointInfoMap(int point, int styleIndex) {
  internal::recordPointUse(internal::pointInfosIn(pointInfoMap), styleTable, point, styleIndex);
}

int Kivrant::getPointFromFontSize(MPParagraph* paragraph, std::vector<int>& pointArray,
                                  bool forOutput) {
  // The passes keep one table for the whole run; this places a single
  // paragraph among the points given.
  internal::PointTable table(pointArray, pointInfoMap, styleTable);
  return table.place(paragraph->styleIndex, paragraph->point, forOutput);
}

}  // namespace Kivrel

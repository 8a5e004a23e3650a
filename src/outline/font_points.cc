// Points from character size: the table of points in use, each with a
// representative style, and the placing of a style among them.
#include <algorithm>

#include "kivrel/kivrant.h"
#include "model/model.h"
#include "outline/style_size.h"

namespace Kivrel {

namespace {

// Heading-number points are multiples of this; font-derived points avoid them.
constexpr int kNumberPointStep = 100;
constexpr int kOffNumberPoint = 50;
// A style above every point in use opens a new level this far above the top.
constexpr int kAboveTopPoint = 99;
// Downward walk results when nothing ranks below the style.
constexpr int kBelowAllForOutput = 0;
constexpr int kBelowAllForLevels = 100;

// -1, 0 or 1 as style a ranks below, with, or above style b: size first,
// then weight.
int compareStyles(const std::vector<StyleEntry*>& styles, int a, int b) {
  const int sizeA = internal::styleSize(styles, a);
  const int sizeB = internal::styleSize(styles, b);
  if (sizeA != sizeB) return sizeA < sizeB ? -1 : 1;
  const int weightA = internal::styleWeight(styles, a);
  const int weightB = internal::styleWeight(styles, b);
  if (weightA != weightB) return weightA < weightB ? -1 : 1;
  return 0;
}

}  // namespace

void Kivrant::insertPointArray(int point, std::vector<int>& pointArray) {
  pointArray.push_back(point);
  std::sort(pointArray.begin(), pointArray.end());
  pointArray.erase(std::unique(pointArray.begin(), pointArray.end()), pointArray.end());
}

void Kivrant::insertPointInfoMap(int point, int styleIndex) {
  auto it = pointInfoMap.find(point);
  if (it == pointInfoMap.end()) {
    PointInfo* info = new PointInfo;
    info->styleIndex = styleIndex;
    info->count = 0;
    it = pointInfoMap.emplace(point, info).first;
  } else {
    PointInfo* info = it->second;
    const int newSize = internal::styleSize(styleTable, styleIndex);
    const int heldSize = internal::styleSize(styleTable, info->styleIndex);
    // A heading-number point stands for the largest text seen with it, any
    // other point for the smallest.
    const bool take = point % kNumberPointStep == 0 ? newSize > heldSize : newSize < heldSize;
    if (take) info->styleIndex = styleIndex;
  }
  ++it->second->count;
}

int Kivrant::getPointFromFontSize(MPParagraph* paragraph, std::vector<int>& pointArray,
                                  bool forOutput) {
  if (styleTable.empty()) return 0;
  const int style = paragraph->styleIndex;
  auto rankAgainst = [&](int point) {
    auto it = pointInfoMap.find(point);
    const int pointStyle = it == pointInfoMap.end() ? -1 : it->second->styleIndex;
    return compareStyles(styleTable, style, pointStyle);
  };
  const int count = static_cast<int>(pointArray.size());

  if (!forOutput && paragraph->point == kPlainPoint && count > 0) {
    // Upward: the first point whose style does not rank below this one.
    int r = 0;
    int i = 0;
    bool same = false;
    for (; i < count; ++i) {
      const int c = rankAgainst(pointArray[i]);
      if (c < 0) break;
      if (c == 0) {
        same = true;
        break;
      }
    }
    if (same) {
      r = pointArray[i];
    } else if (i == count) {
      r = pointArray[count - 1] + kAboveTopPoint;
    } else if (i == 0) {
      r = pointArray[0] / 2;
    } else {
      r = pointArray[i] - (pointArray[i] - pointArray[i - 1]) / 2;
    }
    if (r % kNumberPointStep == 0) r -= kOffNumberPoint;
    return r;
  }

  // Downward: the first point, from the top, whose style this one outranks.
  const int belowAll = forOutput ? kBelowAllForOutput : kBelowAllForLevels;
  for (int j = count - 1; j >= 0; --j) {
    const int c = rankAgainst(pointArray[j]);
    if (c == 0) return forOutput ? pointArray[j] : std::min(pointArray[j], paragraph->point);
    if (c > 0) {
      if (j == count - 1) return pointArray[j] + kAboveTopPoint;
      return pointArray[j] + (pointArray[j + 1] - pointArray[j]) / 2;
    }
  }
  return belowAll;
}

}  // namespace Kivrel

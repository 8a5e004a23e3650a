// The points in use with the rank of each one's representative style,
// ordered by point, for placing a style among them.
//
// Placing a style means finding the first point from the bottom whose style
// does not rank below it, or the first from the top that it does not rank
// below. A plain walk does that in time linear in the points, and every
// heading in a new size adds one, so a document of ever larger headings
// would cost quadratic time. This table is a treap whose subtrees know their
// lowest and highest rank, which finds either point in logarithmic time.
#ifndef KIVREL_OUTLINE_POINT_TABLE_H_
#define KIVREL_OUTLINE_POINT_TABLE_H_

#include <cstdint>
#include <vector>

#include "model/model.h"

namespace Kivrel::internal {

class PointInfoMap;

// Heading-number points are multiples of this; font-derived points avoid
// them.
constexpr int kNumberPointStep = 100;

// Orders styles by size, then weight; equal ranks are the same rank.
using StyleRank = std::int64_t;
StyleRank styleRank(const std::vector<StyleEntry*>& styleTable, int index);

// Records that a paragraph of style styleIndex was given point: the
// point's entry in infoMap, made when missing, counts one more use and
// keeps the style that stands for the point. Returns the entry.
PointInfo& recordPointUse(PointInfoMap& infoMap, const std::vector<StyleEntry*>& styleTable,
                          int point, int styleIndex);

class PointTable {
 public:
  // Starts with the points of pointArray, each ranked by its entry in
  // infoMap (a point without one, or with no map, ranks as the missing
  // style).
  PointTable(const std::vector<int>& pointArray, const PointInfoMap* infoMap,
             const std::vector<StyleEntry*>& styleTable);

  // Adds point, or re-ranks it, by the style that now stands for it.
  void set(int point, int styleIndex);
  // The same, by infoMap's entry for the point.
  void setFromInfo(int point, const PointInfoMap* infoMap);

  // The point a paragraph of style styleIndex and point paragraphPoint gets
  // from its style: found upward from the smallest point for a plain
  // paragraph outside the output, downward from the largest otherwise.
  int place(int styleIndex, int paragraphPoint, bool forOutput) const;

  bool empty() const { return root_ == kNil; }
  // All points, ascending.
  std::vector<int> points() const;

 private:
  static constexpr std::int32_t kNil = -1;
  static constexpr int kLeft = 0;  // smaller points
  static constexpr int kRight = 1;
  struct Node {
    int point;
    StyleRank rank;
    StyleRank lowest;  // of the subtree
    StyleRank highest;
    std::uint32_t priority;
    std::int32_t child[2] = {kNil, kNil};
  };

  // Adds point, or sets its rank when it is already in the table.
  void setRank(int point, StyleRank rank);
  // Hangs t, which holds point, under the last node of path_, or at the root.
  void link(std::int32_t t, int point);
  // Recomputes t's ranges from its own rank and its children's.
  void update(std::int32_t t);
  // The smallest (kLeft) or largest (kRight) point under t.
  int outermostPoint(std::int32_t t, int side) const;
  int placeUpward(StyleRank rank) const;
  int placeDownward(StyleRank rank, int paragraphPoint, bool forOutput) const;

  const std::vector<StyleEntry*>& styleTable_;
  std::vector<Node> nodes_;
  std::int32_t root_ = kNil;
  std::uint64_t priorityState_ = 0;
  std::vector<std::int32_t> path_;  // setRank's way down, kept to spare allocations
};

}  // namespace Kivrel::internal

#endif  // KIVREL_OUTLINE_POINT_TABLE_H_

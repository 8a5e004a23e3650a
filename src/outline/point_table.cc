#include "outline/point_table.h"

#include <algorithm>

#include "model/wrapping.h"
#include "outline/style_size.h"

namespace Kivrel::internal {

namespace {

// Weights stay below this, so size * kWeightSpan + weight orders by size
// first.
constexpr StyleRank kWeightSpan = 128;

// How far a font-derived point moves off a heading-number point.
constexpr int kOffNumberPoint = 50;
// A style above every point in use opens a new level this far above the top.
constexpr int kAboveTopPoint = 99;
// Downward walk results when nothing ranks below the style.
constexpr int kBelowAllForOutput = 0;
constexpr int kBelowAllForLevels = 100;

// Fixed seed: the same document always builds the same tree.
constexpr std::uint64_t kPrioritySeed = 0x9E3779B97F4A7C15ull;

std::uint32_t nextPriority(std::uint64_t& state) {
  // splitmix64
  std::uint64_t z = (state += kPrioritySeed);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
}

int offHundred(int point) {
  return point % kNumberPointStep == 0 ? wrapSub(point, kOffNumberPoint) : point;
}

}  // namespace

StyleRank styleRank(const std::vector<StyleEntry*>& styleTable, int index) {
  return static_cast<StyleRank>(styleSize(styleTable, index)) * kWeightSpan +
         styleWeight(styleTable, index);
}

PointTable::PointTable(const std::vector<int>& pointArray,
                       const std::map<int, PointInfo*>& infoMap,
                       const std::vector<StyleEntry*>& styleTable)
    : styleTable_(styleTable) {
  nodes_.reserve(pointArray.size());
  for (int point : pointArray) setFromInfo(point, infoMap);
}

void PointTable::set(int point, int styleIndex) {
  setRank(point, styleRank(styleTable_, styleIndex));
}

void PointTable::setFromInfo(int point, const std::map<int, PointInfo*>& infoMap) {
  auto it = infoMap.find(point);
  set(point, it == infoMap.end() ? -1 : it->second->styleIndex);
}

void PointTable::setRank(int point, StyleRank rank) {
  bool changed = false;
  root_ = insert(root_, point, rank, changed);
}

std::int32_t PointTable::insert(std::int32_t t, int point, StyleRank rank, bool& changed) {
  if (t == kNil) {
    nodes_.push_back({point, rank, rank, rank, nextPriority(priorityState_)});
    changed = true;
    return static_cast<std::int32_t>(nodes_.size() - 1);
  }
  if (point == nodes_[t].point) {
    // Most calls give a point the rank it has already: then the path above
    // keeps its ranges as they are.
    changed = nodes_[t].rank != rank;
    if (!changed) return t;
    nodes_[t].rank = rank;
  } else {
    const int side = point < nodes_[t].point ? kLeft : kRight;
    // Indices, not references: the insertion below may move nodes_.
    std::int32_t child = insert(nodes_[t].child[side], point, rank, changed);
    nodes_[t].child[side] = child;
    if (!changed) return t;
    if (nodes_[child].priority > nodes_[t].priority) return rotateUp(t, side);
  }
  update(t);
  return t;
}

void PointTable::update(std::int32_t t) {
  Node& n = nodes_[t];
  n.lowest = n.highest = n.rank;
  for (std::int32_t child : n.child) {
    if (child == kNil) continue;
    n.lowest = std::min(n.lowest, nodes_[child].lowest);
    n.highest = std::max(n.highest, nodes_[child].highest);
  }
}

std::int32_t PointTable::rotateUp(std::int32_t t, int side) {
  const std::int32_t c = nodes_[t].child[side];
  nodes_[t].child[side] = nodes_[c].child[1 - side];
  nodes_[c].child[1 - side] = t;
  update(t);
  update(c);
  return c;
}

int PointTable::outermostPoint(std::int32_t t, int side) const {
  while (nodes_[t].child[side] != kNil) t = nodes_[t].child[side];
  return nodes_[t].point;
}

int PointTable::place(int styleIndex, int paragraphPoint, bool forOutput) const {
  if (styleTable_.empty()) return 0;
  const StyleRank rank = styleRank(styleTable_, styleIndex);
  if (!forOutput && paragraphPoint == kPlainPoint && !empty()) return placeUpward(rank);
  return placeDownward(rank, paragraphPoint, forOutput);
}

// The first point from the bottom whose style does not rank below this one.
int PointTable::placeUpward(StyleRank rank) const {
  if (nodes_[root_].highest < rank) {
    return offHundred(wrapAdd(outermostPoint(root_, kRight), kAboveTopPoint));
  }
  bool hasBelow = false;
  int below = 0;  // the point before the current subtree's points
  std::int32_t t = root_;
  for (;;) {
    const Node& n = nodes_[t];
    if (n.child[kLeft] != kNil && nodes_[n.child[kLeft]].highest >= rank) {
      t = n.child[kLeft];
    } else if (n.rank >= rank) {
      if (n.rank == rank) return offHundred(n.point);
      if (n.child[kLeft] != kNil) {
        hasBelow = true;
        below = outermostPoint(n.child[kLeft], kRight);
      }
      if (!hasBelow) return offHundred(n.point / 2);
      return offHundred(wrapSub(n.point, wrapSub(n.point, below) / 2));
    } else {
      // The right subtree holds the point: the subtree's highest rank is
      // there, not in the left one or here.
      hasBelow = true;
      below = n.point;
      t = n.child[kRight];
    }
  }
}

// The first point from the top whose style this one does not rank below.
int PointTable::placeDownward(StyleRank rank, int paragraphPoint, bool forOutput) const {
  const int belowAll = forOutput ? kBelowAllForOutput : kBelowAllForLevels;
  if (empty() || nodes_[root_].lowest > rank) return belowAll;
  bool hasAbove = false;
  int above = 0;  // the point after the current subtree's points
  std::int32_t t = root_;
  for (;;) {
    const Node& n = nodes_[t];
    if (n.child[kRight] != kNil && nodes_[n.child[kRight]].lowest <= rank) {
      t = n.child[kRight];
    } else if (n.rank <= rank) {
      if (n.rank == rank) return forOutput ? n.point : std::min(n.point, paragraphPoint);
      if (n.child[kRight] != kNil) {
        hasAbove = true;
        above = outermostPoint(n.child[kRight], kLeft);
      }
      if (!hasAbove) return wrapAdd(n.point, kAboveTopPoint);
      return wrapAdd(n.point, wrapSub(above, n.point) / 2);
    } else {
      hasAbove = true;
      above = n.point;
      t = n.child[kLeft];
    }
  }
}

std::vector<int> PointTable::points() const {
  std::vector<int> out;
  out.reserve(nodes_.size());
  std::vector<std::int32_t> stack;
  for (std::int32_t t = root_; t != kNil || !stack.empty();) {
    if (t != kNil) {
      stack.push_back(t);
      t = nodes_[t].child[kLeft];
    } else {
      t = stack.back();
      stack.pop_back();
      out.push_back(nodes_[t].point);
      t = nodes_[t].child[kRight];
    }
  }
  return out;
}

}  // namespace Kivrel::internal

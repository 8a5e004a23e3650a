#include "outline/point_table.h"

#include <algorithm>

#include "model/wrapping.h"
#include "outline/point_info_map.h"
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
                       const PointInfoMap* infoMap,
                       const std::vector<StyleEntry*>& styleTable)
    : styleTable_(styleTable) {
  nodes_.reserve(pointArray.size());
  for (int point : pointArray) setFromInfo(point, infoMap);
}

void PointTable::set(int point, int styleIndex) {
  setRank(point, styleRank(styleTable_, styleIndex));
}

void PointTable::setFromInfo(int point, const PointInfoMap* infoMap) {
  if (!infoMap) return set(point, -1);
  const PointInfo* info = infoMap->find(point);
  set(point, info ? info->styleIndex : -1);
}

void PointTable::setRank(int point, StyleRank rank) {
  // Down to the point, or to where it belongs, keeping the way back up.
  path_.clear();
  std::int32_t t = root_;
  while (t != kNil && nodes_[t].point != point) {
    path_.push_back(t);
    t = nodes_[t].child[point < nodes_[t].point ? kLeft : kRight];
  }
  if (t != kNil) {
    // Most calls give a point the rank it has already: nothing changes.
    if (nodes_[t].rank == rank) return;
    nodes_[t].rank = rank;
    update(t);
    // The ranges above may shrink: each is worked out again, as far as the
    // one below changed.
    while (!path_.empty()) {
      const std::int32_t up = path_.back();
      path_.pop_back();
      const StyleRank lowest = nodes_[up].lowest;
      const StyleRank highest = nodes_[up].highest;
      update(up);
      if (nodes_[up].lowest == lowest && nodes_[up].highest == highest) return;
    }
  } else {
    nodes_.push_back({point, rank, rank, rank, nextPriority(priorityState_)});
    t = static_cast<std::int32_t>(nodes_.size() - 1);
    link(t, point);
    // Up while it outranks its parent in priority, as a treap keeps them.
    while (!path_.empty() && nodes_[t].priority > nodes_[path_.back()].priority) {
      const std::int32_t parent = path_.back();
      path_.pop_back();
      const int side = nodes_[parent].child[kLeft] == t ? kLeft : kRight;
      nodes_[parent].child[side] = nodes_[t].child[1 - side];
      nodes_[t].child[1 - side] = parent;
      update(parent);
      update(t);
      link(t, point);
    }
    // A new point only widens the ranges above it, up to the first that
    // holds its rank already.
    while (!path_.empty()) {
      Node& n = nodes_[path_.back()];
      path_.pop_back();
      if (n.lowest <= rank && rank <= n.highest) return;
      n.lowest = std::min(n.lowest, rank);
      n.highest = std::max(n.highest, rank);
    }
  }
}

void PointTable::link(std::int32_t t, int point) {
  if (path_.empty()) {
    root_ = t;
  } else {
    Node& parent = nodes_[path_.back()];
    parent.child[point < parent.point ? kLeft : kRight] = t;
  }
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

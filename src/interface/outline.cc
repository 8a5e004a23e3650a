// Outline items and the list that owns them.
#include "kivrel/outline.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

namespace Kivrel {

namespace {

// Truncation toward zero. Positions are 32-bit in the record stream, so values
// outside that range (and NaN, as 0) are saturated rather than left undefined.
long truncatePosition(float v) {
  if (std::isnan(v)) return 0;
  constexpr float kMin = static_cast<float>(std::numeric_limits<std::int32_t>::min());
  constexpr float kMax = 2147483520.0f;  // the largest float below 2^31
  if (v <= kMin) return std::numeric_limits<std::int32_t>::min();
  if (v >= kMax) return static_cast<long>(kMax);
  return static_cast<long>(v);
}

}  // namespace

KivOutlineItem::KivOutlineItem(int pageNo, int point, UnicodeString& text, float cx, float cy)
    : pageNo(pageNo),
      point(point),
      text(text),
      cx(truncatePosition(cx)),
      cy(truncatePosition(cy)) {}

KivOutlineItem::KivOutlineItem(const KivOutlineItem& other) = default;

KivOutlineItem& KivOutlineItem::operator=(const KivOutlineItem& other) = default;

KivOutlineItem::~KivOutlineItem() = default;

int KivOutlineItem::getPageNo() { return pageNo; }

int KivOutlineItem::getPoint() { return point; }

UnicodeString KivOutlineItem::getString() { return text; }

long KivOutlineItem::getCx() { return cx; }

long KivOutlineItem::getCy() { return cy; }

KivOutlineList::KivOutlineList() = default;

KivOutlineList::KivOutlineList(const KivOutlineList& other) {
  items.reserve(other.items.size());
  try {
    for (const KivOutlineItem* item : other.items) {
      items.push_back(item ? new KivOutlineItem(*item) : nullptr);
    }
  } catch (...) {
    for (KivOutlineItem* item : items) delete item;
    throw;
  }
}

KivOutlineList& KivOutlineList::operator=(const KivOutlineList& other) {
  if (this != &other) {
    KivOutlineList copy(other);  // the target keeps its items if copying fails
    items.swap(copy.items);
  }
  return *this;
}

KivOutlineList::~KivOutlineList() {
  for (KivOutlineItem* item : items) delete item;
}

int KivOutlineList::getCount() { return static_cast<int>(items.size()); }

KivOutlineItem* KivOutlineList::getAt(int index) {
  if (index < 0 || index >= getCount()) return nullptr;
  return items[static_cast<std::size_t>(index)];
}

}  // namespace Kivrel

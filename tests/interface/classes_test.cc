// The exported value classes: conversions, ownership and copies.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "kivrel/kivrant.h"

namespace Kivrel {
namespace {

TEST(OutlineItem, PositionsAreTruncatedTowardZeroAndSaturated) {
  const std::pair<float, long> cases[] = {{12.7f, 12},         {-0.5f, 0},
                                          {-2.9f, -2},         {std::nanf(""), 0},
                                          {1e20f, 2147483520L}, {-1e20f, -2147483648L}};
  UnicodeString text(u"Heading");
  for (auto [in, out] : cases) {
    KivOutlineItem item(1, 600, text, in, in);
    EXPECT_EQ(item.getCx(), out) << in;
    EXPECT_EQ(item.getCy(), out) << in;
  }
}

TEST(OutlineList, GetAtOutsideTheItemsIsNullAndCopiesOwnTheirItems) {
  UnicodeString a(u"a"), b(u"b");
  auto* source = new KivOutlineList;
  EXPECT_EQ(source->getAt(0), nullptr);
  source->items.push_back(new KivOutlineItem(1, 10, a, 0, 0));
  source->items.push_back(new KivOutlineItem(2, 20, b, 0, 0));
  EXPECT_EQ(source->getAt(-1), nullptr);
  EXPECT_EQ(source->getAt(1), source->items[1]);
  EXPECT_EQ(source->getAt(2), nullptr);

  KivOutlineList copy(*source);
  KivOutlineList assigned;
  assigned.items.push_back(new KivOutlineItem(9, 9, a, 0, 0));  // replaced, not leaked
  assigned = *source;
  assigned = assigned;
  for (KivOutlineList* list : {&copy, &assigned}) {
    ASSERT_EQ(list->getCount(), 2);
    EXPECT_NE(list->getAt(0), source->getAt(0));
  }
  copy.getAt(0)->text = u"changed";
  EXPECT_EQ(source->getAt(0)->getString(), u"a");
  delete source;  // the copies stay valid
  EXPECT_EQ(assigned.getAt(0)->getString(), u"a");
  EXPECT_EQ(copy.getAt(1)->getPageNo(), 2);
}

TEST(Map, IteratesInKeyOrderAfterSetFirstAndCopiesAreDeepAndStartAtTheEnd) {
  KivMap map;
  int key = -7, value = -7;
  (*map.map)[10] = -1;
  (*map.map)[1] = 3;
  (*map.map)[5] = 5;
  EXPECT_FALSE(map.getNext(key, value));  // filling does not move the position
  for (int round = 0; round < 2; ++round) {
    map.setFirst();
    std::ostringstream seen;
    while (map.getNext(key, value)) seen << key << "->" << value << ' ';
    EXPECT_EQ(seen.str(), "1->3 5->5 10->-1 ");
  }

  map.setFirst();
  KivMap copy(map);
  KivMap assigned;
  (*assigned.map)[8] = 8;
  assigned = map;
  for (KivMap* m : {&copy, &assigned}) {
    EXPECT_FALSE(m->getNext(key, value));
    (*m->map)[4] = 4;
    m->setFirst();
    ASSERT_TRUE(m->getNext(key, value));
    EXPECT_EQ(key, 1);
  }
  EXPECT_EQ(map.map->size(), 3u);
  EXPECT_EQ(assigned.map->count(8), 0u);
}

}  // namespace
}  // namespace Kivrel

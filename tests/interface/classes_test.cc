// The exported value classes: defaults, conversions, ownership and copies.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "kivrel/kivrant.h"
#include "support/doc_builder.h"

namespace Kivrel {
namespace {

TEST(Settings, DefaultsAndCopiesAreIndependent) {
  KivSettings s;
  EXPECT_EQ(s.maxLength, 80);
  EXPECT_EQ(s.flags, 522);
  EXPECT_EQ(s.pageOffset, 0);
  s.excludePages = u"1-3";
  KivSettings copy(s);
  copy.excludePages.append(u"!");
  EXPECT_EQ(s.excludePages, u"1-3");
}

TEST(OutlineItem, PositionsAreTruncatedTowardZero) {
  struct Case {
    float in;
    long out;
  } cases[] = {{12.7f, 12},
               {-0.5f, 0},
               {2.9f, 2},
               {-2.9f, -2},
               {std::nanf(""), 0},
               {1e20f, 2147483520L},
               {-1e20f, -2147483648L}};
  UnicodeString text(u"Heading");
  for (const Case& c : cases) {
    KivOutlineItem item(1, 600, text, c.in, c.in);
    EXPECT_EQ(item.getCx(), c.out) << c.in;
    EXPECT_EQ(item.getCy(), c.out) << c.in;
  }
  EXPECT_EQ(KivOutlineItem(1, 600, text, 0, 0).getPoint(), 600);
}

TEST(OutlineList, GetAtOutsideTheItemsIsNull) {
  KivOutlineList list;
  EXPECT_EQ(list.getCount(), 0);
  EXPECT_EQ(list.getAt(-1), nullptr);
  EXPECT_EQ(list.getAt(0), nullptr);
  UnicodeString t(u"a");
  list.items.push_back(new KivOutlineItem(1, 10, t, 0, 0));
  EXPECT_EQ(list.getCount(), 1);
  EXPECT_EQ(list.getAt(0), list.items[0]);
  EXPECT_EQ(list.getAt(1), nullptr);
}

TEST(OutlineList, CopiesOwnTheirOwnItems) {
  UnicodeString a(u"a"), b(u"b");
  auto* source = new KivOutlineList;
  source->items.push_back(new KivOutlineItem(1, 10, a, 0, 0));
  source->items.push_back(new KivOutlineItem(2, 20, b, 0, 0));

  KivOutlineList copy(*source);
  KivOutlineList assigned;
  assigned.items.push_back(new KivOutlineItem(9, 9, a, 0, 0));  // replaced, not leaked
  assigned = *source;
  assigned = assigned;
  for (KivOutlineList* list : {&copy, &assigned}) {
    ASSERT_EQ(list->getCount(), 2);
    EXPECT_NE(list->getAt(0), source->getAt(0));
    EXPECT_EQ(list->getAt(1)->getPageNo(), 2);
  }
  copy.getAt(0)->text = u"changed";
  EXPECT_EQ(source->getAt(0)->getString(), u"a");
  delete source;  // the copies stay valid
  EXPECT_EQ(assigned.getAt(0)->getString(), u"a");
  EXPECT_EQ(copy.getAt(1)->getString(), u"b");
}

TEST(Map, IteratesInKeyOrderOnlyAfterSetFirst) {
  KivMap map;
  int key = -7, value = -7;
  EXPECT_FALSE(map.getNext(key, value));
  (*map.map)[10] = -1;
  (*map.map)[1] = 3;
  (*map.map)[5] = 5;
  EXPECT_FALSE(map.getNext(key, value));  // filling does not move the position

  for (int round = 0; round < 2; ++round) {
    map.setFirst();
    std::ostringstream seen;
    while (map.getNext(key, value)) seen << key << "->" << value << ' ';
    EXPECT_EQ(seen.str(), "1->3 5->5 10->-1 ");
    EXPECT_EQ(key, 10);
    EXPECT_EQ(value, -1);
  }
}

TEST(Map, CopiesAreDeepAndStartAtTheEnd) {
  KivMap map;
  (*map.map)[1] = 2;
  map.setFirst();
  KivMap copy(map);
  KivMap assigned;
  (*assigned.map)[8] = 8;
  assigned = map;
  for (KivMap* m : {&copy, &assigned}) {
    int key = 0, value = 0;
    EXPECT_FALSE(m->getNext(key, value));
    EXPECT_NE(m->map, map.map);
    (*m->map)[4] = 4;
    m->setFirst();
    ASSERT_TRUE(m->getNext(key, value));
    EXPECT_EQ(key, 1);
  }
  EXPECT_EQ(map.map->size(), 1u);
  EXPECT_EQ(assigned.map->count(8), 0u);
}

}  // namespace
}  // namespace Kivrel

// The header/footer band test and the font-size point tables, on models built
// by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "interface/kivrant_internals.h"
#include "model/model.h"

namespace Kivrel::testing {
namespace {

using K = KivrantInternals;

struct BandCase {
  int height;
  int cy;
  int band;  // -1: body, 0: top, 1: bottom
};

TEST(HeaderFooterBands, MarginIsTwoFifteenthsOfThePageButAtLeastOneThousand) {
  const BandCase cases[] = {
      {12000, 1599, 0}, {12000, 1600, -1}, {12000, 10400, -1}, {12000, 10401, 1},
      {6000, 999, 0},   {6000, 1000, -1},  {6000, 5000, -1},   {6000, 5001, 1},
      {0, 0, 0},        {0, 999, 0},       {0, 1000, 1},       {0, 5000, 1},
  };
  for (const BandCase& c : cases) {
    MPPage page(11906, c.height, false);
    MPParagraph p;
    p.text = UnicodeString("Page 3");
    p.cy = c.cy;
    K::HeaderFooterMaps maps[2];
    EXPECT_FALSE(K::isHeaderOrFooter(&p, &page, 0, maps));
    for (int band = 0; band < 2; ++band) {
      auto it = maps[band].find(UnicodeString("Page"));
      int count = it == maps[band].end() ? 0 : it->second;
      EXPECT_EQ(count, band == c.band ? 1 : 0)
          << "height " << c.height << " cy " << c.cy << " band " << band;
    }
  }
}

TEST(HeaderFooterBands, CheckingReportsTextCountedAtLeastThresholdTimesInItsBand) {
  MPPage page(11906, 16838, false);
  auto para = [](const char* text, int cy) {
    MPParagraph p;
    p.text = UnicodeString(text);
    p.cy = cy;
    return p;
  };
  std::vector<MPParagraph> counted = {para("Page 3", 16000), para("Page 12", 16000),
                                      para(" Page 7 ", 16000), para("Twice", 100),
                                      para("Twice", 100), para("Page 1", 100)};
  K::HeaderFooterMaps maps[2];
  for (MPParagraph& p : counted) EXPECT_FALSE(K::isHeaderOrFooter(&p, &page, 0, maps));

  struct Check {
    const char* text;
    int cy;
    bool reported;
  };
  const Check checks[] = {
      {"Page 99", 16000, true},   // digits and spaces do not count
      {"Page 99", 100, false},    // the top band has its own count
      {"Twice", 100, false},      // below the threshold
      {"Never seen", 100, false},
      {"Page 99", 8000, false},   // body text is never a header
  };
  for (const Check& c : checks) {
    MPParagraph p = para(c.text, c.cy);
    EXPECT_EQ(K::isHeaderOrFooter(&p, &page, 3, maps), c.reported) << c.text << " " << c.cy;
  }
  // Checking adds unseen keys at 0 but never counts.
  EXPECT_EQ(maps[1][UnicodeString("Page")], 3);
  ASSERT_EQ(maps[0].count(UnicodeString("Neverseen")), 1u);
  EXPECT_EQ(maps[0][UnicodeString("Neverseen")], 0);
}

// An extractor whose style table holds the given sizes (and bold/value56).
class PointTables : public ::testing::Test {
 protected:
  struct Style {
    int size;
    bool bold = false;
    unsigned value56 = 0;
  };

  void addStyles(const std::vector<Style>& styles) {
    for (const Style& s : styles) {
      auto* e = new StyleEntry;
      std::uint32_t flag = s.bold ? charformat::kBoldFlag : 0;
      std::memcpy(e->format + charformat::kFlag, &flag, sizeof flag);
      std::int32_t size = s.size;
      std::memcpy(e->format + charformat::kCharSize, &size, sizeof size);
      std::memcpy(e->format + charformat::kValue56, &s.value56, sizeof s.value56);
      K::styleTable(k).push_back(e);
    }
  }
  void addPoint(int point, int styleIndex) {
    K::insertPointInfoMap(k, point, styleIndex);
    K::insertPointArray(k, point, pointArray);
  }
  int pointFor(int styleIndex, bool forOutput, int point = kPlainPoint) {
    MPParagraph p;
    p.styleIndex = styleIndex;
    p.point = point;
    return K::getPointFromFontSize(k, &p, pointArray, forOutput);
  }
  void TearDown() override {
    for (StyleEntry* e : K::styleTable(k)) delete e;
    K::styleTable(k).clear();
    for (auto& entry : K::pointInfoMap(k)) delete entry.second;
    K::pointInfoMap(k).clear();
  }

  Kivrant k;
  std::vector<int> pointArray;
};

TEST_F(PointTables, UpwardAndDownwardWalksPlaceASizeAmongThePointsInUse) {
  // Styles: 0 size 20, 1 size 28, 2 size 24, 3 size 32, 4 size 16.
  addStyles({{20}, {28}, {24}, {32}, {16}});
  addPoint(10, 0);
  addPoint(600, 1);
  struct Case {
    int style;
    int upward;
    int downward;
  };
  const Case cases[] = {{2, 305, 305}, {1, 550, 600}, {3, 699, 699}, {4, 5, 0}, {0, 10, 10}};
  for (const Case& c : cases) {
    EXPECT_EQ(pointFor(c.style, false), c.upward) << "style " << c.style;
    EXPECT_EQ(pointFor(c.style, true), c.downward) << "style " << c.style;
  }
  // Levels with a numbered paragraph keep the smaller of the two points.
  EXPECT_EQ(pointFor(1, false, 200), 200);
  // Nothing below: the levels' floor is 100.
  EXPECT_EQ(pointFor(4, false, 200), 100);
}

TEST_F(PointTables, WalksSettleAnOddGapDifferently) {
  addStyles({{20}, {28}, {24}});
  addPoint(100, 0);
  addPoint(201, 1);
  EXPECT_EQ(pointFor(2, false), 151);
  EXPECT_EQ(pointFor(2, true), 150);
}

TEST_F(PointTables, BoldOutranksValue56AtEqualSize) {
  addStyles({{20}, {24, false, 1}, {24, true, 0}, {24, true, 1}});
  addPoint(10, 0);
  addPoint(300, 1);  // size 24 with value56 only
  EXPECT_EQ(pointFor(2, true), 399);   // bold ranks above value56
  EXPECT_EQ(pointFor(3, false), 399);  // bold and value56 above both
  EXPECT_EQ(pointFor(1, false), 250);  // same rank as 300, off the hundred
}

TEST_F(PointTables, NumberPointsKeepTheLargestStyleAndOthersTheSmallest) {
  addStyles({{20}, {28}});
  addPoint(600, 0);
  addPoint(600, 1);
  addPoint(150, 1);
  addPoint(150, 0);
  addPoint(150, 1);
  EXPECT_EQ(K::pointInfoMap(k).at(600)->styleIndex, 1);
  EXPECT_EQ(K::pointInfoMap(k).at(600)->count, 2);
  EXPECT_EQ(K::pointInfoMap(k).at(150)->styleIndex, 0);
  EXPECT_EQ(K::pointInfoMap(k).at(150)->count, 3);
  EXPECT_EQ(pointArray, (std::vector<int>{150, 600}));
  K::insertPointArray(k, 10, pointArray);
  K::insertPointArray(k, 600, pointArray);
  EXPECT_EQ(pointArray, (std::vector<int>{10, 150, 600}));
}

TEST_F(PointTables, EmptyStyleTableGivesZero) {
  std::vector<int> points = {10, 600};
  MPParagraph p;
  EXPECT_EQ(K::getPointFromFontSize(k, &p, points, false), 0);
  EXPECT_EQ(K::getPointFromFontSize(k, &p, points, true), 0);
}

}  // namespace
}  // namespace Kivrel::testing

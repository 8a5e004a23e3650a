// The header/footer band test and the font-size point tables, on models built
// by hand.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "support/doc_builder.h"
#include "support/style_entry.h"

namespace Kivrel::testing {
namespace {

using K = KivrantInternals;

MPParagraph paragraph(const char* text, int cy) {
  MPParagraph p;
  p.text = UnicodeString(text);
  p.cy = cy;
  return p;
}

TEST(HeaderFooterBands, MarginIsTwoFifteenthsOfThePageButAtLeastOneThousand) {
  struct Case {
    int height, cy, band;  // band -1: body
  };
  const Case cases[] = {{12000, 1599, 0}, {12000, 1600, -1}, {12000, 10400, -1},
                        {12000, 10401, 1}, {6000, 999, 0},    {6000, 1000, -1},
                        {6000, 5001, 1},   {0, 999, 0},       {0, 1000, 1},
                        // height - margin wraps: the body reaches near the top of the range.
                        {INT_MIN, 5000, -1}, {INT_MIN, INT_MAX - 999, -1},
                        {INT_MIN, INT_MAX - 998, 1}};
  for (const Case& c : cases) {
    MPPage page(11906, c.height, false);
    MPParagraph p = paragraph("Page 3", c.cy);
    K::HeaderFooterMaps maps[2];
    EXPECT_FALSE(K::isHeaderOrFooter(&p, &page, 0, maps));
    for (int band = 0; band < 2; ++band) {
      EXPECT_EQ(maps[band].count(UnicodeString("Page")), band == c.band ? 1u : 0u)
          << c.height << " " << c.cy << " band " << band;
    }
  }
}

TEST(HeaderFooterBands, CheckingReportsTextCountedAtLeastThresholdTimesInItsBand) {
  MPPage page(11906, 16838, false);
  K::HeaderFooterMaps maps[2];
  auto check = [&](const char* text, int cy, int threshold) {
    MPParagraph p = paragraph(text, cy);
    return K::isHeaderOrFooter(&p, &page, threshold, maps);
  };
  for (const char* text : {"Page 3", "Page 12", " Page 7 "}) check(text, 16000, 0);
  check("Twice", 100, 0);
  check("Twice", 100, 0);
  EXPECT_TRUE(check("Page 99", 16000, 3));  // digits and spaces do not count
  EXPECT_FALSE(check("Page 99", 100, 3));   // the other band has its own count
  EXPECT_FALSE(check("Twice", 100, 3));
  EXPECT_FALSE(check("Page 99", 8000, 3));  // body
  EXPECT_EQ(maps[1][UnicodeString("Page")], 3);  // checking never counts
}

class PointTables : public ::testing::Test {
 protected:
  struct Style {
    int size;
    bool bold = false;
    unsigned value56 = 0;
  };
  void addStyles(const std::vector<Style>& styles) {
    for (const Style& s : styles) {
      K::styleTable(k).push_back(makeStyleEntry(s.size, s.bold, s.value56).release());
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
  void TearDown() override { releaseModel(k); }

  Kivrant k;
  std::vector<int> pointArray;
};

TEST_F(PointTables, UpwardAndDownwardWalksPlaceASizeAmongThePointsInUse) {
  addStyles({{20}, {28}, {24}, {32}, {16}});
  addPoint(10, 0);
  addPoint(600, 1);
  struct Case {
    int style, upward, downward;
  };
  for (Case c : {Case{2, 305, 305}, Case{1, 550, 600}, Case{3, 699, 699}, Case{4, 5, 0},
                 Case{0, 10, 10}}) {
    EXPECT_EQ(pointFor(c.style, false), c.upward) << "style " << c.style;
    EXPECT_EQ(pointFor(c.style, true), c.downward) << "style " << c.style;
  }
  EXPECT_EQ(pointFor(1, false, 200), 200);  // a numbered paragraph keeps the smaller
  EXPECT_EQ(pointFor(4, false, 200), 100);  // nothing ranks below it
}

TEST_F(PointTables, OddGapsBoldAndRepresentativeStyles) {
  addStyles({{20}, {28}, {24}, {24, false, 1}, {24, true}});
  addPoint(100, 0);
  addPoint(201, 1);
  EXPECT_EQ(pointFor(2, false), 151);  // the walks settle an odd gap differently
  EXPECT_EQ(pointFor(2, true), 150);
  pointArray.clear();
  addPoint(10, 0);
  addPoint(300, 3);  // size 24 with value56
  EXPECT_EQ(pointFor(4, true), 399);   // bold outranks value56
  EXPECT_EQ(pointFor(3, false), 250);  // same rank as 300, kept off the hundred

  // Number points keep the largest style seen with them, others the smallest.
  for (auto [point, style] : {std::pair{600, 0}, {600, 1}, {150, 1}, {150, 0}, {150, 1}}) {
    addPoint(point, style);
  }
  EXPECT_EQ(K::pointInfoMap(k).at(600)->styleIndex, 1);
  EXPECT_EQ(K::pointInfoMap(k).at(150)->styleIndex, 0);
  EXPECT_EQ(K::pointInfoMap(k).at(150)->count, 3);
  EXPECT_EQ(pointArray, (std::vector<int>{10, 150, 300, 600}));
}

}  // namespace
}  // namespace Kivrel::testing

// The header/footer band test, on paragraphs and pages built by hand.
#include <gtest/gtest.h>

#include <climits>

#include "interface/kivrant_internals.h"
#include "model/model.h"

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

}  // namespace
}  // namespace Kivrel::testing

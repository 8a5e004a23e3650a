#include "font_traits.h"

#include <gtest/gtest.h>

namespace Kivrel::pdf {
namespace {

TEST(FontTraits, WeightAndSlantComeFromTheName) {
  struct Case {
    const char* name;
    bool bold;
    bool italic;
  };
  const Case cases[] = {
      {"ABCDEF+DejaVuSans-Bold", true, false},
      {"Times-BoldItalic", true, true},
      {"Helvetica", false, false},
      {"Helvetica-Oblique", false, true},
      {"SourceSansPro-Semibold", true, false},
      {"Lato-Heavy", true, false},
      {"Lato-Black", true, false},
      {"SegoeUI-Semilight", false, false},
      {"HiraKakuProN-W6", true, false},
      {"HiraKakuProN-W3", false, false},
      {"MS-Gothic,Bold", true, false},
      {"MS-Mincho", false, false},
      {"GothicBBB-Medium", false, false},
      {"MidashiGo-MB31", true, false},
      {"KozGoPr6N-B", true, false},
      {"KozMinPr6N-Regular", false, false},
      {"Bodoni", false, false},  // a B that starts the family is no weight
  };
  for (const Case& c : cases) {
    const FontTraits traits = fontTraitsFromName(c.name);
    EXPECT_EQ(traits.bold, c.bold) << c.name;
    EXPECT_EQ(traits.italic, c.italic) << c.name;
  }
}

TEST(FontTraits, SubsetTagIsSixCapitalsAndAPlus) {
  EXPECT_EQ(stripSubsetTag("ABCDEF+Foo-Bold"), "Foo-Bold");
  EXPECT_EQ(stripSubsetTag("ABCDE+Foo"), "ABCDE+Foo");
  EXPECT_EQ(stripSubsetTag("ABcDEF+Foo"), "ABcDEF+Foo");
  EXPECT_EQ(stripSubsetTag("Foo"), "Foo");
}

}  // namespace
}  // namespace Kivrel::pdf

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
      {"Helvetica-Oblique", false, true},
      {"Helvetica", false, false},
      {"NotoSansCJKjp-DemiLight", false, false},  // "demi" alone would be bold
      {"HiraKakuProN-W6", true, false},
      {"HiraKakuProN-W5", false, false},
      {"KozGoPr6N-B", true, false},
      {"ShinGo-MB31", true, false},
      {"B-Gothic", false, false},  // the family may be a weight letter
  };
  for (const Case& c : cases) {
    const FontTraits traits = fontTraitsFromName(c.name);
    EXPECT_EQ(traits.bold, c.bold) << c.name;
    EXPECT_EQ(traits.italic, c.italic) << c.name;
  }
  EXPECT_EQ(stripSubsetTag("ABCDEF+Foo-Bold"), "Foo-Bold");
  EXPECT_EQ(stripSubsetTag("ABCDE+Foo"), "ABCDE+Foo");
  EXPECT_EQ(stripSubsetTag("ABcDEF+Foo"), "ABcDEF+Foo");
}

}  // namespace
}  // namespace Kivrel::pdf

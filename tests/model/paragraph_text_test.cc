// A paragraph's text keeps its units wherever they are stored, and frees only
// what it owns (the sanitizer build reports a leak, a double free or a read
// of freed units).
#include "model/paragraph_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

namespace Kivrel {
namespace {

const icu::UnicodeString kTexts[] = {
    icu::UnicodeString(),
    icu::UnicodeString(u"a"),
    icu::UnicodeString(u"\u7b2c1\u7ae0 \u6982\u8981"),
    icu::UnicodeString(u"nul\0inside", 10),
    icu::UnicodeString(5000, U'x', 5000),
};

TEST(ParagraphText, HoldsItsUnitsWhetherStoredAssignedOrReassignedFromThem) {
  for (const icu::UnicodeString& text : kTexts) {
    SCOPED_TRACE(text.length());
    ParagraphText assigned;
    assigned = text;
    ParagraphText reassigned;
    reassigned = text;
    reassigned = reassigned.view();  // the new copy is made from the storage it replaces
    auto storage = std::make_unique<std::uint64_t[]>(
        ParagraphText::storageBytes(static_cast<std::size_t>(text.length())) / 8 + 1);
    ParagraphText stored;
    stored.setStored(storage.get(), text.getBuffer(), text.length());
    for (const ParagraphText* t : {&assigned, &reassigned, &stored}) {
      EXPECT_EQ(t->view(), text);
      EXPECT_EQ(t->copy(), text);
      EXPECT_EQ(t->length(), text.length());
      EXPECT_EQ(t->isEmpty(), text.isEmpty());
      EXPECT_EQ(t->units() == nullptr, text.isEmpty());
    }
    assigned = icu::UnicodeString();
    EXPECT_TRUE(assigned.isEmpty());
  }
}

TEST(ParagraphText, MovingHandsTheUnitsOverAndACopyOutlivesThem) {
  icu::UnicodeString kept;
  {
    ParagraphText from;
    from = kTexts[4];
    ParagraphText to(std::move(from));
    EXPECT_TRUE(from.isEmpty());
    ParagraphText last;
    last = kTexts[1];
    last = std::move(to);  // frees what last held
    EXPECT_TRUE(to.isEmpty());
    kept = last.copy();
  }
  EXPECT_EQ(kept, kTexts[4]);
}

}  // namespace
}  // namespace Kivrel

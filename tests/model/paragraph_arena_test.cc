// Paragraph storage: arena slots, and texts stored beside them, are deleted
// like single paragraphs, in any order, before or after the arena ends (the
// sanitizer build checks the frees and reads).
#include "model/paragraph_arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/model.h"

namespace Kivrel {
namespace {

// Longer than a string's inline buffer, different for every i.
icu::UnicodeString textFor(int i) {
  return icu::UnicodeString::fromUTF8("paragraph text number " + std::to_string(i) + " of many");
}

TEST(ParagraphArena, SlotsAndTheirTextsAreDistinctAndFreeInAnyOrderAroundTheArenasEnd) {
  std::vector<MPParagraph*> paragraphs;
  int storedBeside = 0;
  {
    internal::ParagraphArena arena;
    // Enough for several blocks, with single paragraphs in between.
    for (int i = 0; i < 20000; ++i) {
      const bool single = i % 1000 == 0;
      MPParagraph* p = single ? new MPParagraph() : new (arena) MPParagraph();
      const icu::UnicodeString text = textFor(i);
      // Texts stored beside their paragraph, as the reader stores long ones;
      // a single paragraph gets no such storage, nor does one at a block's end.
      void* beside = arena.allocateWith(p, text.length() * sizeof(char16_t));
      if (single) EXPECT_EQ(beside, nullptr) << i;
      if (beside) {
        ++storedBeside;
        text.extract(0, text.length(), static_cast<char16_t*>(beside));
        p->text.setTo(false, static_cast<const char16_t*>(beside), text.length());
      } else {
        p->text = text;
      }
      p->cy = i;
      paragraphs.push_back(p);
    }
    EXPECT_GT(storedBeside, 19000);
    std::shuffle(paragraphs.begin(), paragraphs.end(), std::mt19937(7));
    for (int i = 0; i < 5000; ++i) delete paragraphs[static_cast<std::size_t>(i)];
    paragraphs.erase(paragraphs.begin(), paragraphs.begin() + 5000);
  }
  for (MPParagraph* p : paragraphs) {
    EXPECT_EQ(p->text, textFor(p->cy));
    EXPECT_EQ(p->point, kPlainPoint);
    delete p;
  }
}

}  // namespace
}  // namespace Kivrel

// Paragraph storage: arena slots are deleted like single paragraphs, in any
// order, before or after the arena ends (the sanitizer build checks the frees).
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

TEST(ParagraphArena, SlotsAreDistinctAndFreeInAnyOrderAroundTheArenasEnd) {
  std::vector<MPParagraph*> paragraphs;
  {
    internal::ParagraphArena arena;
    // Enough for several blocks, with single paragraphs in between.
    for (int i = 0; i < 20000; ++i) {
      MPParagraph* p = i % 1000 == 0 ? new MPParagraph() : new (arena) MPParagraph();
      p->text = icu::UnicodeString::fromUTF8(std::to_string(i));
      p->cy = i;
      paragraphs.push_back(p);
    }
    std::shuffle(paragraphs.begin(), paragraphs.end(), std::mt19937(7));
    for (int i = 0; i < 5000; ++i) delete paragraphs[static_cast<std::size_t>(i)];
    paragraphs.erase(paragraphs.begin(), paragraphs.begin() + 5000);
  }
  for (MPParagraph* p : paragraphs) {
    EXPECT_EQ(p->text, icu::UnicodeString::fromUTF8(std::to_string(p->cy)));
    EXPECT_EQ(p->point, kPlainPoint);
    delete p;
  }
}

}  // namespace
}  // namespace Kivrel

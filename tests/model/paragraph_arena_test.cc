// Paragraph storage and the release of a model: what is freed, and when (the
// sanitizer build checks every free and read, and reports what leaks).
#include "model/paragraph_arena.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "model/model_release.h"
#include "model/prefault.h"
#include "support/doc_builder.h"
#include "support/sanitized.h"

namespace Kivrel {
namespace {

// Different for every i.
icu::UnicodeString textFor(int i) {
  return icu::UnicodeString::fromUTF8("paragraph text number " + std::to_string(i) + " of many");
}

TEST(ParagraphArena, SlotsAndTextsStayIntactUntilTheArenaEndsWhateverEndsFirst) {
  internal::ParagraphArena arena;
  std::vector<MPParagraph*> paragraphs;
  // Enough for blocks of every kind (huge ones after 16 MiB), with single
  // paragraphs in between; every tenth text goes to the heap, the others
  // into the arena.
  constexpr int kCount = 150000;
  for (int i = 0; i < kCount; ++i) {
    MPParagraph* p = i % 1000 == 0 ? new MPParagraph() : new (arena) MPParagraph();
    const icu::UnicodeString text = textFor(i);
    void* stored =
        i % 10 ? arena.allocateBytes(ParagraphText::storageBytes(text.length())) : nullptr;
    if (stored) {
      p->text.setStored(stored, text.getBuffer(), text.length());
    } else {
      p->text = text;
    }
    p->cy = i;
    paragraphs.push_back(p);
  }
  EXPECT_EQ(arena.allocated(), kCount - kCount / 1000u);
  // Single ones are deleted, the arena's ended in place (freeing a heap
  // text), in any order.
  auto end = [&](MPParagraph* p) {
    if (arena.holds(p)) {
      p->~MPParagraph();
    } else {
      delete p;
    }
  };
  std::shuffle(paragraphs.begin(), paragraphs.end(), std::mt19937(7));
  for (int i = 0; i < kCount / 4; ++i) end(paragraphs[static_cast<std::size_t>(i)]);
  paragraphs.erase(paragraphs.begin(), paragraphs.begin() + kCount / 4);
  for (MPParagraph* p : paragraphs) {
    EXPECT_EQ(p->text.view(), textFor(p->cy));
    EXPECT_EQ(p->point, kPlainPoint);
  }
  for (MPParagraph* p : paragraphs) end(p);
}

// Two models alive at once, as two extractors on two threads have them.
TEST(ParagraphArena, HoldsExactlyWhatItCarvedAndNothingOfAnotherArenaOrTheHeap) {
  internal::ParagraphArena a, b;
  std::vector<void*> fromA, fromB;
  for (int i = 0; i < 20000; ++i) {  // several blocks each, interleaved in memory
    fromA.push_back(a.allocate(sizeof(MPParagraph)));
    fromB.push_back(b.allocate(sizeof(MPParagraph)));
    if (i % 5000 == 0) {  // texts in the current block and in blocks of their own
      fromA.push_back(a.allocateBytes(100));
      fromB.push_back(b.allocateBytes(200u << 10));
    }
  }
  for (void* p : fromA) ASSERT_TRUE(a.holds(p) && !b.holds(p));
  for (void* p : fromB) ASSERT_TRUE(b.holds(p) && !a.holds(p));
  const std::unique_ptr<MPParagraph> single(new MPParagraph());
  EXPECT_FALSE(a.holds(single.get()) || b.holds(single.get()));
  EXPECT_FALSE(a.holds(nullptr));
  // The byte after the newest object is still in its block, the one after
  // its block is not.
  char* last = static_cast<char*>(a.allocate(sizeof(MPParagraph)));
  EXPECT_TRUE(a.holds(last + sizeof(MPParagraph)));
  char* apart = static_cast<char*>(a.allocateBytes(1u << 20));
  EXPECT_TRUE(a.holds(apart + (1u << 20) - 1));
  EXPECT_FALSE(a.holds(apart + (1u << 20)));
}

TEST(ParagraphArena, ItsEndUnmapsItsNewestHugeBlock) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer build takes these blocks from the heap";
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  void* last = nullptr;
  {
    internal::ParagraphArena arena;
    // Past 16 MiB, whatever a paragraph's size: the newest block is a huge
    // one, mapped apart from the heap.
    const std::size_t count = (24u << 20) / sizeof(MPParagraph);
    for (std::size_t i = 0; i < count; ++i) last = new (arena) MPParagraph();
  }
  unsigned char state = 0;
  void* itsPage = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(last) & ~(page - 1));
  EXPECT_NE(mincore(itsPage, 1, &state), 0) << "still mapped after the arena's end";
}

TEST(ParagraphArena, TextsOfAnyLengthKeepTheirBytesAndALongOneLeavesTheBlockToTheParagraphs) {
  internal::ParagraphArena arena;
  std::mt19937 rng(20261208);
  std::vector<std::pair<char*, std::size_t>> stored;
  for (int i = 0; i < 200; ++i) {
    // Mostly short, now and then up to two blocks long.
    const std::size_t n = rng() % 4 ? rng() % 300 : rng() % (1 << 20);
    char* bytes = static_cast<char*>(arena.allocateBytes(n));
    ASSERT_NE(bytes, nullptr);
    std::fill(bytes, bytes + n, static_cast<char>(i));
    stored.emplace_back(bytes, n);
    arena.allocate(sizeof(MPParagraph));
  }
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const auto& [bytes, n] = stored[i];
    EXPECT_EQ(std::count(bytes, bytes + n, static_cast<char>(i)), static_cast<std::ptrdiff_t>(n));
  }

  // A text too long for the current block goes elsewhere, and the next
  // paragraph still follows the one before it.
  for (std::size_t n : {40u << 10, 600u << 10, 3u << 20}) {
    internal::ParagraphArena fresh;
    char* first = static_cast<char*>(fresh.allocate(sizeof(MPParagraph)));
    ASSERT_NE(fresh.allocateBytes(n), nullptr);
    char* second = static_cast<char*>(fresh.allocate(sizeof(MPParagraph)));
    EXPECT_EQ(second - first, static_cast<std::ptrdiff_t>(sizeof(MPParagraph))) << n;
  }
}

TEST(ParagraphArena, GivesTheUnusedPagesOfItsLastBlockBack) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer build takes these blocks from the heap";
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  auto resident = [&](const void* p) {
    unsigned char state = 0;
    const auto address = reinterpret_cast<std::uintptr_t>(p) & ~(page - 1);
    return mincore(reinterpret_cast<void*>(address), 1, &state) == 0 && (state & 1);
  };
  internal::ParagraphArena arena;
  // Into the first huge block.
  char* last = nullptr;
  while (arena.heldBytes() <= (16u << 20)) last = static_cast<char*>(arena.allocate(28));
  char* unused = last + 64 * 1024;  // well inside the block's 2 MiB
  *unused = 1;  // resident, whether the block came prefaulted or not
  ASSERT_TRUE(resident(unused));
  arena.releaseUnusedTail();
  EXPECT_FALSE(resident(unused));
  EXPECT_TRUE(resident(last)) << "the pages in use stay";
  // What is carved afterwards still works, on fresh pages.
  char* next = static_cast<char*>(arena.allocate(28));
  std::fill(next, next + 28, 'x');
  EXPECT_EQ(next[27], 'x');
}

// The paragraphs of a read model, changed as the tests' hand-built models
// change them before the release.
TEST(ModelRelease, FreesEveryParagraphWhetherOnlyTheArenaHoldsThemOrNot) {
  testing::DocBuilder b;
  b.page().para("short").paragraphBreak().paragraphBreak().paragraphBreak();
  b.para(std::string(300, 'x'), {.size = 28}).page().para("next page");
  const std::string bytes = b.build();
  enum Change {
    kNone,
    kDeleteOne,
    kAddOne,
    kReplaceOne,
    kNullPage,
    kNullParagraph,
    kAddEmptyPage,
    kReplacePage,
    kAddStyle,
    kReplaceStyle
  };
  for (Change change : {kNone, kDeleteOne, kAddOne, kReplaceOne, kNullPage, kNullParagraph,
                        kAddEmptyPage, kReplacePage, kAddStyle, kReplaceStyle}) {
    SCOPED_TRACE(change);
    Kivrant k;
    testing::loadModel(k, bytes);
    ParagraphList& first = KivrantInternals::pages(k)[0]->paragraphs;
    ASSERT_EQ(first.size(), 5u);
    ASSERT_EQ(first[2], first[3]) << "blanks alike are listed as one";
    if (change == kDeleteOne || change == kReplaceOne) {
      internal::discardFromModel(k, first.back());
      first.pop_back();
    }
    if (change == kAddOne || change == kReplaceOne) {
      first.push_back(new MPParagraph());
      first.back()->text = textFor(change);  // on the heap
    }
    // Empty slots are passed over.
    if (change == kNullPage) KivrantInternals::pages(k).push_back(nullptr);
    if (change == kNullParagraph) first.push_back(nullptr);
    // Pages too: the reader takes them from the arena, the tests make them
    // on the heap.
    std::vector<MPPage*>& pages = KivrantInternals::pages(k);
    if (change == kReplacePage) {
      internal::discardFromModel(k, pages.back());
      pages.pop_back();
    }
    if (change == kAddEmptyPage || change == kReplacePage) {
      pages.push_back(new MPPage(100, 100, false));
    }
    if (change == kReplacePage) pages.back()->paragraphs.push_back(new MPParagraph());
    // And style entries.
    std::vector<StyleEntry*>& styles = KivrantInternals::styleTable(k);
    ASSERT_EQ(styles.size(), 2u);
    if (change == kReplaceStyle) {
      internal::discardFromModel(k, styles.back());
      styles.pop_back();
    }
    if (change == kAddStyle || change == kReplaceStyle) styles.push_back(new StyleEntry());
    internal::releaseModel(k);
    EXPECT_TRUE(KivrantInternals::pages(k).empty());
    EXPECT_EQ(KivrantInternals::paragraphArena(k), nullptr);
  }
}

}  // namespace
}  // namespace Kivrel

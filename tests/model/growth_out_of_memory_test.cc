// The model's lists and the style index, run out of memory as they grow:
// the reader counts on each leaving what it held as it was, and on nothing
// made being left unowned. A binary of its own, since it replaces the global
// allocation functions.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <tuple>
#include <vector>

#include "model/list_new.h"
#include "model/model.h"
#include "model/style_table.h"
#include "support/failing_allocator.h"

namespace Kivrel {
namespace {

using testing::expectEachFailedAllocationChangesNothing;

// A page owns the paragraphs it lists, so a paragraph left out of the list
// shows as a leak.
std::unique_ptr<MPPage> pageWith(int paragraphs) {
  auto page = std::make_unique<MPPage>(100, 100, false);
  for (int i = 0; i < paragraphs; ++i) page->paragraphs.push_back(new MPParagraph);
  return page;
}

std::vector<MPParagraph*> listed(const MPPage& page) {
  return {page.paragraphs.begin(), page.paragraphs.end()};
}

TEST(GrowthOutOfMemory, APageListKeepsItsParagraphsWhenItCannotGrow) {
  // 1: the lone paragraph leaves its word for a block; 2 and 4: a full block doubles.
  for (int before : {1, 2, 4}) {
    SCOPED_TRACE(before);
    expectEachFailedAllocationChangesNothing(
        [&] { return pageWith(before); },
        [](MPPage& page) { internal::listNew(page.paragraphs, [] { return new MPParagraph; }); },
        listed);
  }
}

// Distinct character format bodies: format i differs in its font number.
std::vector<unsigned char> formatBody(int i) {
  std::vector<unsigned char> body(kCharacterFormatBodySize, 0);
  for (int b = 0; b < 4; ++b) {
    body[charformat::kFontNo + b] =
        static_cast<unsigned char>(static_cast<std::uint32_t>(i) >> (8 * b));
  }
  return body;
}

struct StyleState {
  explicit StyleState(int formats) {
    for (int i = 0; i < formats; ++i) bodies.push_back(formatBody(i));
    added = formatBody(1000);
    for (const auto& body : bodies) index.findOrAdd(body.data());
    if (!bodies.empty()) index.findOrAdd(bodies[0].data());  // a use count to keep
  }
  ~StyleState() {
    for (StyleEntry* e : table) delete e;
  }
  std::vector<std::vector<unsigned char>> bodies;
  std::vector<unsigned char> added;
  std::vector<StyleEntry*> table;
  internal::StyleTableIndex index{table};
};

std::vector<std::tuple<std::int32_t, int>> stylesOf(const StyleState& s) {
  std::vector<std::tuple<std::int32_t, int>> styles;
  for (const StyleEntry* e : s.table) styles.emplace_back(e->fontNo(), e->useCount);
  return styles;
}

TEST(GrowthOutOfMemory, TheStyleTableKeepsItsEntriesWhenANewFormatCannotBeAdded) {
  // 8: the index's slots and the table both grow for the ninth; 1 and 4: the table alone.
  for (int before : {1, 4, 8}) {
    SCOPED_TRACE(before);
    expectEachFailedAllocationChangesNothing([&] { return std::make_unique<StyleState>(before); },
                                             [&](StyleState& s) {
                                               ASSERT_EQ(s.index.findOrAdd(s.added.data()), before);
                                               // The index still finds what was there before the
                                               // failed attempt.
                                               for (int i = 0; i < before; ++i)
                                                 EXPECT_EQ(s.index.findOrAdd(s.bodies[i].data()),
                                                           i);
                                             },
                                             stylesOf);
  }
}

}  // namespace
}  // namespace Kivrel

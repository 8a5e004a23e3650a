// Walking the paragraphs in reading order across page boundaries.
#include "kivrel/kivrant.h"
#include "model/model.h"
#include "model/wrapping.h"

namespace Kivrel {

using internal::wrapAdd;

MPParagraph* Kivrant::getNextParagraph(int& page, int& para, bool update) {
  int p = page;
  int candidate = wrapAdd(para, 1);
  if (update) para = candidate;
  for (;;) {
    if (p < 0 || p >= pageCount || static_cast<std::size_t>(p) >= pages.size()) return nullptr;
    ParagraphList& paragraphs = pages[static_cast<std::size_t>(p)]->paragraphs;
    // Unsigned, so a negative candidate never names a paragraph.
    if (static_cast<std::uint32_t>(candidate) < paragraphs.size()) {
      return paragraphs[static_cast<std::uint32_t>(candidate)];
    }
    p = wrapAdd(p, 1);
    candidate = 0;
    if (update) {
      page = p;
      para = 0;
    }
  }
}

MPParagraph* Kivrant::getPrevParagraph(int& page, int& para, bool update) {
  int p = page;
  int candidate = wrapAdd(para, -1);
  if (update) para = candidate;
  for (;;) {
    if (p < 0 || p >= pageCount || static_cast<std::size_t>(p) >= pages.size()) return nullptr;
    ParagraphList& paragraphs = pages[static_cast<std::size_t>(p)]->paragraphs;
    if (candidate >= 0) return paragraphs.at(static_cast<std::size_t>(candidate));
    p = wrapAdd(p, -1);
    if (update) page = p;
    // The backward walk never enters the first page from a later one.
    if (p < 1) return nullptr;
    candidate = wrapAdd(
        static_cast<int>(pages[static_cast<std::size_t>(p)]->paragraphs.size()), -1);
    if (update) para = candidate;
  }
}

}  // namespace Kivrel

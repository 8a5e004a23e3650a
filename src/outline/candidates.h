// The paragraphs a run's per-paragraph tests leave in the running.
#ifndef KIVREL_OUTLINE_CANDIDATES_H_
#define KIVREL_OUTLINE_CANDIDATES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/model.h"
#include "outline/prefetch.h"

namespace Kivrel::internal {

// The tests reject nearly every paragraph (all but 4 % of a long generated
// document), and a rejected one never comes back, so the level and output
// passes walk this set instead of the whole model: on a model larger than the
// caches each full sweep costs as much as reading it from main memory. One bit
// per paragraph in reading order keeps the set small beside the model. A
// listed paragraph may be rejected later (a scan marks it), so users still
// test its point and its page's flags.
// REQUIRES: the pages and their paragraph lists stay as they were when the
// set was made.
class Candidates {
 public:
  explicit Candidates(const std::vector<MPPage*>& pages)
      : bits_((paragraphCount(pages) + 63) / 64, 0) {}

  // Lists the paragraph at this position in reading order.
  void add(std::size_t position) { bits_[position / 64] |= std::uint64_t{1} << (position % 64); }

  // Calls visit(pageIndex, page, paragraphIndex, paragraph) for each listed
  // paragraph, in document order.
  template <typename Visit>
  void forEach(const std::vector<MPPage*>& pages, Visit&& visit) const {
    // Listed paragraphs lie far apart in a large model: a batch of them is
    // found and fetched before the first is visited.
    struct Found {
      std::size_t page;
      std::size_t index;
      MPParagraph* paragraph;
    };
    Found batch[kParagraphsAhead];
    int count = 0;
    auto flush = [&] {
      for (int k = 0; k < count; ++k) {
        visit(static_cast<int>(batch[k].page), pages[batch[k].page],
              static_cast<int>(batch[k].index), batch[k].paragraph);
      }
      count = 0;
    };
    std::size_t page = 0;
    std::size_t pageStart = 0;
    for (std::size_t w = 0; w < bits_.size(); ++w) {
      for (std::uint64_t word = bits_[w]; word != 0; word &= word - 1) {
        const std::size_t position = w * 64 + lowestBit(word);
        while (position - pageStart >= pages[page]->paragraphs.size()) {
          pageStart += pages[page]->paragraphs.size();
          ++page;
        }
        const std::size_t index = position - pageStart;
        MPParagraph* paragraph = pages[page]->paragraphs[index];
        prefetchParagraph(paragraph);
        batch[count++] = Found{page, index, paragraph};
        if (count == kParagraphsAhead) flush();
      }
    }
    flush();
  }

 private:
  static int lowestBit(std::uint64_t word) {
#if defined(__GNUC__)
    return __builtin_ctzll(word);
#else
    int n = 0;
    while (!(word & 1)) {
      word >>= 1;
      ++n;
    }
    return n;
#endif
  }

  std::vector<std::uint64_t> bits_;
};

// Makes the set of one run reachable through the extractor for as long as
// the run lasts, however it ends.
class CandidatesScope {
 public:
  CandidatesScope(Candidates*& slot, Candidates& set) : slot_(slot) { slot_ = &set; }
  CandidatesScope(const CandidatesScope&) = delete;
  CandidatesScope& operator=(const CandidatesScope&) = delete;
  ~CandidatesScope() { slot_ = nullptr; }

 private:
  Candidates*& slot_;
};

}  // namespace Kivrel::internal

#endif  // KIVREL_OUTLINE_CANDIDATES_H_

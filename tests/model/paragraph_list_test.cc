// The list of a page's paragraphs against a std::vector doing the same.
#include "model/paragraph_list.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <vector>

namespace Kivrel {
namespace {

MPParagraph* fake(std::uintptr_t n) { return reinterpret_cast<MPParagraph*>(n * 8); }

std::vector<MPParagraph*> contents(const ParagraphList& list) {
  return std::vector<MPParagraph*>(list.begin(), list.end());
}

// Random pushes (nulls among them), pops, reserves, erases and clears, each
// checked against a vector: the first element must survive leaving its
// inline place, and the heap storage each growth and erase.
TEST(ParagraphList, BehavesAsAVectorThroughEveryChange) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    ParagraphList list;
    std::vector<MPParagraph*> expected;
    for (int step = 0; step < 60; ++step) {
      const unsigned op = rng() % 10;
      if (op < 5) {
        // Now and then a null, which a lone word cannot hold.
        MPParagraph* p = rng() % 8 == 0 ? nullptr : fake(rng() % 1000 + 1);
        list.push_back(p);
        expected.push_back(p);
      } else if (op == 5 && !expected.empty()) {
        list.pop_back();
        expected.pop_back();
      } else if (op == 6 && rng() % 2 == 0) {
        list.reserve(rng() % 40);
      } else if (op == 6) {
        list.reserveOneMore();
        ASSERT_GT(list.capacity(), list.size());
      } else if (op == 7 && !expected.empty()) {
        const std::size_t first = rng() % expected.size();
        const std::size_t last = first + rng() % (expected.size() - first + 1);
        list.erase(list.begin() + first, list.begin() + last);
        expected.erase(expected.begin() + first, expected.begin() + last);
      } else if (op == 8 && rng() % 4 == 0) {
        list.clear();
        expected.clear();
      } else if (!expected.empty()) {
        const std::size_t i = rng() % expected.size();
        list[i] = fake(i + 5000);
        expected[i] = fake(i + 5000);
      }
      ASSERT_EQ(contents(list), expected) << "round " << round << " step " << step;
      ASSERT_EQ(list.size(), expected.size());
      ASSERT_EQ(list.empty(), expected.empty());
      ASSERT_GE(list.capacity(), list.size());
      if (!expected.empty()) ASSERT_EQ(list.back(), expected.back());
    }
  }
}

TEST(ParagraphList, CheckedAccessRefusesAnIndexAtOrPastTheEnd) {
  ParagraphList list;
  EXPECT_THROW(list.at(0), std::out_of_range);
  list.push_back(fake(1));
  EXPECT_EQ(list.at(0), fake(1));
  EXPECT_THROW(list.at(1), std::out_of_range);
  list.push_back(fake(2));
  EXPECT_EQ(list.at(1), fake(2));
  EXPECT_THROW(list.at(2), std::out_of_range);
}

}  // namespace
}  // namespace Kivrel

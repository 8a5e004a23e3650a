// Page-range strings: parsing, normalisation, and the pages they exclude.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "support/doc_builder.h"
#include "text/text_test_util.h"

namespace Kivrel::testing {
namespace {

using K = KivrantInternals;

std::string show(const std::map<int, int>& map) {
  std::string out;
  for (const auto& [first, last] : map) {
    out += std::to_string(first) + ">" + std::to_string(last) + " ";
  }
  return out;
}

using text::utf8;

TEST(PageRangeParsing, GivesTheMapAndRewritesTheText) {
  const struct {
    const char* text;
    const char* map;
    const char* normalised;
  } cases[] = {
      {"1-3,5,10-", "1>3 5>5 10>-1 ", "1-3,5,10-,"},
      {"-", "1>-1 ", "-,"},
      {"１－３，５", "1>3 5>5 ", "1-3,5,"},
      {"5-3", "5>3 ", "5-3,"},
      {"1-5,1", "1>5 ", "1-5,1,"},         // a single page keeps the range
      {"1,1-5", "1>5 ", "1,1-5,"},         // a range overwrites a single page
      {"3-5-7", "3>5 ", "3-5-7,"},         // a second dash ends the number
      {"3--5", "3>-5 ", "3--5,"},
      {" 2 - 4 ", "2>4 ", "2 - 4,"},
      {"1、2", "1>1 ", "1、2,"},
      {"0,abc,x-5,,,", "", "0,abc,x-5,,,,"},
      {"3-x", "3>0 ", "3-x,"},
      {"　 ", "", ""},
      {"+2,-+3", "1>3 2>2 ", "+2,-+3,"},
  };
  for (const auto& c : cases) {
    UnicodeString text = UnicodeString::fromUTF8(c.text);
    std::map<int, int> map;
    K::analyzePageArea(text, map);
    EXPECT_EQ(show(map), c.map) << c.text;
    EXPECT_EQ(utf8(text), c.normalised) << c.text;
    std::map<int, int> again;  // the rewritten text parses to the same map
    K::analyzePageArea(text, again);
    EXPECT_EQ(again, map) << c.text;
  }
}

TEST(ExcludedPages, MarksThePagesOfEveryRangeWithinTheDocument) {
  struct Case {
    const char* text;
    int pages;
    const char* marked;
  };
  for (Case c : {Case{"1-3,5,10-", 12, "1 2 3 5 10 11 12 "}, Case{"5-3", 8, "3 4 5 "},
                 Case{"3--5", 8, "1 2 3 "}, Case{"2-100", 10, "2 3 4 5 6 7 8 9 10 "},
                 Case{"2-4,3-6,9-8", 10, "2 3 4 5 6 8 9 "}, Case{"20", 10, ""},
                 Case{"3-x", 10, ""}}) {
    Kivrant k;
    for (int i = 0; i < c.pages; ++i) K::pages(k).push_back(new MPPage(11906, 16838, false));
    K::pageCount(k) = c.pages;
    UnicodeString text = UnicodeString::fromUTF8(c.text);
    std::map<int, int> map;
    K::analyzePageArea(text, map);
    K::setExcludePages(k, map);
    std::string marked;
    for (int i = 0; i < c.pages; ++i) {
      if (K::pages(k)[i]->flags & kPageExcluded) marked += std::to_string(i + 1) + " ";
    }
    EXPECT_EQ(marked, c.marked) << c.text;
    releaseModel(k);
  }
}

}  // namespace
}  // namespace Kivrel::testing

#include "text/toc_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "text/char_class.h"
#include "text/number_reader.h"
#include "text/text_test_util.h"

namespace Kivrel::text {
namespace {

constexpr int kUntouchedPage = -99;
const char* const kUntouchedTitle = "<untouched>";

TEST(IsTocItem, SplitsAtFirstLeaderFollowedOnlyByPageNumberCharacters) {
  const struct {
    const char* input;
    bool result;
    const char* title;  // as left in the title argument
    int page;           // as left in the page argument
  } cases[] = {
      {"Introduction ........ 12", true, "Introduction", 12},
      {"Chapter 10 ..... 25", true, "Chapter", 10},
      {"\u7b2c1\u7ae0 \u6982\u8981\u30fb\u30fb\u30fb\u30fb3", true,
       "\u7b2c1\u7ae0 \u6982\u8981", 3},
      {"- 3 -", true, "", 3},
      {"Appendix\u2026\u2026\uff11\uff12", true, "Appendix", 12},
      // A split whose number is missing or roman still writes both outputs.
      {"Preface ...... iv", false, "Preface", 0},
      {"Total 0", false, "Total", 0},
      // No split: the title is emptied only when the text is symbols, digits
      // and spaces, and the page number is never written.
      {"12", false, "", kUntouchedPage},
      {"12a", false, kUntouchedTitle, kUntouchedPage},
      {"1 2 y", false, kUntouchedTitle, kUntouchedPage},
      {"", false, "", kUntouchedPage},
  };
  for (const auto& c : cases) {
    const icu::UnicodeString text = u16(c.input);
    icu::UnicodeString title = u16(kUntouchedTitle);
    int page = kUntouchedPage;
    EXPECT_EQ(isTocItem(text, page, title), c.result) << "input: " << c.input;
    EXPECT_EQ(utf8(title), c.title) << "input: " << c.input;
    EXPECT_EQ(page, c.page) << "input: " << c.input;
  }
  // The random lines below take this as given.
  for (const auto& [input, expected] : {std::pair{"", true}, {" ...12", true},
                                        {"xiv\u2160\u217b", true}, {"\uff19\u3000-", true},
                                        {"12 a", false}, {"L", false}, {"\u216c", false}}) {
    EXPECT_EQ(isPageNumberOrLeader(u16(input)), expected) << "input: " << input;
  }
}

// Direct transcription of the definition: test every leader's remainder, in
// order, and stop at the first that is a page-number tail.
bool quadraticTocItem(const icu::UnicodeString& text, int& pageNo, icu::UnicodeString& title) {
  const int32_t n = text.length();
  if (n == 0) {
    title.remove();
    return false;
  }
  bool onlySymbols = true;
  int32_t split = -1;
  for (int32_t i = 0; i < n; ++i) {
    const char16_t c = text.charAt(i);
    if (!isSymbol(c) && !isArabicNumber(c) && !isSpace(c)) onlySymbols = false;
    if (isLeader(c)) {
      icu::UnicodeString rest(text, i + 1, n - (i + 1));
      if (isPageNumberOrLeader(rest)) {
        split = i;
        break;
      }
    }
  }
  if (split < 0) {
    if (onlySymbols) title.remove();
    return false;
  }
  int32_t j = split;
  while (j < n && isLeader(text.charAt(j))) ++j;
  pageNo = readInt(icu::UnicodeString(text, j, n - j));
  title = icu::UnicodeString(text, 0, split);
  return pageNo != 0;
}

TEST(IsTocItem, AgreesWithTheDirectDefinitionOnRandomLines) {
  const std::vector<char16_t> alphabet = {
      u' ', 0x3000, u'.', 0xFF0E, u'-', 0x2212, 0x30FB, 0x2026, u'_',         // leaders
      u'0', u'1', u'7', u'9', 0xFF10, 0xFF13,                                 // digits
      u'i', u'v', u'x', u'I', u'X', 0x2160, 0x2173,                           // roman
      u'a', u'Z', u'L', 0xFF21,                                               // letters
      0x30A2, 0x30AB, 0x3042, 0x6982, u'#', u'(', 0x2460,                      // kana, others
  };
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<int> lengthOf(0, 24);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  for (int round = 0; round < 20000; ++round) {
    icu::UnicodeString text;
    const int length = lengthOf(rng);
    for (int i = 0; i < length; ++i) text.append(alphabet[pick(rng)]);

    icu::UnicodeString fastTitle = u16(kUntouchedTitle), slowTitle = fastTitle;
    int fastPage = kUntouchedPage, slowPage = kUntouchedPage;
    const bool fast = isTocItem(text, fastPage, fastTitle);
    const bool slow = quadraticTocItem(text, slowPage, slowTitle);
    ASSERT_EQ(fast, slow) << utf8(text);
    ASSERT_EQ(isTocLine(text), slow) << utf8(text);
    ASSERT_EQ(fastPage, slowPage) << utf8(text);
    ASSERT_EQ(fastTitle, slowTitle) << utf8(text);

    icu::UnicodeString aliased = text;
    fastPage = kUntouchedPage;
    ASSERT_EQ(isTocItem(aliased, fastPage, aliased), slow) << utf8(text);
    ASSERT_EQ(aliased, slowTitle == u16(kUntouchedTitle) ? text : slowTitle) << utf8(text);
  }
}

}  // namespace
}  // namespace Kivrel::text

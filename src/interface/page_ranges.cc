// Page-range strings ("1-3,5,10-") and the excluded pages they select.
#include <algorithm>
#include <vector>

#include "kivrel/kivrant.h"
#include "model/model.h"
#include "text/checked_string.h"
#include "text/number_reader.h"

namespace Kivrel {

namespace {

constexpr char16_t kComma = u',';
constexpr char16_t kHyphen = u'-';
constexpr char16_t kFullwidthComma = u'\uFF0C';
constexpr char16_t kFullwidthHyphen = u'\uFF0D';
constexpr char16_t kFullwidthZero = u'\uFF10';
constexpr char16_t kFullwidthNine = u'\uFF19';
constexpr char16_t kFullwidthOffset = 0xFEE0;

// Value of a range that runs through the last page; of one that selects nothing.
constexpr int kThroughEnd = -1;
constexpr int kNoRange = 0;

int readPageNumber(const UnicodeString& s) { return Kivrel::text::readInt(s); }

// Separators, hyphens and digits in their ASCII forms; the text is the
// caller's and keeps this form.
void normalise(UnicodeString& text) {
  text.append(kComma);
  text::throwIfBogus(text);
  for (int32_t i = 0; i < text.length(); ++i) {
    char16_t c = text.charAt(i);
    if (c == kFullwidthComma) {
      text.setCharAt(i, kComma);
    } else if (c == kFullwidthHyphen) {
      text.setCharAt(i, kHyphen);
    } else if (c >= kFullwidthZero && c <= kFullwidthNine) {
      text.setCharAt(i, static_cast<char16_t>(c - kFullwidthOffset));
    }
  }
}

}  // namespace

void Kivrant::analyzePageArea(UnicodeString& text, std::map<int, int>& map) {
  trimStr(text);
  if (text.isEmpty()) return;
  normalise(text);

  int32_t position = 0;
  for (;;) {
    int32_t comma = text.indexOf(kComma, position);
    if (comma < 0) comma = text.length();
    UnicodeString item;
    text.extractBetween(position, comma, item);
    text::throwIfBogus(item);
    trimStr(item);
    int32_t dash = item.indexOf(kHyphen);
    if (dash < 0) {
      int page = readPageNumber(item);
      if (page != 0) {
        int& last = map[page];
        if (last == kNoRange) last = page;  // an earlier range from this page wins
      }
    } else {
      UnicodeString before;
      UnicodeString after;
      item.extractBetween(0, dash, before);
      item.extractBetween(dash + 1, item.length(), after);
      int first = before.isEmpty() ? 1 : readPageNumber(before);
      int last = after.isEmpty() ? kThroughEnd : readPageNumber(after);
      if (first != 0) map[first] = last;
    }
    if (comma == text.length()) break;
    position = comma + 1;
  }
}

void Kivrant::analyzePageArea(UnicodeString& text, KivMap& map) {
  // Insertion leaves the view's iterator valid, so its position stays.
  analyzePageArea(text, *map.map);
}

void Kivrant::setExcludePages(std::map<int, int>& map) {
  if (map.empty()) return;
  // Ranges may overlap and reach far beyond the document; a difference array
  // over the pages keeps the marking linear in the page count.
  std::vector<int> delta(pageCount + 2, 0);
  for (int p = 1; p <= pageCount; ++p) {
    int v = map[p];
    if (v == kNoRange) continue;
    if (v == kThroughEnd) v = pageCount;
    int lo = std::max(std::min(p, v), 1);
    int hi = std::min(std::max(p, v), pageCount);
    if (lo > hi) continue;
    ++delta[lo];
    --delta[hi + 1];
  }
  int depth = 0;
  for (int q = 1; q <= pageCount; ++q) {
    depth += delta[q];
    if (depth > 0) pages[q - 1]->flags |= kPageExcluded;
  }
}

}  // namespace Kivrel

// Quality mode: refines the exact outline with signals taken over the whole
// document's paragraph verdicts.
#include "kivrel/quality.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <map>
#include <set>

namespace Kivrel {
namespace {

constexpr unsigned kBoldFlag = 0x4;

struct Collector : KivVerdictHandler {
  void onVerdict(const KivParagraphVerdict& v) override { all.push_back(v); }
  std::vector<KivParagraphVerdict> all;
};

bool isBold(const KivParagraphVerdict& v) { return (v.styleFlags & kBoldFlag) != 0; }

// The size that carries the most characters; 0 without styles.
int bodySize(const std::vector<KivParagraphVerdict>& all) {
  std::map<int, long> chars;
  for (const KivParagraphVerdict& v : all) {
    if (v.charSize > 0) chars[v.charSize] += v.text.countChar32();
  }
  int best = 0;
  long most = -1;
  for (const auto& [size, n] : chars) {
    if (n > most) best = size, most = n;
  }
  return best;
}

int skipSpaces(const UnicodeString& s, int i) {
  while (i < s.length() && u_isUWhiteSpace(s.char32At(i))) i = s.moveIndex32(i, 1);
  return i;
}

// Depth of a leading section number: "3" 1, "2.4" 2, "1.2.3" 3, 第1章 1,
// 第1節 2, 第1項 3; 0 when the text does not start with one. A number must be
// followed by white space or the end so that "3.5 kg" counts but "3.5kg" not.
int numberingDepth(const UnicodeString& s) {
  int i = skipSpaces(s, 0);
  if (i < s.length() && s.char32At(i) == 0x7B2C) {  // 第
    int j = s.moveIndex32(i, 1);
    int digits = 0;
    while (j < s.length() && (u_isdigit(s.char32At(j)) || u_hasBinaryProperty(
                                  s.char32At(j), UCHAR_IDEOGRAPHIC))) {
      UChar32 c = s.char32At(j);
      if (c == 0x7AE0) return digits ? 1 : 0;  // 章
      if (c == 0x7BC0) return digits ? 2 : 0;  // 節
      if (c == 0x9805) return digits ? 3 : 0;  // 項
      ++digits;
      j = s.moveIndex32(j, 1);
    }
    return 0;
  }
  int depth = 0;
  bool inNumber = false;
  for (; i < s.length(); i = s.moveIndex32(i, 1)) {
    UChar32 c = s.char32At(i);
    if (u_isdigit(c)) {
      if (!inNumber) ++depth;
      inNumber = true;
    } else if (c == '.' && inNumber) {
      inNumber = false;
    } else {
      break;
    }
  }
  if (depth == 0) return 0;
  if (i < s.length() && !u_isUWhiteSpace(s.char32At(i))) return 0;
  return depth;
}

// A list marker at the start: bullets, "1)", "(1)", "a)", "(a)", "1." with a
// single number and no title-like numbering after it.
bool startsWithListMarker(const UnicodeString& s) {
  int i = skipSpaces(s, 0);
  if (i >= s.length()) return false;
  UChar32 c = s.char32At(i);
  if (c == 0x2022 || c == 0x30FB || c == 0x25CF || c == 0x25A0 || c == '-' || c == '*' ||
      c == 0x2013) {
    return true;
  }
  bool open = c == '(';
  if (open) i = s.moveIndex32(i, 1);
  int start = i;
  while (i < s.length() && (u_isdigit(s.char32At(i)) || u_isalpha(s.char32At(i)))) {
    i = s.moveIndex32(i, 1);
  }
  int len = i - start;
  if (len == 0 || len > 3 || i >= s.length()) return false;
  UChar32 close = s.char32At(i);
  if (close == ')' || close == 0xFF09) return true;
  // "1. text": a one-level number at body size reads as an ordered list.
  return !open && close == '.' && u_isdigit(s.char32At(start));
}

}  // namespace

const char* describeQualityReason(int code) {
  switch (code) {
    case kQualityNotAboveBody: return "not larger or bolder than the body text";
    case kQualityListItem: return "list item at body size and weight";
    case kQualityWrappedParagraph: return "followed by a line of its own size: wrapped paragraph";
    default: return describeReasonCode(code);
  }
}

int extractQuality(Kivrant& kivrant, std::istream& input, KivOutlineList& result,
                   KivSettings* settings, std::vector<KivQualityVerdict>* verdicts) {
  Collector collector;
  KivOutlineList exact;
  kivrant.setVerdictHandler(&collector);
  int rc = kivrant.extract(input, exact, settings);
  kivrant.setVerdictHandler(nullptr);
  if (rc != 0) {
    for (KivOutlineItem* item : exact.items) result.items.push_back(new KivOutlineItem(*item));
    return rc;
  }

  const std::vector<KivParagraphVerdict>& all = collector.all;
  std::vector<KivQualityVerdict> q(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    q[i].exact = all[i];
    q[i].accepted = all[i].accepted;
  }
  const int body = bodySize(all);

  for (std::size_t i = 0; i < q.size(); ++i) {
    if (!q[i].accepted) continue;
    const KivParagraphVerdict& v = all[i];
    // Without styles there is nothing to compare against.
    if (body == 0 || v.charSize == 0) continue;
    bool bodyWeight = v.charSize <= body && !isBold(v);
    if (bodyWeight && startsWithListMarker(v.text)) {
      q[i].reason = kQualityListItem;
    } else if (bodyWeight) {
      q[i].reason = kQualityNotAboveBody;
    } else if (i + 1 < all.size()) {
      const KivParagraphVerdict& next = all[i + 1];
      // A heading-like next line (itself accepted or numbered) keeps this one.
      if (next.pageNo == v.pageNo && !next.accepted && next.charSize == v.charSize &&
          isBold(next) == isBold(v) && numberingDepth(next.text) == 0) {
        q[i].reason = kQualityWrappedParagraph;
      }
    }
    if (q[i].reason != 0) q[i].accepted = false;
  }

  // Levels: numbering depth first, then size (and bold) rank among unnumbered
  // headings, placed below the deepest numbering seen; then renumbered 1..n.
  std::set<std::pair<int, int>, std::greater<>> styles;  // (size, bold), largest first
  int maxDepth = 0;
  for (std::size_t i = 0; i < q.size(); ++i) {
    if (!q[i].accepted) continue;
    int depth = numberingDepth(all[i].text);
    maxDepth = std::max(maxDepth, depth);
    if (depth == 0) styles.insert({all[i].charSize, isBold(all[i]) ? 1 : 0});
  }
  // Unnumbered headings larger than every numbered one sit above them.
  int largestNumbered = 0;
  for (std::size_t i = 0; i < q.size(); ++i) {
    if (q[i].accepted && numberingDepth(all[i].text) > 0) {
      largestNumbered = std::max(largestNumbered, all[i].charSize);
    }
  }
  std::vector<int> raw(q.size(), 0);
  std::set<int> used;
  for (std::size_t i = 0; i < q.size(); ++i) {
    if (!q[i].accepted) continue;
    int depth = numberingDepth(all[i].text);
    if (depth > 0) {
      raw[i] = 1000 + depth * 10;
    } else {
      int rank = 0;
      for (const auto& s : styles) {
        if (s == std::make_pair(all[i].charSize, isBold(all[i]) ? 1 : 0)) break;
        ++rank;
      }
      bool above = maxDepth > 0 && all[i].charSize > largestNumbered;
      raw[i] = above ? rank : 1000 + (maxDepth + 1) * 10 + rank;
    }
    used.insert(raw[i]);
  }
  std::map<int, int> levelOf;
  for (int r : used) levelOf.emplace(r, static_cast<int>(levelOf.size()) + 1);

  std::size_t item = 0;
  for (std::size_t i = 0; i < q.size(); ++i) {
    if (!all[i].accepted) continue;
    if (q[i].accepted) {
      q[i].level = levelOf[raw[i]];
      if (item < exact.items.size()) {
        result.items.push_back(new KivOutlineItem(*exact.items[item]));
      }
    }
    ++item;
  }
  if (verdicts) *verdicts = std::move(q);
  return rc;
}

}  // namespace Kivrel

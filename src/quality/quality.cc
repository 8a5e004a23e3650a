// Quality mode: refines the exact outline with signals taken over the whole
// document's paragraph verdicts: drops what the exact rules keep but a page
// layout says is not a heading, and promotes what they reject but the layout
// shows as one.
#include "kivrel/quality.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>

#include "interface/all_or_nothing.h"
#include "interface/kivrant_internals.h"
#include "model/list_new.h"
#include "outline/reason_codes.h"
#include "text/checked_string.h"

namespace Kivrel {
namespace {

constexpr unsigned kBoldFlag = 0x4;
// Larger than the body by this factor (in percent) stands out; from the
// "much larger" factor on, code-like or label-like text is still a heading.
constexpr int kLargerPercent = 108;
constexpr int kMuchLargerPercent = 115;
// A piece of a cut line is this short at most (code units).
constexpr int kMaxLinePiece = 12;
// Headings are short; longer paragraphs are not promoted.
constexpr int kMaxHeadingLength = 80;
// Same text on this many pages, within this distance (twips), is furniture.
constexpr int kFurnitureMinPages = 3;
constexpr long kFurnitureSlack = 240;
// Furniture stands in the top or bottom band of the page (fraction of
// height). Wider than the exact rules' band: equal size and height on every
// page are asked for as well.
constexpr double kFurnitureBand = 0.2;
// Repetitions looked at on either side of a line when counting its pages.
constexpr std::size_t kFurnitureLook = 64;

// What the quality mode knows of one paragraph.
struct Para {
  KivParagraphVerdict v;
  int fontNo = 0;
  long pageHeight = 0;
  UnicodeString text;  // trimmed
  long chars = 0;      // code points of text
};

// Collects the verdicts and, while the model is still alive, the font of
// each paragraph's style and its page height.
class Collector : public KivVerdictHandler {
 public:
  explicit Collector(Kivrant& k) : k_(k) {}
  void onVerdict(const KivParagraphVerdict& v) override {
    Para p;
    p.v = v;
    std::vector<MPPage*>& pages = KivrantInternals::pages(k_);
    std::vector<StyleEntry*>& styles = KivrantInternals::styleTable(k_);
    const auto page = static_cast<std::size_t>(v.pageNo - 1);
    if (page < pages.size()) {
      p.pageHeight = pages[page]->height;
      const auto index = static_cast<std::size_t>(v.paragraphIndex);
      if (index < pages[page]->paragraphs.size()) {
        const auto style = static_cast<std::size_t>(pages[page]->paragraphs[index]->styleIndex);
        if (style < styles.size()) p.fontNo = styles[style]->fontNo();
      }
    }
    p.text = v.text;
    p.text.trim();  // a text shared with the verdict is copied first
    text::throwIfBogus(p.text);
    p.chars = p.text.countChar32();
    all.push_back(std::move(p));
  }
  std::vector<Para> all;

 private:
  Kivrant& k_;
};

bool isBold(const KivParagraphVerdict& v) { return (v.styleFlags & kBoldFlag) != 0; }

int skipSpaces(const UnicodeString& s, int i) {
  while (i < s.length() && u_isUWhiteSpace(s.char32At(i))) i = s.moveIndex32(i, 1);
  return i;
}

// word is lower-case ASCII.
bool startsWithWord(const UnicodeString& s, int i, const char* word, int* end) {
  if (i >= s.length() || u_tolower(s.char32At(i)) != static_cast<unsigned char>(word[0])) {
    return false;
  }
  UnicodeString w(word, -1, US_INV);
  if (s.length() - i < w.length()) return false;
  if (s.tempSubString(i, w.length()).caseCompare(w, U_FOLD_CASE_DEFAULT) != 0) return false;
  *end = i + w.length();
  return true;
}

bool isRomanDigit(UChar32 c) {
  return c == 'I' || c == 'V' || c == 'X' || c == 'L' || c == 'C' || (c >= 0x2160 && c <= 0x216F);
}

// A section number at the start of the text. rank: 1 part, 2 chapter or top
// number, 3 second level, and so on; 0 when there is none. end: the index
// after the number (and its trailing period).
struct Numbering {
  int rank = 0;
  int end = 0;
};

// Section numbers: "3", "2.4", "1.2.3" (a trailing period allowed), "A.1";
// "Part II", "Chapter 3", "Appendix B"; 第1部/第1編, 第1章, 第1節, 第1項.
// A number must be followed by white space or the end so that "3.5 kg"
// counts but "3.5kg" not.
Numbering readNumbering(const UnicodeString& s) {
  Numbering n;
  int i = skipSpaces(s, 0);
  if (i >= s.length()) return n;
  if (s.char32At(i) == 0x7B2C) {  // 第
    int j = s.moveIndex32(i, 1);
    int digits = 0;
    while (j < s.length()) {
      UChar32 c = s.char32At(j);
      int rank = c == 0x90E8 || c == 0x7DE8 ? 1   // 部 編
                 : c == 0x7AE0 ? 2                // 章
                 : c == 0x7BC0 ? 3                // 節
                 : c == 0x9805 ? 4 : 0;           // 項
      if (rank) {
        if (digits) n = {rank, s.moveIndex32(j, 1)};
        return n;
      }
      if (!u_isdigit(c) && !u_hasBinaryProperty(c, UCHAR_IDEOGRAPHIC)) return n;
      ++digits;
      j = s.moveIndex32(j, 1);
    }
    return n;
  }
  // A word label before a number or letter.
  int labelEnd = 0;
  int labelRank = 0;
  if (startsWithWord(s, i, "part", &labelEnd)) labelRank = 1;
  else if (startsWithWord(s, i, "chapter", &labelEnd)) labelRank = 2;
  else if (startsWithWord(s, i, "appendix", &labelEnd)) labelRank = 2;
  if (labelRank) {
    int j = skipSpaces(s, labelEnd);
    if (j == labelEnd || j >= s.length()) return n;
    int k = j;
    while (k < s.length() && (u_isdigit(s.char32At(k)) || isRomanDigit(s.char32At(k)) ||
                              (k == j && u_isupper(s.char32At(k))))) {
      k = s.moveIndex32(k, 1);
    }
    if (k == j) return n;
    if (k < s.length() && (s.char32At(k) == '.' || s.char32At(k) == ':')) ++k;
    if (k < s.length() && !u_isUWhiteSpace(s.char32At(k))) return n;
    return {labelRank, k};
  }
  int depth = 0;
  bool inNumber = false;
  // One capital letter before a period opens an appendix number: "A.1".
  if (u_isupper(s.char32At(i)) && i + 1 < s.length() && s.char32At(i + 1) == '.' &&
      i + 2 < s.length() && u_isdigit(s.char32At(i + 2))) {
    depth = 1;
    i += 2;
  }
  for (; i < s.length(); i = s.moveIndex32(i, 1)) {
    UChar32 c = s.char32At(i);
    if (u_isdigit(c)) {
      if (!inNumber) ++depth;
      inNumber = true;
    } else if ((c == '.' || c == 0xFF0E) && inNumber) {
      inNumber = false;
    } else {
      break;
    }
  }
  if (depth == 0) return n;
  if (i < s.length() && !u_isUWhiteSpace(s.char32At(i))) return n;
  // A lone number of three digits or more is a line number, a year or a
  // quantity, not a chapter.
  if (depth == 1 && u_charDigitValue(s.char32At(skipSpaces(s, 0))) >= 0) {
    int digits = 0;
    for (int k = skipSpaces(s, 0); k < i && u_isdigit(s.char32At(k)); k = s.moveIndex32(k, 1)) {
      ++digits;
    }
    if (digits >= 3) return n;
  }
  return {depth + 1, i};
}

// Nothing but a section number ("3.2", "Chapter 3", 第1章).
// Also a lone roman numeral ("iv", "XII"): the page numbers of front matter.
bool isBareNumber(const UnicodeString& s) {
  Numbering n = readNumbering(s);
  if (n.rank > 0) return skipSpaces(s, n.end) >= s.length();
  if (s.length() > 12) return false;  // six numeral letters and white space
  UnicodeString t(s);
  t.trim();
  if (t.isEmpty() || t.length() > 6) return false;
  for (int i = 0; i < t.length(); ++i) {
    if (!std::strchr("ivxlcdmIVXLCDM", static_cast<char>(t.charAt(i))) || t.charAt(i) > 0x7F) {
      return false;
    }
  }
  return true;
}

// A wide gap inside a line: a tab, or the spaces the model keeps for one.
bool hasGap(const UnicodeString& s) {
  return s.indexOf(u'\t') >= 0 || s.indexOf(UnicodeString(u"  ")) >= 0;
}

// A title, a wide gap and a page number: a contents line or a running
// header, never a heading.
bool endsInPageNumber(const UnicodeString& s) {
  int end = s.length();
  while (end > 0 && u_isdigit(s.char32At(end - 1))) --end;
  if (end == s.length() || end < 2) return false;
  return s.charAt(end - 1) == u'\t' || (s.charAt(end - 1) == u' ' && s.charAt(end - 2) == u' ');
}

// A running header's shape: a page number across a wide gap from a title.
bool isPageNumberLine(const UnicodeString& s) {
  if (s.isEmpty() || !hasGap(s)) return false;
  return u_isdigit(s.char32At(0)) || u_isdigit(s.char32At(s.length() - 1));
}

// A list marker at the start: bullets, "1)", "(1)", "a)", "(a)", and "1."
// with a single number (not "1.2").
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
  if (open || close != '.' || !u_isdigit(s.char32At(start))) return false;
  // "1. text" at body size reads as an ordered list; "1.2 text" does not.
  int next = i + 1;
  return next >= s.length() || !u_isdigit(s.char32At(next));
}

// Program text: statement ends, call syntax with pointers or commas,
// operators and a high share of code punctuation.
bool looksLikeCode(const UnicodeString& s) {
  if (s.isEmpty()) return false;
  int punct = 0;
  int letters = 0;
  for (int i = 0; i < s.length(); i = s.moveIndex32(i, 1)) {
    UChar32 c = s.char32At(i);
    if (c < 0x80 && std::strchr("{}[]();=<>*&|\\#$_~^`", static_cast<char>(c)) && c != 0) ++punct;
    if (u_isalpha(c)) ++letters;
  }
  UChar32 last = s.char32At(s.length() - 1);
  if (last == ';' || last == '{' || last == '}') return true;
  static constexpr const char16_t* kTokens[] = {u"->", u"::", u"==", u"!=", u"/*",
                                                u"//", u"#include", u"();", u"$ "};
  for (const char16_t* t : kTokens) {
    if (s.indexOf(UnicodeString(true, t, -1)) >= 0) return true;
  }
  if (last == ')' && (s.indexOf(u'*') >= 0 || s.indexOf(u',') >= 0)) return true;
  // One code mark in twelve characters is far above prose.
  return punct >= 2 && punct * 12 >= s.length() && letters * 2 < s.length() * 2;
}

// "Figure 3", "Fig. 2.1:", "Table 4-2", "Listing 1", "図1", "表 2.3".
bool isCaption(const UnicodeString& s) {
  static constexpr const char* kWords[] = {"figure", "fig.",    "table", "listing",
                                           "example", "exhibit", "chart", "diagram"};
  int i = skipSpaces(s, 0);
  int end = -1;
  for (const char* w : kWords) {
    if (startsWithWord(s, i, w, &end)) break;
    end = -1;
  }
  if (end < 0) {
    UChar32 c = i < s.length() ? s.char32At(i) : 0;
    if (c != 0x56F3 && c != 0x8868) return false;  // 図 表
    end = s.moveIndex32(i, 1);
  }
  int j = skipSpaces(s, end);
  int digits = j;
  while (j < s.length() && (u_isdigit(s.char32At(j)) || s.char32At(j) == '.' ||
                            s.char32At(j) == '-' || s.char32At(j) == 0xFF0E ||
                            s.char32At(j) == 0x2010 || s.char32At(j) == 0xFF0D)) {
    j = s.moveIndex32(j, 1);
  }
  if (j == digits || !u_isdigit(s.char32At(digits))) return false;
  return j >= s.length() || !u_isalpha(s.char32At(j)) || u_isUWhiteSpace(s.char32At(j));
}

// The text with digit runs folded to '#', white space removed, case folded:
// "Page 3 of 12" and "Page 4 of 12" meet.
std::u16string furnitureKey(const UnicodeString& s) {
  std::u16string key;
  key.reserve(static_cast<std::size_t>(s.length()));
  bool inDigits = false;
  for (int i = 0; i < s.length();) {
    UChar32 c = s.char32At(i);
    i = s.moveIndex32(i, 1);
    if (c < 0x80) {  // the common case without property look-ups
      if (c >= '0' && c <= '9') {
        if (!inDigits) key.push_back(u'#');
        inDigits = true;
        continue;
      }
      inDigits = false;
      if (c != ' ' && c != '\t') key.push_back(static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c + 32 : c));
      continue;
    }
    if (u_isdigit(c)) {
      if (!inDigits) key.push_back(u'#');
      inDigits = true;
      continue;
    }
    inDigits = false;
    if (u_isUWhiteSpace(c)) continue;
    c = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    if (c <= 0xFFFF) {
      key.push_back(static_cast<char16_t>(c));
    } else {
      key.push_back(static_cast<char16_t>(U16_LEAD(c)));
      key.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    }
  }
  return key;
}

// The title after a leading section number starts with a letter.
bool titleAfterNumber(const UnicodeString& s) {
  const int i = skipSpaces(s, readNumbering(s).end);
  return i < s.length() && u_isalpha(s.char32At(i));
}

// A date line: a year from 1900 to 2099 with a month name or 年, or in a
// numeric date ("2023-03-06"), and little else.
bool isDateLine(const UnicodeString& s) {
  if (s.length() > 40) return false;
  bool year = false;
  for (int i = 0; i + 4 <= s.length(); ++i) {
    const bool digits = u_isdigit(s.charAt(i)) && u_isdigit(s.charAt(i + 1)) &&
                        u_isdigit(s.charAt(i + 2)) && u_isdigit(s.charAt(i + 3));
    const bool edge = (i == 0 || !u_isdigit(s.charAt(i - 1))) &&
                      (i + 4 == s.length() || !u_isdigit(s.charAt(i + 4)));
    if (digits && edge && (s.charAt(i) == '1' ? s.charAt(i + 1) == '9' : s.charAt(i) == '2' &&
                                                                           s.charAt(i + 1) == '0')) {
      year = true;
    }
  }
  if (!year) return false;
  if (s.indexOf(u'\u5E74') >= 0) return true;  // 年
  // Month names, whole or cut to three letters, as words of their own.
  static constexpr const char* kMonths[] = {"january",   "february", "march",    "april",
                                            "may",       "june",     "july",     "august",
                                            "september", "october",  "november", "december"};
  UnicodeString folded(s);
  folded.foldCase();
  text::throwIfBogus(folded);
  for (int i = 0; i < folded.length();) {
    int j = i;
    while (j < folded.length() && u_isalpha(folded.charAt(j))) ++j;
    if (j > i) {
      std::string word;
      folded.tempSubString(i, j - i).toUTF8String(word);
      for (const char* m : kMonths) {
        if (word == m || (word.size() == 3 && std::string(m).compare(0, 3, word) == 0)) return true;
      }
      i = j;
    } else {
      ++i;
    }
  }
  int letters = 0;
  for (int i = 0; i < s.length(); ++i) letters += u_isalpha(s.charAt(i)) ? 1 : 0;
  return letters == 0;
}

bool endsLikeSentence(const UnicodeString& s) {
  if (s.isEmpty()) return false;
  UChar32 c = s.char32At(s.length() - 1);
  return c == '.' || c == ',' || c == ';' || c == ':' || c == 0x3002 || c == 0x3001 ||
         c == 0xFF0E || c == 0xFF0C || c == 0xFF1A || c == 0xFF1B;
}

// Two letters at least: single letters head the groups of an index.
bool hasLetter(const UnicodeString& s) {
  int letters = 0;
  for (int i = 0; i < s.length() && letters < 2; i = s.moveIndex32(i, 1)) {
    if (u_isalpha(s.char32At(i))) ++letters;
  }
  return letters >= 2 || (letters == 1 && s.countChar32() > 1);
}

// Dot leaders of a contents line: ". . .", "....", "…", "・・・".
bool hasLeader(const UnicodeString& s) {
  int dots = 0;
  for (int i = 0; i < s.length(); i = s.moveIndex32(i, 1)) {
    UChar32 c = s.char32At(i);
    if (c == '.' || c == 0x2026 || c == 0x30FB || c == 0x00B7) {
      if (++dots >= 4 || c == 0x2026) return true;
    } else if (c != ' ') {
      dots = 0;
    }
  }
  return false;
}

bool startsWithBullet(const UnicodeString& s) {
  int i = skipSpaces(s, 0);
  return i < s.length() && (s.char32At(i) == 0x2022 || s.char32At(i) == 0x2013);
}

// Exact reasons that speak of the text or the user's wishes and hold on any
// layout; a paragraph rejected for one of these is never promoted.
bool finalExactReason(int code) {
  switch (code) {
    case kEmptyText:
    case kTooLong:
    case kLinkOrPath:
    case kSymbolsOnly:
    case kExcludedPage:
    case kNotATocEntry:
      return true;
    default:
      return false;
  }
}

bool titleBlockReason(int code) {
  return code == kTitleBlock || code == kAfterTitle || code == kAfterRefusedTitle ||
         code == kRefusedTitle;
}

struct Style {
  int size;
  bool bold;
  int fontNo;
  bool operator<(const Style& o) const {
    return std::tie(size, bold, fontNo) < std::tie(o.size, o.bold, o.fontNo);
  }
  bool operator==(const Style& o) const {
    return size == o.size && bold == o.bold && fontNo == o.fontNo;
  }
};

Style styleOf(const Para& p) { return {p.v.charSize, isBold(p.v), p.fontNo}; }

// Numbers a map's values first, first + 1, ... in the order of its keys, so
// that each lookup of a key's place costs a logarithm, not a walk.
template <typename Map>
void numberInOrder(Map& placeOf, int first) {
  for (auto& entry : placeOf) entry.second = first++;
}

class Refiner {
 public:
  Refiner(std::vector<Para>& all, const KivSettings* settings)
      : all_(all), q_(all.size()), joined_(all.size(), -1) {
    maxLength_ = settings && settings->maxLength > 0
                     ? std::min(settings->maxLength, kMaxHeadingLength)
                     : kMaxHeadingLength;
    for (std::size_t i = 0; i < all_.size(); ++i) {
      q_[i].exact = all_[i].v;
      q_[i].accepted = all_[i].v.accepted;
      q_[i].fontNo = all_[i].fontNo;
    }
    measureBody();
    collectFurniture();
  }

  std::vector<KivQualityVerdict> run() {
    if (body_.size == 0) {  // without styles nothing to compare against
      levelsFromPoints();
      return finish();
    }
    joinNumbers();
    for (std::size_t i = 0; i < q_.size(); ++i) {
      if (joined_[i] >= 0) continue;
      if (all_[i].v.accepted) judgeAccepted(i);
      else judgeRejected(i);
    }
    assignLevels();
    return finish();
  }

 private:
  void measureBody() {
    std::map<int, long> bySize;
    for (const Para& p : all_) {
      if (p.v.charSize > 0) bySize[p.v.charSize] += p.chars;
    }
    long most = -1;
    for (const auto& [size, n] : bySize) {
      if (n > most) body_.size = size, most = n;
    }
    std::map<int, long> byFont;
    long bold = 0;
    long total = 0;
    for (const Para& p : all_) {
      if (p.v.charSize != body_.size) continue;
      const long n = p.chars;
      byFont[p.fontNo] += n;
      total += n;
      if (isBold(p.v)) bold += n;
    }
    most = -1;
    for (const auto& [font, n] : byFont) {
      if (n > most) body_.fontNo = font, most = n;
    }
    body_.bold = bold * 2 > total;
    for (const Para& p : all_) fontChars_[p.fontNo] += p.chars;
    for (const auto& [font, n] : fontChars_) totalChars_ += n;
  }

  // Furniture: the same key and size within kFurnitureSlack of the same
  // height on kFurnitureMinPages pages, in the top or bottom band.
  void collectFurniture() {
    furniture_.assign(all_.size(), false);
    repeats_.assign(all_.size(), false);
    std::unordered_map<std::u16string, std::vector<std::size_t>> anywhere;
    std::unordered_map<std::u16string, std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < all_.size(); ++i) {
      const Para& p = all_[i];
      // Furniture and headings are short lines; body paragraphs need no key.
      if (p.text.length() >= kMaxHeadingLength) continue;
      // Keys only where they can matter: lines in the top or bottom band,
      // and rejected lines that might be promoted.
      const bool inBand = p.pageHeight <= 0 || p.v.cy <= p.pageHeight * kFurnitureBand ||
                          p.v.cy >= p.pageHeight * (1 - kFurnitureBand);
      const bool candidate = !p.v.accepted && standsOut(p);
      if (!inBand && !candidate) continue;
      // "7.1 Overview" and "8.1 Overview" are two headings, not one line
      // with its digits changed: a leading section number stays as it is,
      // while a running header's page number ("3.1 Scope 51") is folded.
      std::u16string key;
      const Numbering number = readNumbering(p.text);
      if (number.rank > 0 && !isBareNumber(p.text) && !isPageNumberLine(p.text)) {
        key.assign(p.text.getBuffer(), static_cast<std::size_t>(number.end));
        key += furnitureKey(p.text.tempSubString(number.end));
      } else {
        key = furnitureKey(p.text);
      }
      key.push_back(static_cast<char16_t>(p.v.charSize & 0xFFFF));
      if (candidate) anywhere[key].push_back(i);
      if (inBand) groups[std::move(key)].push_back(i);
    }
    for (const auto& [key, members] : anywhere) {
      if (members.size() < static_cast<std::size_t>(kFurnitureMinPages)) continue;
      std::set<int> pages;
      for (std::size_t m : members) pages.insert(all_[m].v.pageNo);
      if (pages.size() < static_cast<std::size_t>(kFurnitureMinPages)) continue;
      for (std::size_t m : members) repeats_[m] = true;
    }
    for (auto& group : groups) {
      // A named reference, not a structured binding: C++17 lambdas cannot
      // capture a binding, and the look below needs it.
      std::vector<std::size_t>& members = group.second;
      if (members.size() < 2) continue;
      std::sort(members.begin(), members.end(), [&](std::size_t a, std::size_t b) {
        return std::make_pair(all_[a].v.charSize, all_[a].v.cy) <
               std::make_pair(all_[b].v.charSize, all_[b].v.cy);
      });
      for (std::size_t m = 0; m < members.size(); ++m) {
        const Para& p = all_[members[m]];
        // A page number across a gap marks a running header, which the
        // pages of one short section repeat only twice.
        const std::size_t need = isPageNumberLine(p.text) ? 2 : kFurnitureMinPages;
        std::set<int> pages;
        auto look = [&](std::size_t n) {
          const Para& o = all_[members[n]];
          if (o.v.charSize != p.v.charSize || std::labs(o.v.cy - p.v.cy) > kFurnitureSlack) {
            return false;
          }
          pages.insert(o.v.pageNo);
          return pages.size() < need;
        };
        // A bounded look either way keeps a flood of equal lines linear.
        for (std::size_t n = m; n < members.size() && n < m + kFurnitureLook && look(n); ++n) {
        }
        for (std::size_t n = m; n-- > 0 && n + kFurnitureLook > m && look(n);) {
        }
        furniture_[members[m]] = pages.size() >= need;
      }
    }
  }

  bool isFurniture(std::size_t i) const { return furniture_[i]; }

  bool larger(const Para& p, int percent) const {
    return static_cast<long>(p.v.charSize) * 100 >= static_cast<long>(body_.size) * percent;
  }
  bool bolder(const Para& p) const {
    return isBold(p.v) && !body_.bold && p.v.charSize >= body_.size;
  }
  // A face other than the body's, at body size or above, used for a small
  // share of the text: a heading face that the flags do not call bold.
  bool otherFace(const Para& p) const {
    if (p.fontNo == body_.fontNo || p.v.charSize < body_.size) return false;
    return fontChars_.at(p.fontNo) * 20 < totalChars_;
  }
  bool strong(const Para& p) const { return larger(p, kMuchLargerPercent) || bolder(p); }
  bool standsOut(const Para& p) const {
    return larger(p, kLargerPercent) || bolder(p) || otherFace(p);
  }

  // Half a line of the larger of two paragraphs, in twips: a size in
  // half-points is that size times 10 twips tall. In 64 bits for any size.
  static long halfLine(const Para& a, const Para& b) {
    return static_cast<long>(std::max(a.v.charSize, b.v.charSize)) * 5;
  }

  // A short piece to the right of the paragraph before, on its line: the
  // converter cut a line (around the raised letters of a logo, say).
  bool continuesLine(std::size_t i) const {
    if (i == 0 || joined_[i] >= 0) return false;
    const Para& p = all_[i];
    const Para& before = all_[i - 1];
    if (p.text.length() > kMaxLinePiece || before.v.pageNo != p.v.pageNo) return false;
    return std::labs(p.v.cy - before.v.cy) <= halfLine(p, before) && p.v.cx > before.v.cx &&
           p.v.tableCells <= 1 && before.v.tableCells <= 1;
  }

  // The next paragraph that is not furniture, or -1.
  long nextBody(std::size_t i) const {
    for (std::size_t j = i + 1; j < all_.size(); ++j) {
      if (joined_[j] >= 0) continue;
      if (!isFurniture(j)) return static_cast<long>(j);
    }
    return -1;
  }

  // A title on the same line as a bare section number before it joins it.
  void joinNumbers() {
    for (std::size_t i = 0; i + 1 < all_.size(); ++i) {
      const Para& number = all_[i];
      const Para& title = all_[i + 1];
      // The position first: it rules out nearly every pair at no cost.
      if (title.v.pageNo != number.v.pageNo || title.v.cx <= number.v.cx) continue;
      if (std::labs(title.v.cy - number.v.cy) > halfLine(number, title) ||
          !isBareNumber(number.text)) {
        continue;
      }
      if (readNumbering(title.text).rank > 0 || !hasLetter(title.text)) continue;
      joined_[i + 1] = static_cast<long>(i);
      q_[i + 1].accepted = false;
      q_[i + 1].reason = kQualityJoinedToNumber;
      q_[i].text = number.text + UnicodeString(u" ") + title.text;
      text::throwIfBogus(q_[i].text);
      // The number's line takes the title's style, which is the heading's.
      all_[i].v.charSize = std::max(number.v.charSize, title.v.charSize);
      all_[i].v.styleFlags |= title.v.styleFlags;
      if (title.v.charSize >= number.v.charSize) all_[i].fontNo = title.fontNo;
      all_[i].text = q_[i].text;
      ++i;
    }
  }

  // A drop code for a paragraph at this layout, or 0.
  int dropReason(std::size_t i) const {
    const Para& p = all_[i];
    if (p.v.charSize == 0) return 0;
    if (isFurniture(i)) return kQualityPageFurniture;
    if (hasLeader(p.text) || endsInPageNumber(p.text)) return kQualityContentsLine;
    if (continuesLine(i)) return kQualityLinePiece;
    if (startsWithBullet(p.text)) return kQualityListItem;
    if (isCaption(p.text) && !larger(p, kMuchLargerPercent)) return kQualityCaption;
    if (looksLikeCode(p.text) && !strong(p)) return kQualityCode;
    // A number of two levels or more ("3.1.1") or a number in a face of its
    // own marks a heading even at body size and weight.
    const int rank = readNumbering(p.text).rank;
    const bool numberedHeading =
        rank >= 3 || (rank > 0 && p.fontNo != body_.fontNo && p.v.charSize >= body_.size);
    if (!standsOut(p) && !numberedHeading) {
      return startsWithListMarker(p.text) ? kQualityListItem : kQualityNotAboveBody;
    }
    const long next = nextBody(i);
    if (next >= 0) {
      const Para& n = all_[static_cast<std::size_t>(next)];
      // A heading-like next line (numbered, or itself accepted) keeps this one.
      if (n.v.pageNo == p.v.pageNo && !q_[static_cast<std::size_t>(next)].accepted &&
          styleOf(n) == styleOf(p) && readNumbering(n.text).rank == 0 && rank == 0) {
        return kQualityWrappedParagraph;
      }
    }
    return 0;
  }

  void judgeAccepted(std::size_t i) {
    const int reason = dropReason(i);
    if (reason) {
      q_[i].accepted = false;
      q_[i].reason = reason;
    }
  }

  void judgeRejected(std::size_t i) {
    const Para& p = all_[i];
    if (finalExactReason(p.v.value) || p.v.charSize == 0) return;
    // Table cells stay out unless a section number took its title from one.
    const bool joined = !q_[i].text.isEmpty();
    if ((p.v.tableCells > 1 && !joined) || p.text.length() >= maxLength_) return;
    // Cheap tests first: most rejected paragraphs are body text.
    const bool numbered = readNumbering(p.text).rank > 0;
    if (!(numbered ? standsOut(p) : strong(p))) return;
    // A wide gap inside the line joins two columns or a row, not a heading.
    if (hasGap(p.text)) return;
    if (!hasLetter(p.text) || isBareNumber(p.text) || dropReason(i) != 0) return;
    // A section number heads a title, not a guard or a formula.
    if (numbered && !titleAfterNumber(p.text)) return;
    if (isDateLine(p.text)) return;
    // Sentences stay out: only a numbered heading may end in a period, and
    // then hold no other sentence end.
    if (p.v.value == kSentence &&
        !(numbered && p.text.endsWith(UnicodeString(u".")) && p.text.indexOf(u'\u3002') < 0 &&
          p.text.indexOf(UnicodeString(u". ")) < 0)) {
      return;
    }
    // A period ends a sentence, but numbered headings sometimes end in one.
    if (endsLikeSentence(p.text) && !(numbered && strong(p) && p.text.endsWith(UnicodeString(u".")))) {
      return;
    }
    // Headings are unique: text that comes back on other pages (as another
    // such candidate) is not one.
    if (repeats_[i]) return;
    // A heading is followed by smaller or plainer text, not by a larger line
    // nor by one of its own style.
    const long next = nextBody(i);
    if (next < 0) return;
    const Para& n = all_[static_cast<std::size_t>(next)];
    if (n.v.charSize > p.v.charSize || (styleOf(n) == styleOf(p) && !numbered)) return;
    // A row of cells is a heading only when no table follows it.
    if (joined && n.v.tableCells > 1) return;
    // On a title page (names, dates, versions) only a line directly followed
    // by body text reads as a heading.
    if (titleBlockReason(p.v.value) && !numbered && (standsOut(n) || n.v.charSize != body_.size)) {
      return;
    }
    q_[i].accepted = true;
    q_[i].reason = numbered ? kQualityPromotedNumbered : kQualityPromoted;
  }

  // Levels: the numbering rank first (part > chapter > 1.2 > 1.2.3); an
  // unnumbered heading takes the rank of numbered headings of its style, or
  // is placed by size among them; without numbering, (size, bold) ranks.
  // The ranks are then renumbered 1..n.
  void assignLevels() {
    std::map<Style, std::map<int, int>> rankByStyle;  // style -> rank -> count
    std::map<int, int> sizeOfRank;                    // rank -> largest size
    for (std::size_t i = 0; i < q_.size(); ++i) {
      if (!q_[i].accepted) continue;
      const int rank = readNumbering(all_[i].text).rank;
      if (rank == 0) continue;
      ++rankByStyle[styleOf(all_[i])][rank];
      int& size = sizeOfRank[rank];
      size = std::max(size, all_[i].v.charSize);
    }
    // (size, bold) of unnumbered headings -> their place, from 0 for the largest
    auto plainKey = [](const Para& p) { return std::make_pair(p.v.charSize, isBold(p.v) ? 1 : 0); };
    std::map<std::pair<int, int>, int, std::greater<>> plainRankOf;
    for (std::size_t i = 0; i < q_.size(); ++i) {
      if (q_[i].accepted && readNumbering(all_[i].text).rank == 0) {
        plainRankOf.emplace(plainKey(all_[i]), 0);
      }
    }
    numberInOrder(plainRankOf, 0);
    std::vector<int> raw(q_.size(), 0);
    std::map<int, int> levelOf;  // raw rank -> level
    for (std::size_t i = 0; i < q_.size(); ++i) {
      if (!q_[i].accepted) continue;
      const Para& p = all_[i];
      const int rank = readNumbering(p.text).rank;
      if (rank > 0) {
        raw[i] = rank * 100;
      } else if (sizeOfRank.empty()) {
        raw[i] = plainRankOf.at(plainKey(p));
      } else if (auto it = rankByStyle.find(styleOf(p)); it != rankByStyle.end()) {
        raw[i] = std::max_element(it->second.begin(), it->second.end(),
                                  [](auto& a, auto& b) { return a.second < b.second; })
                     ->first * 100;
      } else {
        // The first rank whose headings are not larger; above all when
        // larger than every numbered heading, below all when smaller.
        raw[i] = -1;
        for (const auto& [r, size] : sizeOfRank) {
          if (size <= p.v.charSize) {
            raw[i] = size < p.v.charSize ? r * 100 - 50 : r * 100;
            break;
          }
        }
        if (raw[i] < 0) {
          raw[i] = sizeOfRank.rbegin()->first * 100 + 50 +
                   plainRankOf.at(plainKey(p));
        }
      }
      levelOf.emplace(raw[i], 0);
    }
    numberInOrder(levelOf, 1);
    for (std::size_t i = 0; i < q_.size(); ++i) {
      if (q_[i].accepted) q_[i].level = levelOf.at(raw[i]);
    }
  }

  // The exact mode's ranking: the higher the point, the higher the level.
  void levelsFromPoints() {
    std::map<int, int, std::greater<>> levelOf;  // point -> level
    for (const KivQualityVerdict& v : q_) {
      if (v.accepted) levelOf.emplace(v.exact.value, 0);
    }
    numberInOrder(levelOf, 1);
    for (KivQualityVerdict& v : q_) {
      if (v.accepted) v.level = levelOf.at(v.exact.value);
    }
  }

  std::vector<KivQualityVerdict> finish() {
    for (KivQualityVerdict& v : q_) {
      if (!v.accepted) v.text.remove();
    }
    return std::move(q_);
  }

  struct Body {
    int size = 0;
    int fontNo = 0;
    bool bold = false;
  };

  std::vector<Para>& all_;
  std::vector<KivQualityVerdict> q_;
  std::vector<long> joined_;  // index of the number a title joined, else -1
  std::vector<bool> furniture_;  // by paragraph, from its own text
  std::vector<bool> repeats_;    // candidate text and size on kFurnitureMinPages pages
  std::map<int, long> fontChars_;
  long totalChars_ = 0;
  Body body_;
  int maxLength_ = kMaxHeadingLength;
};

}  // namespace

const char* describeQualityReason(int code) {
  switch (code) {
    case kQualityNotAboveBody: return "not larger or bolder than the body text";
    case kQualityListItem: return "list item at body size and weight";
    case kQualityWrappedParagraph: return "followed by a line of its own size: wrapped paragraph";
    case kQualityCode: return "program text";
    case kQualityCaption: return "figure or table label";
    case kQualityPageFurniture: return "same text at the same place on many pages";
    case kQualityJoinedToNumber: return "title joined to the section number on its line";
    case kQualityContentsLine: return "dot leaders: a table-of-contents line";
    case kQualityLinePiece: return "short piece of the line before";
    case kQualityPromoted:
      return "promoted: stands out from the body text, short, followed by smaller text";
    case kQualityPromotedNumbered: return "promoted: section number in a heading style";
    default: return describeReasonCode(code);
  }
}

namespace {

// Puts a verdict handler in place for as long as it lives.
class HandlerSwap {
 public:
  HandlerSwap(Kivrant& k, KivVerdictHandler* handler)
      : k_(k), previous_(KivrantInternals::verdictHandler(k)) {
    k_.setVerdictHandler(handler);
  }
  HandlerSwap(const HandlerSwap&) = delete;
  HandlerSwap& operator=(const HandlerSwap&) = delete;
  ~HandlerSwap() { k_.setVerdictHandler(previous_); }

 private:
  Kivrant& k_;
  KivVerdictHandler* previous_;
};

}  // namespace

namespace {

int extractQualityInto(Kivrant& kivrant, std::istream& input, KivOutlineList& result,
                       KivSettings* settings, std::vector<KivQualityVerdict>* verdicts) {
  Collector collector(kivrant);
  KivOutlineList exact;
  int rc = 0;
  {
    // The host's handler comes back however the run ends.
    HandlerSwap swap(kivrant, &collector);
    rc = kivrant.extract(input, exact, settings);
  }
  if (rc != 0) {
    for (KivOutlineItem* item : exact.items) {
      internal::listNew(result.items, [item] { return new KivOutlineItem(*item); });
    }
    return rc;
  }

  Refiner refiner(collector.all, settings);
  std::vector<KivQualityVerdict> q = refiner.run();

  std::size_t item = 0;  // exact items match the accepted exact verdicts in order
  for (std::size_t i = 0; i < q.size(); ++i) {
    const KivOutlineItem* exactItem =
        q[i].exact.accepted && item < exact.items.size() ? exact.items[item] : nullptr;
    if (q[i].exact.accepted) ++item;
    if (!q[i].accepted) continue;
    // Only a joined title changes the text of an exact item.
    if (q[i].text.isEmpty()) q[i].text = exactItem ? exactItem->text : collector.all[i].text;
    if (exactItem && q[i].text == exactItem->text) {
      internal::listNew(result.items, [exactItem] { return new KivOutlineItem(*exactItem); });
      continue;
    }
    const KivParagraphVerdict& v = q[i].exact;
    UnicodeString text = q[i].text;
    internal::listNew(result.items, [&] {
      return new KivOutlineItem(v.pageNo, exactItem ? exactItem->point : 0, text,
                                static_cast<float>(v.cx), static_cast<float>(v.cy));
    });
  }
  if (verdicts) *verdicts = std::move(q);
  return rc;
}

}  // namespace

int extractQuality(Kivrant& kivrant, std::istream& input, KivOutlineList& result,
                   KivSettings* settings, std::vector<KivQualityVerdict>* verdicts) {
  return internal::appendAllOrNothing(
      result, [&] { return extractQualityInto(kivrant, input, result, settings, verdicts); });
}

}  // namespace Kivrel

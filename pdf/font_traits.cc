#include "font_traits.h"

#include <array>
#include <cctype>
#include <vector>

namespace Kivrel::pdf {

namespace {

constexpr std::size_t kSubsetTagLength = 6;
// Japanese faces number their weights W0..W12; W6 is the first that reads
// as bold next to a W3 body face.
constexpr int kFirstBoldWeightStep = 6;

constexpr std::array<std::string_view, 6> kBoldWords = {"bold", "heavy", "black", "demi",
                                                        "ultra", "midashi"};
constexpr std::array<std::string_view, 3> kItalicWords = {"italic", "oblique", "kursiv"};
// Weight suffixes that only count as whole tokens ("Foo-B", "Gothic,UB").
constexpr std::array<std::string_view, 7> kBoldTokens = {"b", "bd", "db", "eb", "h", "ub", "mb"};

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool isSeparator(char c) { return c == '-' || c == ',' || c == '_' || c == ' ' || c == '+'; }

std::vector<std::string> tokens(const std::string& name) {
  std::vector<std::string> out;
  std::string current;
  for (char c : name) {
    if (isSeparator(c)) {
      if (!current.empty()) out.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) out.push_back(current);
  return out;
}

// "w6", "w12": a weight step token; -1 when the token is not one.
int weightStep(const std::string& token) {
  if (token.size() < 2 || token.size() > 3 || token[0] != 'w') return -1;
  int step = 0;
  for (std::size_t i = 1; i < token.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(token[i]))) return -1;
    step = step * 10 + (token[i] - '0');
  }
  return step;
}

// "mb31", "mb101": Midashi-style weight codes, MB and heavier.
bool isHeavyCode(const std::string& token) {
  if (token.size() < 3) return false;
  std::string_view head(token.data(), 2);
  if (head != "mb" && head != "eb" && head != "ub" && head != "hb") return false;
  for (std::size_t i = 2; i < token.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(token[i]))) return false;
  }
  return true;
}

}  // namespace

std::string_view stripSubsetTag(std::string_view fontName) {
  if (fontName.size() <= kSubsetTagLength || fontName[kSubsetTagLength] != '+') return fontName;
  for (std::size_t i = 0; i < kSubsetTagLength; ++i) {
    if (fontName[i] < 'A' || fontName[i] > 'Z') return fontName;
  }
  return fontName.substr(kSubsetTagLength + 1);
}

FontTraits fontTraitsFromName(std::string_view fontName) {
  FontTraits traits;
  const std::string name = lower(stripSubsetTag(fontName));
  for (std::string_view word : kBoldWords) {
    if (name.find(word) != std::string::npos) traits.bold = true;
  }
  for (std::string_view word : kItalicWords) {
    if (name.find(word) != std::string::npos) traits.italic = true;
  }
  // "semilight", "demilight" are not bold, although they hold "demi".
  if (name.find("light") != std::string::npos && name.find("bold") == std::string::npos) {
    traits.bold = false;
  }
  const std::vector<std::string> parts = tokens(name);
  for (std::size_t i = 1; i < parts.size(); ++i) {  // the first token is the family
    const std::string& token = parts[i];
    for (std::string_view bold : kBoldTokens) {
      if (token == bold) traits.bold = true;
    }
    if (weightStep(token) >= kFirstBoldWeightStep || isHeavyCode(token)) traits.bold = true;
  }
  return traits;
}

}  // namespace Kivrel::pdf

// Feeds arbitrary text to Kivrant::analyzePageArea and checks the properties
// a host relies on: no page 0 is stored, the rewritten string parses to the
// same map, entries already in the map are never removed, and the map's
// iteration visits every entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>

#include "kivrel/kivrel.h"

namespace {

constexpr char16_t kRangeAlphabet[] = u"0123456789-,\uFF0C\uFF0D\uFF10\uFF15 \t\u3000\u3001+x";

std::map<int, int> parse(Kivrel::UnicodeString& text, const std::map<int, int>& start) {
  Kivrel::KivMap map;
  *map.map = start;
  Kivrel::Kivrant::analyzePageArea(text, map);
  std::map<int, int> out;
  int key = 0;
  int value = 0;
  map.setFirst();
  while (map.getNext(key, value)) out[key] = value;
  if (out != *map.map) std::abort();  // iteration must visit every entry once
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // Even first byte: characters from the parser's alphabet; odd: raw UTF-16LE.
  Kivrel::UnicodeString text;
  if (data[0] % 2 == 0) {
    for (std::size_t i = 1; i < size; ++i) {
      text.append(kRangeAlphabet[data[i] % (sizeof kRangeAlphabet / 2 - 1)]);
    }
  } else {
    for (std::size_t i = 1; i + 1 < size; i += 2) {
      text.append(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
  }

  const std::map<int, int> before = {{4, 4}};
  Kivrel::UnicodeString rewritten = text;
  std::map<int, int> first = parse(rewritten, before);
  if (first.count(0)) std::abort();
  if (first.count(4) != 1) std::abort();

  Kivrel::UnicodeString again = rewritten;
  std::map<int, int> second = parse(again, before);
  if (second != first) std::abort();
  return 0;
}

// Feeds arbitrary words to the PDF front end's page layout, as a damaged or
// hostile PDF can hand them over: any position and size, NaN and infinity
// included, in any order. Checks that every item has text, every block's
// numbers stay within the bounds a record stream can carry, and the blank
// lines above an item stay within the documented 0 to 3.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "text_layout.h"

namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return size_ == 0; }
  std::uint8_t byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  // Mostly page-like values, now and then any double the bytes spell.
  double number() {
    const std::uint8_t kind = byte();
    if (kind < 200) return (kind - 40) * 5.0 + byte() / 16.0;
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = bits << 8 | byte();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// Letters, CJK, a soft hyphen, a tab and a space, so that joining, hyphen
// removal and cell splitting all happen.
constexpr char16_t kAlphabet[] = u"aZ.-\u00AD\t \u3042\u6F22\u30FC1";

constexpr double kMaxCoordinate = 1e6;
constexpr double kMaxFontSize = 1e5;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const double pageWidth = in.number();
  std::vector<Kivrel::pdf::Word> words;
  while (!in.empty() && words.size() < 2000) {
    Kivrel::pdf::Word w;
    const int length = in.byte() % 6;
    for (int i = 0; i < length; ++i) w.text += kAlphabet[in.byte() % (sizeof kAlphabet / 2 - 1)];
    w.x0 = in.number();
    w.x1 = w.x0 + in.number();
    w.y0 = in.number();
    w.y1 = w.y0 + in.number();
    w.fontSize = in.number();
    const std::uint8_t flags = in.byte();
    w.fontId = flags >> 4;
    w.bold = flags & 1;
    w.italic = flags & 2;
    w.spaceAfter = flags & 4;
    words.push_back(w);
  }
  for (const Kivrel::pdf::LayoutItem& item : Kivrel::pdf::layoutPage(words, pageWidth)) {
    if (item.cells.empty() || item.tableRow != (item.cells.size() > 1)) std::abort();
    if (item.blankLinesBefore < 0 || item.blankLinesBefore > 3) std::abort();
    for (const Kivrel::pdf::TextBlock& b : item.cells) {
      if (b.text.empty()) std::abort();
      for (double v : {b.x0, b.x1, b.y0, b.y1}) {
        if (!(std::fabs(v) <= kMaxCoordinate)) std::abort();
      }
      if (!(b.fontSize <= kMaxFontSize) || std::isnan(b.fontSize)) std::abort();
    }
  }
  return 0;
}

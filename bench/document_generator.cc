#include "document_generator.h"

#include <algorithm>
#include <array>
#include <sstream>
#include <string_view>
#include <vector>

#include "kivrel/record_writer.h"

namespace Kivrel::bench {
namespace {

// A4 in twentieths of a point, as a converter would lay it out.
constexpr std::int32_t kPageWidth = 11906;
constexpr std::int32_t kPageHeight = 16838;
constexpr std::int32_t kLeftMargin = 1701;
constexpr std::int32_t kHeaderY = 700;
constexpr std::int32_t kFooterY = 16100;
constexpr std::int32_t kBodyTop = 2600;
constexpr std::int32_t kBodyBottom = 14200;
constexpr std::int32_t kLineHeight = 360;

// Character sizes in half-points.
constexpr std::int32_t kTitleSize = 48;
constexpr std::int32_t kChapterSize = 32;
constexpr std::int32_t kSectionSize = 26;
constexpr std::int32_t kBodySize = 21;
constexpr std::int32_t kSmallSize = 18;

constexpr std::uint32_t kBold = 0x4;

// splitmix64: the same sequence everywhere, unlike the standard distributions.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform enough in [0, n) for n far below 2^32.
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
  template <typename T, std::size_t N>
  const T& pick(const std::array<T, N>& items) {
    return items[below(static_cast<int>(N))];
  }

 private:
  std::uint64_t state_;
};

constexpr std::array<std::string_view, 40> kWords = {
    "the",       "outline",   "of",        "report",   "and",     "system",    "data",
    "process",   "results",   "analysis",  "is",       "in",      "for",       "with",
    "measured",  "budget",    "quarterly", "review",   "customer", "network",  "service",
    "describes", "shows",     "a",         "new",      "model",   "each",      "section",
    "table",     "values",    "were",      "collected", "from",   "regional",  "offices",
    "during",    "the",       "last",      "period",   "growth"};

constexpr std::array<std::string_view, 12> kJapanesePhrases = {
    "本章では", "システムの概要", "について説明する", "結果を", "以下に示す",
    "データは", "各部門から", "収集された", "予算の", "見直しを行い",
    "品質管理", "の手順"};

constexpr std::array<std::string_view, 10> kTopics = {
    "Introduction", "Scope",       "Background",  "Methods",     "Results",
    "Discussion",   "Budget",      "Operations",  "Quality",     "Outlook"};

constexpr std::array<std::string_view, 8> kJapaneseTopics = {
    "概要", "背景", "方法", "結果", "考察", "予算", "運用", "品質管理"};

constexpr std::array<std::string_view, 4> kBullets = {"• ", "・", "○ ", "- "};

// Writes paragraphs top to bottom, breaking pages and adding the running
// header and footer as a converter does.
class Layout {
 public:
  Layout(std::ostream& out, GeneratedStats& stats) : writer_(out), stats_(stats) {}

  void start() {
    SectionFields section;
    section.width = kPageWidth;
    section.height = kPageHeight;
    writer_.section(section);
    stats_.pages = 1;
    pageFurniture();
  }

  void paragraph(std::string_view text, std::int32_t size, std::uint32_t flags = 0,
                 std::int32_t indent = 0) {
    if (y_ > kBodyBottom) newPage();
    emit(text, size, flags, kLeftMargin + indent, y_, 0);
    y_ += size >= kSectionSize ? 2 * kLineHeight : kLineHeight;
  }

  void tableRow(const std::vector<std::string>& cells) {
    if (y_ > kBodyBottom) newPage();
    writer_.tableRowFormat(static_cast<std::int32_t>(cells.size()));
    std::int32_t x = kLeftMargin;
    for (const std::string& cell : cells) {
      emitFormats(kSmallSize, 0, 0);
      writer_.paragraphPosition(x, y_);
      writer_.textUtf8(cell);
      writer_.cellEnd();
      ++stats_.paragraphs;
      x += 2800;
    }
    writer_.tableRowEnd();
    y_ += kLineHeight;
  }

  void newPage() {
    footer();
    writer_.pageBreak();
    ++stats_.pages;
    pageFurniture();
  }

  void finish() { footer(); }
  std::uint64_t bytes() const { return writer_.bytesWritten(); }
  int page() const { return stats_.pages; }

 private:
  void emitFormats(std::int32_t size, std::uint32_t flags, std::int32_t fontNo) {
    ParagraphFormatFields pf;
    pf.charSize = size;
    pf.li = 0;
    writer_.paragraphFormat(pf);
    CharacterFormatFields cf;
    cf.flag = flags;
    cf.fontNo = fontNo;
    cf.charSize = size;
    writer_.characterFormat(cf);
  }

  void emit(std::string_view text, std::int32_t size, std::uint32_t flags, std::int32_t x,
            std::int32_t y, std::int32_t fontNo) {
    emitFormats(size, flags, fontNo);
    writer_.paragraphPosition(x, y);
    writer_.textUtf8(text);
    writer_.paragraphBreak();
    ++stats_.paragraphs;
  }

  void pageFurniture() {
    emit("Kivrel Annual Report 2026", kSmallSize, 0, kLeftMargin, kHeaderY, 1);
    y_ = kBodyTop;
  }

  void footer() {
    emit("- " + std::to_string(stats_.pages) + " -", kSmallSize, 0, kPageWidth / 2, kFooterY, 1);
  }

  RecordWriter writer_;
  GeneratedStats& stats_;
  std::int32_t y_ = kBodyTop;
};

std::string sentence(Random& random) {
  std::string s;
  if (random.below(4) == 0) {
    int n = 2 + random.below(4);
    for (int i = 0; i < n; ++i) s += random.pick(kJapanesePhrases);
    s += random.below(2) ? "。" : "、詳細は付録を参照。";
    return s;
  }
  int n = 8 + random.below(12);
  for (int i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += random.pick(kWords);
  }
  s[0] = static_cast<char>(s[0] - 'a' + 'A');
  s += '.';
  return s;
}

std::string body(Random& random) {
  std::string s;
  int n = 1 + random.below(3);
  for (int i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += sentence(random);
  }
  return s;
}

// Depends on the number only, so the table of contents matches the chapters.
std::string chapterTitle(int chapter) {
  if (chapter % 2) {
    return "第" + std::to_string(chapter) + "章 " +
           std::string(kJapaneseTopics[chapter * 5 % kJapaneseTopics.size()]);
  }
  return std::to_string(chapter) + " " + std::string(kTopics[chapter * 7 % kTopics.size()]);
}

// Body paragraphs between two headings, with the odd list or table.
void sectionBody(Layout& layout, Random& random, int& remaining) {
  int blocks = 3 + random.below(6);
  for (int b = 0; b < blocks && remaining > 0; ++b) {
    int kind = random.below(10);
    if (kind < 6) {
      layout.paragraph(body(random), kBodySize);
      --remaining;
    } else if (kind < 8) {
      int items = 3 + random.below(4);
      bool numbered = kind == 6;
      std::string_view bullet = random.pick(kBullets);
      for (int i = 1; i <= items && remaining > 0; ++i, --remaining) {
        std::string item = numbered ? std::to_string(i) + ") " : std::string(bullet);
        item += random.pick(kTopics);
        item += ' ';
        item += random.pick(kWords);
        layout.paragraph(item, kBodySize, 0, 420);
      }
    } else {
      int rows = 2 + random.below(5);
      for (int r = 0; r < rows && remaining > 0; ++r) {
        std::vector<std::string> cells = {std::string(random.pick(kTopics)),
                                          std::to_string(random.below(100000)),
                                          std::to_string(random.below(100)) + "%"};
        layout.tableRow(cells);
        remaining -= static_cast<int>(cells.size());
      }
    }
  }
}

}  // namespace

GeneratedStats writeDocument(std::ostream& out, int paragraphs, std::uint64_t seed) {
  GeneratedStats stats;
  Random random(seed);
  Layout layout(out, stats);
  layout.start();

  // Title page.
  layout.paragraph("Kivrel Annual Report", kTitleSize, kBold);
  layout.paragraph("Operations and Results 2026", kSectionSize);
  layout.paragraph("Prepared by the planning office", kBodySize);
  layout.newPage();

  // The table of contents lists every chapter; about 55 paragraphs make one.
  constexpr int kParagraphsPerChapter = 55;
  int chapters = std::max(1, paragraphs / kParagraphsPerChapter);
  layout.paragraph("Contents", kChapterSize, kBold);
  for (int c = 1; c <= chapters; ++c) {
    int printedPage = 3 + (c - 1) * 2;
    std::string line = chapterTitle(c);
    line += c % 3 ? " ........ " : "・・・・・・";
    line += std::to_string(printedPage);
    layout.paragraph(line, kBodySize);
  }
  layout.newPage();

  int remaining = paragraphs - stats.paragraphs;
  for (int c = 1; remaining > 0; ++c) {
    layout.paragraph(chapterTitle(c), kChapterSize, kBold);
    --remaining;
    int sections = 2 + random.below(4);
    for (int s = 1; s <= sections && remaining > 0; ++s) {
      layout.paragraph(std::to_string(c) + "." + std::to_string(s) + " " +
                           std::string(random.pick(kTopics)),
                       kSectionSize, kBold);
      --remaining;
      sectionBody(layout, random, remaining);
    }
    remaining = paragraphs - stats.paragraphs;
  }
  layout.finish();
  stats.bytes = layout.bytes();
  return stats;
}

const char* hostileName(Hostile kind) {
  switch (kind) {
    case Hostile::kHugeTextClaim: return "huge_text_claim";
    case Hostile::kHugeSkip: return "huge_skip";
    case Hostile::kManyCharacterFormats: return "many_character_formats";
    case Hostile::kManyPages: return "many_pages";
    case Hostile::kBarePageBreaks:
      return "bare_page_breaks";
    case Hostile::kLongLeaderParagraphs: return "long_leader_paragraphs";
    case Hostile::kSameTextTopBand: return "same_text_top_band";
    case Hostile::kManyEmptyParagraphs: return "many_empty_paragraphs";
    case Hostile::kRisingCharacterSizes: return "rising_character_sizes";
  }
  return "unknown";
}

GeneratedStats writeHostile(std::ostream& out, Hostile kind, int scale) {
  GeneratedStats stats;
  RecordWriter writer(out);
  auto open = [&] {
    SectionFields section;
    section.width = kPageWidth;
    section.height = kPageHeight;
    writer.section(section);
    stats.pages = 1;
    ParagraphFormatFields pf;
    pf.charSize = kBodySize;
    writer.paragraphFormat(pf);
  };
  switch (kind) {
    case Hostile::kHugeTextClaim: {
      // The header promises 0xFFFFFFF0 bytes of text; 32 follow.
      std::array<unsigned char, 32> body{};
      for (std::size_t i = 0; i < body.size(); i += 2) body[i] = 'A';
      writer.raw(static_cast<std::uint32_t>(RecordType::kText), 0xFFFFFFF0u, body.data(),
                 body.size());
      break;
    }
    case Hostile::kHugeSkip: {
      open();
      writer.textUtf8("Before the skip");
      writer.raw(15, 0x80000000u, nullptr, 0);
      writer.raw(static_cast<std::uint32_t>(RecordType::kParagraphBreak), 0xFFFFFFFFu, nullptr,
                 0);
      for (int i = 0; i < scale; ++i) {
        writer.raw(static_cast<std::uint32_t>(RecordType::kCellEnd), 0xFFFFFF00u, nullptr, 0);
        writer.lineBreak();
        writer.textUtf8("after");
        ++stats.paragraphs;
      }
      break;
    }
    case Hostile::kManyCharacterFormats:
      open();
      for (int i = 0; i < scale; ++i) {
        CharacterFormatFields cf;
        cf.fontNo = i;
        cf.word28 = static_cast<std::uint16_t>(i);
        cf.value100 = static_cast<std::uint32_t>(i) * 2654435761u;
        cf.charSize = kBodySize;
        writer.characterFormat(cf);
        writer.textUtf8("Ab");
        writer.lineBreak();
        ++stats.paragraphs;
      }
      break;
    case Hostile::kManyPages:
      open();
      for (int i = 0; i < scale; ++i) {
        writer.pageBreak();
        writer.lineBreak();
        writer.paragraphPosition(kLeftMargin, kBodyTop);
        writer.textUtf8("Page body");
        ++stats.pages;
        ++stats.paragraphs;
      }
      break;
    case Hostile::kBarePageBreaks:
      open();
      for (int i = 0; i < scale; ++i) writer.pageBreak();
      stats.pages += scale;
      break;
    case Hostile::kLongLeaderParagraphs: {
      open();
      // Every leader is followed by a tail that holds only leaders until the
      // final letter, the worst case for splitting off a page number.
      std::u16string text(static_cast<std::size_t>(std::max(scale, 1)), u'.');
      for (std::size_t i = 1; i < text.size(); i += 2) text[i] = u' ';
      text.back() = u'e';  // not a roman numeral, so no tail qualifies
      for (int i = 0; i < 8; ++i) {
        writer.paragraphPosition(kLeftMargin, kBodyTop + i * kLineHeight);
        writer.text(std::u16string_view(text));
        writer.paragraphBreak();
        ++stats.paragraphs;
      }
      break;
    }
    case Hostile::kSameTextTopBand:
      open();
      // No position: every paragraph sits at cy 0, in the top band.
      for (int i = 0; i < scale; ++i) {
        writer.textUtf8("Kivrel Report");
        writer.lineBreak();
        ++stats.paragraphs;
      }
      break;
    case Hostile::kManyEmptyParagraphs:
      open();
      for (int i = 0; i < scale; ++i) writer.paragraphBreak();
      break;
    case Hostile::kRisingCharacterSizes:
      open();
      // Every size outranks all before it, so each paragraph opens a level
      // of its own above the others.
      for (int i = 0; i < scale; ++i) {
        if (i % 30 == 29) {
          writer.pageBreak();
          ++stats.pages;
        }
        CharacterFormatFields cf;
        cf.charSize = kBodySize + 1 + i;
        writer.characterFormat(cf);
        writer.paragraphPosition(kLeftMargin, kBodyTop + (i % 30) * kLineHeight);
        writer.textUtf8("Overview");
        writer.paragraphBreak();
        ++stats.paragraphs;
      }
      break;
  }
  stats.bytes = writer.bytesWritten();
  return stats;
}

std::string makeDocument(int paragraphs, std::uint64_t seed, GeneratedStats* stats) {
  std::ostringstream out(std::ios::binary);
  GeneratedStats s = writeDocument(out, paragraphs, seed);
  if (stats) *stats = s;
  return std::move(out).str();
}

std::string makeHostile(Hostile kind, int scale, GeneratedStats* stats) {
  std::ostringstream out(std::ios::binary);
  GeneratedStats s = writeHostile(out, kind, scale);
  if (stats) *stats = s;
  return std::move(out).str();
}

}  // namespace Kivrel::bench

// PDF → record stream: one Section per page, then the page's paragraphs and
// table rows in reading order.
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "font_traits.h"
#include "kivrel/pdf.h"
#include "kivrel/record_writer.h"
#include "text_layout.h"

namespace Kivrel {

namespace {

// Stream units: positions and page sizes in twips, character sizes in
// half-points, the units the outline heuristics are tuned for.
constexpr double kTwipsPerPoint = 20.0;
constexpr double kHalfPointsPerPoint = 2.0;
constexpr std::uint32_t kBoldFlag = 0x4;
// Any non-zero value marks emphasis; italics are the emphasis a PDF shows.
constexpr std::uint32_t kEmphasisValue = 1;
constexpr std::string_view kPdfMagic = "%PDF-";

std::int32_t toTwips(double points) {
  return static_cast<std::int32_t>(std::lround(points * kTwipsPerPoint));
}

std::int32_t toHalfPoints(double points) {
  return static_cast<std::int32_t>(std::lround(points * kHalfPointsPerPoint));
}

// poppler reports recoverable damage on stderr; a library must stay quiet.
void silencePoppler() {
  static std::once_flag once;
  std::call_once(once, [] {
    poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);
  });
}

std::unique_ptr<poppler::document> openDocument(std::string_view bytes) {
  silencePoppler();
  if (!looksLikePdf(bytes)) throw PdfError("not a PDF file");
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) throw PdfError("PDF file too large");
  std::unique_ptr<poppler::document> doc(poppler::document::load_from_raw_data(
      bytes.data(), static_cast<int>(bytes.size())));
  if (!doc) throw PdfError("damaged PDF file");
  if (doc->is_locked()) throw PdfError("encrypted PDF file");
  return doc;
}

// Font names → the fontNo of the stream, with their traits, for one document.
class FontTable {
 public:
  struct Entry {
    int id;
    pdf::FontTraits traits;
  };

  const Entry& lookup(const std::string& name) {
    auto it = entries_.find(name);
    if (it != entries_.end()) return it->second;
    const std::string plain(pdf::stripSubsetTag(name));
    auto byPlain = ids_.find(plain);
    const int id = byPlain != ids_.end() ? byPlain->second : static_cast<int>(ids_.size());
    ids_.emplace(plain, id);
    return entries_.emplace(name, Entry{id, pdf::fontTraitsFromName(plain)}).first->second;
  }

 private:
  std::map<std::string, Entry> entries_;  // by the name as the PDF spells it
  std::map<std::string, int> ids_;        // by the name without subset tag
};

std::vector<pdf::Word> pageWords(const poppler::page& page, FontTable& fonts) {
  std::vector<pdf::Word> words;
  for (const poppler::text_box& box : page.text_list(poppler::page::text_list_include_font)) {
    // Rotated words are margin stamps and axis labels, not running text.
    if (box.rotation() != 0) continue;
    const poppler::ustring text = box.text();
    if (text.empty()) continue;
    const poppler::rectf r = box.bbox();
    pdf::Word w;
    w.text.assign(text.begin(), text.end());
    w.x0 = r.left();
    w.y0 = r.top();
    w.x1 = r.right();
    w.y1 = r.bottom();
    w.spaceAfter = box.has_space_after();
    if (box.has_font_info()) {
      w.fontSize = box.get_font_size();
      const FontTable::Entry& font = fonts.lookup(box.get_font_name());
      w.fontId = font.id;
      w.bold = font.traits.bold;
      w.italic = font.traits.italic;
    } else {
      w.fontSize = r.height();
    }
    words.push_back(std::move(w));
  }
  return words;
}

void writeBlock(RecordWriter& writer, const pdf::TextBlock& block) {
  ParagraphFormatFields paragraph;
  paragraph.charSize = toHalfPoints(block.fontSize);
  paragraph.charCount = static_cast<std::int32_t>(block.text.size());
  writer.paragraphFormat(paragraph);
  CharacterFormatFields character;
  character.flag = block.bold ? kBoldFlag : 0;
  character.fontNo = block.fontId;
  character.charSize = paragraph.charSize;
  character.value56 = block.italic ? kEmphasisValue : 0;
  writer.characterFormat(character);
  // Tabs stand for the wide gaps inside a line.
  std::size_t start = 0;
  for (std::size_t i = 0; i <= block.text.size(); ++i) {
    if (i == block.text.size() || block.text[i] == u'\t') {
      if (i > start) writer.text(std::u16string_view(block.text).substr(start, i - start));
      if (i < block.text.size()) writer.tab();
      start = i + 1;
    }
  }
  writer.paragraphPosition(toTwips(block.x0), toTwips(block.y0));
}

void writeItems(RecordWriter& writer, const std::vector<pdf::LayoutItem>& items) {
  for (const pdf::LayoutItem& item : items) {
    for (int i = 0; i < item.blankLinesBefore; ++i) writer.paragraphBreak();
    if (!item.tableRow) {
      writeBlock(writer, item.cells.front());
      continue;
    }
    writer.tableRowFormat(static_cast<std::int32_t>(item.cells.size()));
    for (const pdf::TextBlock& cell : item.cells) {
      writeBlock(writer, cell);
      writer.cellEnd();
    }
    writer.tableRowEnd();
  }
}

}  // namespace

bool looksLikePdf(std::string_view head) {
  return head.substr(0, kPdfMagic.size()) == kPdfMagic;
}

int pdfPageCount(std::string_view pdfBytes) { return openDocument(pdfBytes)->pages(); }

void convertPdfToRecords(std::string_view pdfBytes, std::ostream& out,
                         const PdfProgress& progress) {
  std::unique_ptr<poppler::document> doc = openDocument(pdfBytes);
  RecordWriter writer(out);
  FontTable fonts;
  const int pageCount = doc->pages();
  for (int i = 0; i < pageCount; ++i) {
    std::unique_ptr<poppler::page> page(doc->create_page(i));
    if (!page) throw PdfError("damaged page " + std::to_string(i + 1));
    poppler::rectf box = page->page_rect(poppler::crop_box);
    double width = box.width();
    double height = box.height();
    const poppler::page::orientation_enum orientation = page->orientation();
    if (orientation == poppler::page::landscape || orientation == poppler::page::seascape) {
      std::swap(width, height);
    }
    SectionFields section;
    // A Section of all zero bytes would be dropped by the reader and shift
    // every later page number, so a degenerate page is kept 1 twip large.
    section.width = std::max<std::int32_t>(toTwips(width), 1);
    section.height = std::max<std::int32_t>(toTwips(height), 1);
    writer.section(section);
    writeItems(writer, pdf::layoutPage(pageWords(*page, fonts), width));
    if (!out) throw PdfError("cannot write the record stream");
    if (progress && !progress(i + 1, pageCount)) throw PdfCancelled();
  }
}

}  // namespace Kivrel

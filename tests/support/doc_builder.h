// Test support: builds record streams, converts log bytes, dumps the model.
//
// DocBuilder writes a record stream through RecordWriter, one call per
// document element:
//
//   DocBuilder b;
//   b.page(12000, 16838)                        // Section record
//       .para("Title", {.size = 40, .bold = true, .cy = 500})
//       .para("1\tIntro", {.size = 20})         // '\t' becomes a Tab record
//       .run(" more", {.size = 24, .bold = true})  // CharacterFormat + Text
//       .row({"cell a", "cell b"})               // one table row, two cells
//       .pageBreak()                            // PageBreak record
//       .para("Next page");
//   std::string bytes = b.build();
//
// para(text, opts) writes ParagraphFormat (charSize = opts.size), then
// CharacterFormat (flag = opts.flag | (bold ? 4 : 0), charSize = size)
// unless opts.charFormat is false, then ParagraphPosition
// (cx, cy) unless opts.position is false, then the text. Text is UTF-8; each
// '\t' is written as a Tab record, the pieces between as Text records (an
// empty text writes no Text record).
// Without opts.cy a paragraph is placed 400 below the previous paragraph of
// the page, the first one at a fifth of the page height.
// row(cells, opts) writes TableRowFormat(tableCells = cells.size(), or
// opts.tableCells when set), then per cell a para() at one shared cy
// (cx = opts.cx + 3000 * cell index) followed by CellEnd, then TableRowEnd.
// run(text, opts) adds a CharacterFormat (unless opts.charFormat is false)
// and the text to the current paragraph; it starts nothing.
// paragraphBreak(), lineBreak(), tab() and text() write the single
// record; writer() gives the RecordWriter for anything else (raw records).
//
// sjis(utf8): the windows-31j bytes of a UTF-8 literal, to write expected log
// lines readably: sjis("[改行]\n").
// For readable failures, the library's logToUtf8 (kivrel/log_decoder.h, checked
// against ICU in log_decoder_test) turns log bytes back into UTF-8.
// loadModel(k, bytes): reads the stream into k's model (Kivrant::analyzePages).
// releaseModel(k): deletes k's model as extract does after a run.
// dumpModel(k, skipEmpty): one line per paragraph,
//   "<page number>:<index> pt=<point> cells=<tableCells> cx=<cx> cy=<cy>
//    style=<styleIndex> |<text as UTF-8>|\n"
// (on one line; page number from 1, index within the page from 0). With
// skipEmpty, paragraphs whose text is empty are left out.
#ifndef KIVREL_TESTS_SUPPORT_DOC_BUILDER_H_
#define KIVREL_TESTS_SUPPORT_DOC_BUILDER_H_

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "kivrel/kivrant.h"
#include "kivrel/log_decoder.h"
#include "kivrel/record_writer.h"

namespace Kivrel::testing {

// Page size of A4 portrait in twips, the builder's default.
constexpr std::int32_t kA4Width = 11906;
constexpr std::int32_t kA4Height = 16838;

struct Para {
  std::int32_t size = 20;       // half-points: ParagraphFormat and CharacterFormat
  bool bold = false;            // CharacterFormat flag bit 0x4
  std::int32_t cx = 1800;
  std::optional<std::int32_t> cy;  // unset: automatic (see above)
  std::uint32_t flag = 0;       // further CharacterFormat flag bits
  bool charFormat = true;       // false: no CharacterFormat record
  bool position = true;         // false: no ParagraphPosition record
  std::optional<std::int32_t> tableCells;  // row(): overrides the cell count
};

class DocBuilder {
 public:
  DocBuilder();
  DocBuilder(const DocBuilder&) = delete;
  DocBuilder& operator=(const DocBuilder&) = delete;

  DocBuilder& page(std::int32_t width = kA4Width, std::int32_t height = kA4Height,
                   bool specialSection = false);
  DocBuilder& pageBreak();
  DocBuilder& para(std::string_view utf8, const Para& opts = {});
  DocBuilder& run(std::string_view utf8, const Para& opts = {});
  DocBuilder& row(const std::vector<std::string>& cells, const Para& opts = {});
  DocBuilder& paragraphBreak() { writer_.paragraphBreak(); return *this; }
  DocBuilder& lineBreak() { writer_.lineBreak(); return *this; }
  DocBuilder& tab() { writer_.tab(); return *this; }
  DocBuilder& text(std::string_view utf8);  // '\t' is written as Tab records

  RecordWriter& writer() { return writer_; }
  std::string build() const { return out_.str(); }

 private:
  void characterFormat(const Para& opts);
  std::int32_t nextCy(const Para& opts);

  std::ostringstream out_;
  RecordWriter writer_;
  std::int32_t pageHeight_ = kA4Height;
  std::optional<std::int32_t> lastCy_;
};

std::string sjis(const char* utf8);

void loadModel(Kivrant& k, const std::string& bytes);
void releaseModel(Kivrant& k);
std::string dumpModel(Kivrant& k, bool skipEmpty = false);

// One outline item a line: "page point |text| cx,cy".
std::string itemLine(int page, int point, const icu::UnicodeString& text, long cx, long cy);
std::string itemLines(const KivOutlineList& list);

}  // namespace Kivrel::testing

#endif  // KIVREL_TESTS_SUPPORT_DOC_BUILDER_H_

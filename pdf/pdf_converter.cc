// PDF → record stream: one Section per page, then the page's paragraphs and
// table rows in reading order.
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "font_traits.h"
#include "kivrel/pdf.h"
#include "kivrel/record_writer.h"
#include "pdf_converter.h"
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
// Threads pay off from a few dozen pages on; each opens the document anew.
constexpr int kPagesPerWorker = 16;
constexpr int kMaxWorkers = 4;
// Pages converted ahead of the writer, to bound the memory held.
constexpr int kLookAheadPages = 32;

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

// Font names → the fontNo of the stream and the traits, cached per worker.
// The number is a hash of the name without subset tag, so that pages
// converted on different threads agree on it without talking.
class FontTable {
 public:
  struct Entry {
    std::int32_t id;
    pdf::FontTraits traits;
  };

  const Entry& lookup(const std::string& name) {
    auto it = entries_.find(name);
    if (it != entries_.end()) return it->second;
    const std::string_view plain = pdf::stripSubsetTag(name);
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (char c : plain) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    const auto id = static_cast<std::int32_t>(hash & 0x7fffffff);
    return entries_.emplace(name, Entry{id, pdf::fontTraitsFromName(plain)}).first->second;
  }

 private:
  std::map<std::string, Entry> entries_;  // by the name as the PDF spells it
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

// The records of one page: its Section, then its paragraphs and rows.
std::string convertPage(const poppler::document& doc, int index, FontTable& fonts) {
  std::unique_ptr<poppler::page> page(doc.create_page(index));
  if (!page) throw PdfError("damaged page " + std::to_string(index + 1));
  const poppler::rectf box = page->page_rect(poppler::crop_box);
  double width = box.width();
  double height = box.height();
  const poppler::page::orientation_enum orientation = page->orientation();
  if (orientation == poppler::page::landscape || orientation == poppler::page::seascape) {
    std::swap(width, height);
  }
  std::ostringstream out(std::ios::binary);
  RecordWriter writer(out);
  SectionFields section;
  // A Section of all zero bytes would be dropped by the reader and shift
  // every later page number, so a degenerate page is kept 1 twip large.
  section.width = std::max<std::int32_t>(toTwips(width), 1);
  section.height = std::max<std::int32_t>(toTwips(height), 1);
  writer.section(section);
  writeItems(writer, pdf::layoutPage(pageWords(*page, fonts), width));
  return std::move(out).str();
}

// Emits finished pages in page order while the workers convert ahead.
class PageQueue {
 public:
  PageQueue(int pageCount, int window) : pages_(pageCount), window_(window) {}

  // The next page to convert, or -1 when there is none or the run stops.
  // Blocks while the workers are a window ahead of the writer.
  int take() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stop_ || next_ < written_ + window_; });
    if (stop_ || next_ >= static_cast<int>(pages_.size())) return -1;
    return next_++;
  }

  void put(int index, std::string records) {
    std::lock_guard<std::mutex> lock(mutex_);
    pages_[index] = std::move(records);
    done_.insert(index);
    changed_.notify_all();
  }

  void fail(std::exception_ptr error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!error_) error_ = error;
    stop_ = true;
    changed_.notify_all();
  }

  void stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    changed_.notify_all();
  }

  // Waits for page index; rethrows a worker's error.
  std::string await(int index) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return error_ || done_.count(index) != 0; });
    if (error_) std::rethrow_exception(error_);
    done_.erase(index);
    written_ = index + 1;
    changed_.notify_all();
    return std::move(pages_[index]);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> pages_;
  std::set<int> done_;
  int window_;
  int next_ = 0;
  int written_ = 0;
  bool stop_ = false;
  std::exception_ptr error_;
};

int workerCount(int pageCount) {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(std::min(cores, pageCount / kPagesPerWorker), 1, kMaxWorkers);
}

void writePage(std::ostream& out, const std::string& records, int done, int pageCount,
               const PdfProgress& progress) {
  out.write(records.data(), static_cast<std::streamsize>(records.size()));
  if (!out) throw PdfError("cannot write the record stream");
  if (progress && !progress(done, pageCount)) throw PdfCancelled();
}

}  // namespace

bool looksLikePdf(std::string_view head) {
  return head.substr(0, kPdfMagic.size()) == kPdfMagic;
}

int pdfPageCount(std::string_view pdfBytes) { return openDocument(pdfBytes)->pages(); }

void convertPdfToRecords(std::string_view pdfBytes, std::ostream& out,
                         const PdfProgress& progress) {
  pdf::convertWithWorkers(pdfBytes, out, progress, 0);
}

namespace pdf {

void convertWithWorkers(std::string_view pdfBytes, std::ostream& out,
                        const PdfProgress& progress, int workers) {
  std::unique_ptr<poppler::document> doc = openDocument(pdfBytes);
  const int pageCount = doc->pages();
  if (workers <= 0) workers = workerCount(pageCount);
  if (workers == 1) {
    FontTable fonts;
    for (int i = 0; i < pageCount; ++i) {
      writePage(out, convertPage(*doc, i, fonts), i + 1, pageCount, progress);
    }
    return;
  }
  // Each worker opens its own document: one poppler document must not be
  // used by two threads, separate ones may be used side by side.
  PageQueue queue(pageCount, kLookAheadPages);
  std::vector<std::thread> threads;
  auto joinAll = [&] {
    queue.stop();
    for (std::thread& t : threads) t.join();
  };
  for (int w = 0; w < workers; ++w) {
    auto work = [&, w] {
      try {
        std::unique_ptr<poppler::document> own =
            w == 0 ? std::move(doc) : openDocument(pdfBytes);
        FontTable fonts;
        for (int i = queue.take(); i >= 0; i = queue.take()) {
          queue.put(i, convertPage(*own, i, fonts));
        }
      } catch (...) {
        queue.fail(std::current_exception());
      }
    };
    try {
      threads.emplace_back(work);
    } catch (...) {  // no thread could be started: stop those that were
      joinAll();
      throw;
    }
  }
  std::exception_ptr error;
  try {
    for (int i = 0; i < pageCount; ++i) writePage(out, queue.await(i), i + 1, pageCount, progress);
  } catch (...) {
    error = std::current_exception();
  }
  joinAll();
  if (error) std::rethrow_exception(error);
}

}  // namespace pdf

}  // namespace Kivrel

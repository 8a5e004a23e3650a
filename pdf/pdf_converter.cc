// PDF → record stream: one Section per page, then the page's paragraphs and
// table rows in reading order.
//
// Built on poppler's core API rather than poppler-cpp: poppler-cpp makes a
// new text device and rescans the page's fonts (asking fontconfig for each
// one that is not embedded) for every page, and converts every word through
// iconv, which together cost three times what drawing the text does.
#include <ErrorCodes.h>
#include <GlobalParams.h>
#include <PDFDoc.h>
#include <Page.h>
#include <Stream.h>
#include <TextOutputDev.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <condition_variable>
#include <exception>
#include <limits>
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

// Rounded, and saturated where a page claims a size beyond any real one.
std::int32_t toInt32(double value) {
  if (std::isnan(value)) return 0;
  constexpr double kLow = std::numeric_limits<std::int32_t>::min();
  constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::lround(std::clamp(value, kLow, kHigh)));
}

std::int32_t toTwips(double points) { return toInt32(points * kTwipsPerPoint); }

std::int32_t toHalfPoints(double points) { return toInt32(points * kHalfPointsPerPoint); }

// poppler reports recoverable damage on stderr; a library must stay quiet.
// The parameters poppler needs are set up once and kept for the process,
// shared with any other poppler front end the process uses.
void initPoppler() {
  static std::once_flag once;
  std::call_once(once, [] {
    static GlobalParamsIniter params([](ErrorCategory, Goffset, const char*) {});
    setErrorCallback([](ErrorCategory, Goffset, const char*) {});
  });
}

std::unique_ptr<PDFDoc> openDocument(std::string_view bytes) {
  initPoppler();
  if (!looksLikePdf(bytes)) throw PdfError("not a PDF file");
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) throw PdfError("PDF file too large");
  // The stream only reads the caller's bytes; the document owns the stream.
  auto* stream = new MemStream(bytes.data(), 0, static_cast<Goffset>(bytes.size()), Object(objNull));
  auto doc = std::make_unique<PDFDoc>(stream, GooString(), GooString());
  if (doc->isOk()) return doc;
  if (doc->getErrorCode() == errEncrypted) {
    throw PdfError("encrypted PDF file that needs a password to open");
  }
  throw PdfError("damaged PDF file");
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

  const Entry& lookup(std::string_view name) {
    auto it = entries_.find(name);
    if (it != entries_.end()) return it->second;
    const std::string_view plain = pdf::stripSubsetTag(name);
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (char c : plain) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    const auto id = static_cast<std::int32_t>(hash & 0x7fffffff);
    return entries_.emplace(std::string(name), Entry{id, pdf::fontTraitsFromName(plain)})
        .first->second;
  }

 private:
  // By the name as the PDF spells it.
  std::map<std::string, Entry, std::less<>> entries_;
};

// Code points to UTF-16. NUL, lone surrogates and values past U+10FFFF (from
// broken ToUnicode maps) are left out.
void appendUtf16(std::u16string& out, const Unicode* chars, int count) {
  for (int i = 0; i < count; ++i) {
    const Unicode c = chars[i];
    if (c == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) continue;
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
}

// The words of a page. The text device is reused from page to page, as it
// keeps the colour spaces it has built (an ICC profile per page is costly).
std::vector<pdf::Word> pageWords(PDFDoc& doc, int index, TextOutputDev& device,
                                 FontTable& fonts) {
  // 72 dpi and no extra rotation: positions in points on the page as shown.
  doc.displayPageSlice(&device, index + 1, 72, 72, 0, /*useMediaBox=*/false, /*crop=*/false,
                       /*printing=*/false, -1, -1, -1, -1);
  std::vector<pdf::Word> words;
  const std::unique_ptr<TextWordList> list = device.makeWordList();
  if (!list) return words;
  words.reserve(static_cast<std::size_t>(list->getLength()));
  for (int i = 0; i < list->getLength(); ++i) {
    const TextWord* box = list->get(i);
    // Rotated words are margin stamps and axis labels, not running text.
    if (box->getRotation() != 0 || box->getLength() == 0) continue;
    pdf::Word w;
    appendUtf16(w.text, box->getChar(0), box->getLength());
    if (w.text.empty()) continue;
    box->getBBox(&w.x0, &w.y0, &w.x1, &w.y1);
    w.spaceAfter = box->hasSpaceAfter();
    w.fontSize = box->getFontSize();
    const GooString* name = box->getFontInfo(0)->getFontName();
    const FontTable::Entry& font =
        fonts.lookup(name ? std::string_view(name->c_str(), name->getLength()) : std::string_view());
    w.fontId = font.id;
    w.bold = font.traits.bold;
    w.italic = font.traits.italic;
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

// One thread's reader: a document with its own text device and font cache.
class PageConverter {
 public:
  explicit PageConverter(std::unique_ptr<PDFDoc> doc)
      : doc_(std::move(doc)), device_(nullptr, false, 0, false, false) {}

  // The records of one page: its Section, then its paragraphs and rows.
  std::string convert(int index) {
    // Catalog::getPage is null for a page that cannot be read.
    const Page* page = doc_->getCatalog()->getPage(index + 1);
    std::ostringstream out(std::ios::binary);
    RecordWriter writer(out);
    SectionFields section;
    // A page poppler cannot read stays in as an empty page of the least
    // size, so that the readable ones keep their numbers.
    section.width = section.height = 1;
    if (!page) {
      writer.section(section);
      return std::move(out).str();
    }
    const PDFRectangle* box = page->getCropBox();
    double width = box->x2 - box->x1;
    double height = box->y2 - box->y1;
    if (page->getRotate() == 90 || page->getRotate() == 270) std::swap(width, height);
    // A Section of all zero bytes would be dropped by the reader and shift
    // every later page number, so a degenerate page is kept 1 twip large.
    section.width = std::max<std::int32_t>(toTwips(width), 1);
    section.height = std::max<std::int32_t>(toTwips(height), 1);
    writer.section(section);
    writeItems(writer, pdf::layoutPage(pageWords(*doc_, index, device_, fonts_), width));
    return std::move(out).str();
  }

 private:
  std::unique_ptr<PDFDoc> doc_;
  TextOutputDev device_;
  FontTable fonts_;
};

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

int pdfPageCount(std::string_view pdfBytes) { return openDocument(pdfBytes)->getNumPages(); }

void convertPdfToRecords(std::string_view pdfBytes, std::ostream& out,
                         const PdfProgress& progress) {
  pdf::convertWithWorkers(pdfBytes, out, progress, 0);
}

namespace pdf {

void convertWithWorkers(std::string_view pdfBytes, std::ostream& out,
                        const PdfProgress& progress, int workers) {
  std::unique_ptr<PDFDoc> doc = openDocument(pdfBytes);
  const int pageCount = doc->getNumPages();
  if (workers <= 0) workers = workerCount(pageCount);
  if (workers == 1) {
    PageConverter converter(std::move(doc));
    for (int i = 0; i < pageCount; ++i) {
      writePage(out, converter.convert(i), i + 1, pageCount, progress);
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
        PageConverter converter(w == 0 ? std::move(doc) : openDocument(pdfBytes));
        for (int i = queue.take(); i >= 0; i = queue.take()) queue.put(i, converter.convert(i));
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

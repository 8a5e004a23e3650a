#include "cli_common.h"

#include <algorithm>
#include <csignal>
#include <iostream>
#include <streambuf>

#include "input_file.h"
#include "kivrel/record_writer.h"
#include "progress_bar.h"

#ifdef KIVREL_HAVE_PDF
#include "kivrel/pdf.h"
#endif

namespace Kivrel::cli {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) { stopSignal = signal; }

}  // namespace

bool startsLikePdf(std::string_view bytes) { return bytes.substr(0, 5) == "%PDF-"; }

void installInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  // Without SA_RESTART, so that a wait for input or a reader ends at once.
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction inherited {};
    sigaction(signal, nullptr, &inherited);
    // Ignored by whoever started us (nohup, a shell's background job): stays so.
    if (inherited.sa_handler != SIG_IGN) sigaction(signal, &action, nullptr);
  }
}

bool interrupted() { return stopSignal != 0; }

int stoppingSignal() { return stopSignal; }

void throwIfInterrupted() {
  if (interrupted()) throw Interrupted();
}

bool isStdin(const std::string& path) { return path.empty() || path == "-"; }

std::string displayName(const std::string& path) { return isStdin(path) ? "<stdin>" : path; }

std::string readWholeInput(const std::string& path, bool quiet) {
  return InputFile(path).readAll(quiet);
}

void flushStandardOutput() {
  std::cout.flush();
  if (!std::cout) {
    throwIfInterrupted();  // a write that a stop signal broke off
    throw CommandError("<stdout>: write error");
  }
}

#ifdef KIVREL_HAVE_PDF
namespace {

// Collects the record stream in a string the caller takes over. Room for
// the likely size is reserved up front: pages of it that the stream never
// reaches are never touched, while growing a buffer of many megabytes would
// copy it and fault in fresh memory each time.
class RecordSink : public std::streambuf {
 public:
  explicit RecordSink(std::size_t pdfSize) {
    // Converted text runs to 4 to 25 times the size of the PDF.
    constexpr std::size_t kExpectedGrowth = 16;
    constexpr std::size_t kMaxReserve = std::size_t{256} << 20;
    records_.reserve(std::min(pdfSize, kMaxReserve / kExpectedGrowth) * kExpectedGrowth);
  }
  std::string take() { return std::move(records_); }

 protected:
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    records_.append(data, static_cast<std::size_t>(count));
    return count;
  }
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) records_ += traits_type::to_char_type(c);
    return traits_type::not_eof(c);
  }

 private:
  std::string records_;
};

}  // namespace

std::string convertPdfInMemory(const std::string& pdf, const std::string& name, bool quiet) {
  try {
    const int pageCount = pdfPageCount(pdf);
    ProgressBar bar("converting " + name, static_cast<std::uint64_t>(pageCount), quiet);
    RecordSink sink(pdf.size());
    std::ostream records(&sink);
    convertPdfToRecords(pdf, records, [&](int done, int) {
      bar.update(static_cast<std::uint64_t>(done));
      return !interrupted();
    });
    return sink.take();
  } catch (const PdfCancelled&) {
    throw Interrupted();
  } catch (const PdfError& e) {
    throw CommandError(name + ": cannot read the PDF: " + e.what());
  }
}
#endif

void checkRecordStreamHead(InputFile& input) {
  const std::string_view head = input.head(4);
  if (head.empty() || opensRecordStream(head)) return;
  // Only on the way to the error: a JSON description may open with much
  // white space before its '{'.
  constexpr std::size_t kJsonSearchBytes = 1 << 20;
  const std::string_view start = input.head(kJsonSearchBytes);
  const std::size_t first = start.find_first_not_of(" \t\r\n");
  const bool json = first != std::string::npos && start[first] == '{';
  throw CommandError(input.name() +
                     ": not a record stream (it does not open with a Section record; " +
                     (json ? "a JSON document description becomes one with 'kivrel compile'"
                           : "'kivrel dump' shows what it holds") +
                     ")");
}

void noteNothingToOutline(const std::string& name, bool pdf) {
  // Not an error, but most often a failed download or conversion.
  std::cerr << "kivrel: " << name << ": " << (pdf ? "the PDF has no pages" : "empty input")
            << ", so there is nothing to outline\n";
}

}  // namespace Kivrel::cli

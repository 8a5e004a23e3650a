// One extraction run from Python: input bytes (record stream or PDF), the
// progress callback, the log and the per-paragraph verdicts.
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <istream>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bindings.h"
#include "kivrel/kivrel.h"
#include "kivrel/log_decoder.h"
#include "kivrel/quality.h"
#include "sources.h"
#ifdef KIVREL_PYTHON_WITH_PDF
#include "kivrel/pdf.h"
#endif

namespace Kivrel::python {

namespace {

constexpr std::string_view kPdfMagic = "%PDF-";

// Read-only, seekable view of bytes that the caller keeps alive; spares a copy
// of the document.
class MemoryBuffer : public std::streambuf {
 public:
  MemoryBuffer(const char* data, std::size_t size) {
    char* begin = const_cast<char*>(data);  // never written through: no put area
    setg(begin, begin, begin + size);
  }

 protected:
  pos_type seekoff(off_type offset, std::ios_base::seekdir dir,
                   std::ios_base::openmode which) override {
    if (!(which & std::ios_base::in)) return pos_type(off_type(-1));
    const char* base = dir == std::ios_base::beg   ? eback()
                       : dir == std::ios_base::cur ? gptr()
                                                   : egptr();
    const off_type target = (base - eback()) + offset;
    if (target < 0 || target > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
  }
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }
};

// Calls the Python callback as progress(stage, done, total). Any value but an
// explicit falsy one (None counts as "go on") continues; an exception from the
// callback stops the run and is raised again once the library has returned.
class ProgressBridge : public KivProgressHandler {
 public:
  explicit ProgressBridge(py::object callback) : callback_(std::move(callback)) {}
  ProgressBridge(const ProgressBridge&) = delete;
  ProgressBridge& operator=(const ProgressBridge&) = delete;
  ~ProgressBridge() override {
    py::gil_scoped_acquire gil;
    callback_ = py::object();
  }

  // Called with the GIL released.
  bool poll(const char* stage, int done, int total) {
    if (stopped_) return false;
    py::gil_scoped_acquire gil;
    try {
      py::object answer = callback_(stage, done, total);
      if (!answer.is_none() && !PyObject_IsTrue(answer.ptr())) stopped_ = true;
      if (PyErr_Occurred()) throw py::error_already_set();
    } catch (...) {
      failure_ = std::current_exception();
      stopped_ = true;
    }
    return !stopped_;
  }

  int onProgress() override { return poll("outline", ++polls_, kPolls) ? 0 : -1; }

  // With the GIL held: raises what the callback raised, else Cancelled when it
  // asked to stop.
  void raiseIfStopped() {
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    if (stopped_) throw Cancelled();
  }

 private:
  static constexpr int kPolls = 3;
  py::object callback_;
  int polls_ = 0;
  bool stopped_ = false;
  std::exception_ptr failure_;
};

// Passes the log to a Python file object as the run goes: its bytes, or for a
// text file their UTF-8 decoding, in blocks. Used with the GIL released; takes
// it for each block. An exception from write() ends the passing on and is
// raised again once the library has returned.
class LogBridge : public KivLogBuffer {
 public:
  LogBridge(py::object target, bool text)
      : KivLogBuffer(text), target_(std::move(target)), text_(text) {}
  ~LogBridge() override {
    py::gil_scoped_acquire gil;
    target_ = py::object();
  }

 protected:
  void deliver(std::string_view raw, std::string_view utf8) override {
    py::gil_scoped_acquire gil;
    if (!text_) {
      target_.attr("write")(py::bytes(raw.data(), raw.size()));
    } else if (!utf8.empty()) {
      target_.attr("write")(py::str(utf8.data(), utf8.size()));
    }
  }

 private:
  py::object target_;
  bool text_;
};

class VerdictCollector : public KivVerdictHandler {
 public:
  void onVerdict(const KivParagraphVerdict& verdict) override { verdicts.push_back(verdict); }
  std::vector<KivParagraphVerdict> verdicts;
};

// The front end's own test when it is built, so that the command line and
// this module agree on what a PDF is.
bool looksLikePdfBytes(std::string_view data) {
#ifdef KIVREL_PYTHON_WITH_PDF
  return looksLikePdf(data);
#else
  return data.substr(0, kPdfMagic.size()) == kPdfMagic;
#endif
}

// As the command line does: the library would read any bytes as an empty
// document, which hides a wrong file.
void checkRecordStreamHead(std::string_view head) {
  if (!head.empty() && !opensRecordStream(head)) {
    throw Error("not a record stream (it does not open with a Section record)");
  }
}

// PDF bytes to a record stream; runs without the GIL.
std::string pdfToRecords(std::string_view data, ProgressBridge* progress) {
#ifdef KIVREL_PYTHON_WITH_PDF
  std::ostringstream records(std::ios::binary);
  PdfProgress onPage;
  if (progress) {
    onPage = [progress](int done, int count) { return progress->poll("pdf", done, count); };
  }
  try {
    convertPdfToRecords(data, records, onPage);
  } catch (const PdfCancelled&) {
    // The bridge knows whether the callback asked to stop or raised.
    throw Cancelled();
  } catch (const PdfError& e) {
    throw Error(std::string("unreadable PDF: ") + e.what());
  }
  return std::move(records).str();
#else
  (void)data;
  (void)progress;
  throw Error("PDF input needs the PDF front end, which this build of kivrel lacks");
#endif
}

py::dict verdictToDict(const KivParagraphVerdict& v) {
  py::dict d;
  d["page"] = v.pageNo;
  d["index"] = v.paragraphIndex;
  d["cx"] = v.cx;
  d["cy"] = v.cy;
  d["char_size"] = v.charSize;
  d["style_flags"] = v.styleFlags;
  d["table_cells"] = v.tableCells;
  d["accepted"] = v.accepted;
  d["value"] = v.value;
  d["reason_text"] = v.accepted ? std::string() : std::string(describeReasonCode(v.value));
  d["text"] = toUtf8(v.text);
  return d;
}

py::dict qualityToDict(const KivQualityVerdict& q) {
  py::dict d = verdictToDict(q.exact);
  py::dict quality;
  quality["accepted"] = q.accepted;
  quality["level"] = q.level;
  quality["reason"] = q.reason ? py::object(py::int_(q.reason)) : py::none();
  quality["reason_text"] = q.reason ? std::string(describeQualityReason(q.reason)) : std::string();
  quality["text"] = toUtf8(q.text);
  d["quality"] = quality;
  return d;
}

// Returns {"items": [(page, point, text, cx, cy, level)...], "verdicts":
// [dict...]|None, "pages": int|None, "mode": "exact"|"quality"}. The document
// is data, the file at path, or the binary file object file. The log, when
// logTarget is a file object, is written to it as the run goes (decoded to
// text with logText). level is 0 in the exact mode (the caller ranks the
// points). mode "auto" picks the quality mode for PDF input, as the kivrel
// command does.
py::dict run(const std::optional<py::bytes>& data, const KivSettings& settingsIn,
             const py::object& progress, const py::object& logTarget, bool logText,
             bool wantVerdicts, bool wantPages, const std::string& mode,
             const std::optional<std::string>& path, const py::object& fileObject) {
  if (mode != "auto" && mode != "exact" && mode != "quality") {
    throw py::value_error("mode must be 'auto', 'exact' or 'quality'");
  }
  if (data.has_value() + path.has_value() + !fileObject.is_none() != 1) {
    throw py::type_error("give one of data, path and file");
  }
  KivSettings settings = settingsIn;  // the run rewrites excludePages
  KivOutlineList outline;
  std::optional<LogBridge> logBridge;
  if (!logTarget.is_none()) logBridge.emplace(logTarget, logText);
  std::optional<std::ostream> log;
  if (logBridge) log.emplace(&*logBridge);
  VerdictCollector verdicts;
  std::vector<KivQualityVerdict> qualityVerdicts;
  bool quality = mode == "quality";
  std::optional<ProgressBridge> bridge;
  if (!progress.is_none()) bridge.emplace(progress);
  int status = 0;
  RecordPageCounter pageCounter;
  int pages = -1;
  std::exception_ptr failure;
  std::optional<FileObjectSource> fileObjectSource;
  if (!fileObject.is_none()) fileObjectSource.emplace(fileObject);  // holds a reference
  std::optional<FileSource> fileSource;
  {
    py::gil_scoped_release release;
    try {
      BlockSource* source = nullptr;  // the document read as the run goes
      if (path) {
        source = &fileSource.emplace(*path);
      } else if (fileObjectSource) {
        source = &*fileObjectSource;
      }
      std::string whole;
      std::string_view bytes;  // the document held whole: data or a PDF
      if (data) bytes = *data;  // data outlives the run
      const bool pdf = looksLikePdfBytes(source ? source->head(kPdfMagic.size()) : bytes);
      if (pdf && source) bytes = whole = source->readAll();
      if (!pdf) checkRecordStreamHead(source ? source->head(4) : bytes);

      std::string converted;
      if (pdf) converted = pdfToRecords(bytes, bridge ? &*bridge : nullptr);
      const std::string_view records = pdf ? converted : bytes;
      MemoryBuffer buffer(records.data(), records.size());
      std::istream inMemory(&buffer);
      std::optional<std::istream> streamed;
      if (source && !pdf) streamed.emplace(source);
      std::istream& input = streamed ? *streamed : inMemory;
      if (wantPages && !pdf) {
        // Counted from the bytes the extraction reads, in the same pass.
        if (streamed) {
          source->countPagesWith(&pageCounter);
        } else {
          pageCounter.feed(records);
        }
      }
      Kivrant extractor;
      if (log) extractor.setLogStream(&*log);
      if (bridge) extractor.setProgressHandler(&*bridge);
      quality = quality || (mode == "auto" && pdf);
      if (quality) {
        status = extractQuality(extractor, input, outline, &settings, &qualityVerdicts);
      } else {
        if (wantVerdicts) extractor.setVerdictHandler(&verdicts);
        status = extractor.extract(input, outline, &settings);
      }
      if (wantPages) {
#ifdef KIVREL_PYTHON_WITH_PDF
        pages = pdf ? pdfPageCount(bytes) : pageCounter.pages();
#else
        pages = pageCounter.pages();
#endif
      }
    } catch (const Cancelled&) {
      status = -1;
    } catch (const Error&) {
      failure = std::current_exception();
    } catch (const OsError&) {
      failure = std::current_exception();
    } catch (const py::error_already_set&) {
      failure = std::current_exception();  // a signal handler's exception
    } catch (const std::exception& e) {
      failure = std::make_exception_ptr(Error(std::string("extraction failed: ") + e.what()));
    }
    if (logBridge) logBridge->finish();  // a failed run's log too, as far as it got
  }
  if (bridge) bridge->raiseIfStopped();
  if (logBridge) logBridge->rethrowIfFailed();
  if (fileSource) fileSource->raiseIfFailed();
  if (fileObjectSource) fileObjectSource->raiseIfFailed();
  if (failure) std::rethrow_exception(failure);
  if (status == -1) throw Cancelled();

  std::vector<int> levels;  // the n-th kept quality verdict is the n-th item
  for (const KivQualityVerdict& q : qualityVerdicts) {
    if (q.accepted) levels.push_back(q.level);
  }
  py::list items;
  for (std::size_t i = 0; i < outline.items.size(); ++i) {
    const KivOutlineItem* item = outline.items[i];
    items.append(py::make_tuple(item->pageNo, item->point, toUtf8(item->text), item->cx,
                                item->cy, i < levels.size() ? levels[i] : 0));
  }
  py::dict out;
  out["items"] = items;
  if (wantVerdicts) {
    py::list list;
    for (const KivParagraphVerdict& v : verdicts.verdicts) list.append(verdictToDict(v));
    for (const KivQualityVerdict& q : qualityVerdicts) list.append(qualityToDict(q));
    out["verdicts"] = list;
  } else {
    out["verdicts"] = py::none();
  }
  out["pages"] = wantPages ? py::object(py::int_(pages)) : py::none();
  out["mode"] = quality ? "quality" : "exact";
  return out;
}

}  // namespace

void bindExtract(py::module_& m) {
  m.def("run", &run, py::arg("data"), py::arg("settings"), py::arg("progress") = py::none(),
        py::arg("log") = py::none(), py::arg("log_text") = false, py::arg("want_verdicts") = false,
        py::arg("want_pages") = false, py::arg("mode") = "exact", py::arg("path") = py::none(),
        py::arg("file") = py::none(),
        "Extracts the outline of a record stream or PDF: data (bytes), the file at path,\n"
        "or the binary file object file.");
#ifdef KIVREL_PYTHON_WITH_PDF
  m.attr("HAVE_PDF") = true;
#else
  m.attr("HAVE_PDF") = false;
#endif
}

}  // namespace Kivrel::python

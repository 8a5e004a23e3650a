// The _kivrel extension module: exceptions, settings, page ranges and reason
// codes. The pure-Python package kivrel wraps it.
#include <pybind11/stl.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bindings.h"
#include "sources.h"
#include "kivrel/kivrel.h"
#include "kivrel/quality.h"

namespace Kivrel::python {

std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

icu::UnicodeString fromUtf8(const std::string& text) {
  return icu::UnicodeString::fromUTF8(text);
}

namespace {

// Ascending (first page, last page) pairs; last -1 means through the end.
std::vector<std::pair<int, int>> parsePageRanges(const std::string& text) {
  icu::UnicodeString ranges = fromUtf8(text);
  KivMap map;
  {
    py::gil_scoped_release release;
    Kivrant::analyzePageArea(ranges, map);
  }
  std::vector<std::pair<int, int>> out;
  map.setFirst();
  int first = 0;
  int last = 0;
  while (map.getNext(first, last)) out.emplace_back(first, last);
  return out;
}

}  // namespace

}  // namespace Kivrel::python

PYBIND11_MODULE(_kivrel, m) {
  namespace py = pybind11;
  using namespace Kivrel::python;
  m.doc() = "Native core of the kivrel package; use the kivrel package instead.";

  auto& error = py::register_exception<Error>(m, "Error", PyExc_Exception);
  error.doc() = "A document could not be processed; the message gives the reason.";
  auto& cancelled = py::register_exception<Cancelled>(m, "Cancelled", error.ptr());
  cancelled.doc() = "The progress callback returned False.";
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const OsError& e) {
      const py::object name = py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefaultAndSize(
          e.path().data(), static_cast<Py_ssize_t>(e.path().size())));
      if (!name) return;  // the decoding error is set instead
      errno = e.code();
      PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, name.ptr());
    }
  });

  m.def("parse_page_ranges", &parsePageRanges, py::arg("text"),
        "Parses a page-range string such as '1-3,5,10-' into ascending (first, last) pairs;\n"
        "last is -1 for a range that runs through the last page.");
  m.def(
      "describe_reason",
      [](int code) { return std::string(Kivrel::describeQualityReason(code)); },
      py::arg("code"), "Words for a reason code (exact or quality mode); '' for unknown codes.");
  m.def(
      "decode_log", [](const py::bytes& data) { return Kivrel::logToUtf8(std::string_view(data)); },
      py::arg("data"), "The log's Shift-JIS bytes as text.");
  m.attr("VERSION") = KIVREL_VERSION_STRING;

  bindSettings(m);
  bindExtract(m);
  bindRecordWriter(m);
}

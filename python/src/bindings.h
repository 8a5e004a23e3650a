// Pieces of the _kivrel extension module shared between its source files.
#ifndef KIVREL_PYTHON_BINDINGS_H_
#define KIVREL_PYTHON_BINDINGS_H_

#include <pybind11/pybind11.h>
#include <unicode/unistr.h>

#include <stdexcept>
#include <string>

namespace Kivrel::python {

namespace py = pybind11;

// Translated to kivrel.Error.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Translated to kivrel.Cancelled (a subclass of kivrel.Error).
class Cancelled : public std::runtime_error {
 public:
  Cancelled() : std::runtime_error("cancelled by the progress callback") {}
};

// Library text as UTF-8; unpaired surrogates become U+FFFD.
std::string toUtf8(const icu::UnicodeString& text);
icu::UnicodeString fromUtf8(const std::string& text);

void bindSettings(py::module_& m);
void bindExtract(py::module_& m);
void bindRecordWriter(py::module_& m);

}  // namespace Kivrel::python

#endif  // KIVREL_PYTHON_BINDINGS_H_

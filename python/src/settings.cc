// kivrel.Settings: KivSettings with keyword arguments and named flag switches.
#include <pybind11/stl.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <sstream>

#include "bindings.h"
#include "kivrel/settings.h"

namespace Kivrel::python {

namespace {

struct NamedFlag {
  const char* name;
  KivFlag bit;
};

// The Python names of the flag bits, in bit order.
constexpr NamedFlag kNamedFlags[] = {
    {"keep_sentences", kKeepSentences},       {"keep_commas", kKeepCommas},
    {"keep_parenthesised", kKeepParenthesised}, {"detect_title", kDetectTitle},
    {"toc_document", kTocDocument},           {"indent_refinement", kIndentRefinement},
};

int checkedInt(long long value, const char* name, long long lowest) {
  if (value < lowest || value > std::numeric_limits<std::int32_t>::max()) {
    std::ostringstream message;
    message << name << " must be in [" << lowest << ", "
            << std::numeric_limits<std::int32_t>::max() << "], got " << value;
    throw py::value_error(message.str());
  }
  return static_cast<int>(value);
}

void setFlag(KivSettings& settings, KivFlag bit, bool on) {
  settings.flags = on ? (settings.flags | bit) : (settings.flags & ~bit);
}

using OptBool = std::optional<bool>;

KivSettings makeSettings(const std::string& excludePages, long long maxLength, long long flags,
                         long long pageOffset, OptBool keepSentences, OptBool keepCommas,
                         OptBool keepParenthesised, OptBool detectTitle, OptBool tocDocument,
                         OptBool indentRefinement) {
  KivSettings settings;
  settings.excludePages = fromUtf8(excludePages);
  settings.maxLength = checkedInt(maxLength, "max_length", 0);
  settings.flags = checkedInt(flags, "flags", 0);
  settings.pageOffset =
      checkedInt(pageOffset, "page_offset", std::numeric_limits<std::int32_t>::min());
  // Named switches win over the bits of flags.
  const OptBool named[] = {keepSentences, keepCommas,  keepParenthesised,
                           detectTitle,   tocDocument, indentRefinement};
  for (std::size_t i = 0; i < std::size(kNamedFlags); ++i) {
    if (named[i]) setFlag(settings, kNamedFlags[i].bit, *named[i]);
  }
  return settings;
}

std::string repr(const KivSettings& s) {
  std::ostringstream out;
  py::str pages = py::repr(py::str(toUtf8(s.excludePages)));
  out << "Settings(exclude_pages=" << std::string(pages) << ", max_length=" << s.maxLength
      << ", flags=" << s.flags << ", page_offset=" << s.pageOffset << ")";
  return out.str();
}

bool equal(const KivSettings& a, const KivSettings& b) {
  return a.excludePages == b.excludePages && a.maxLength == b.maxLength && a.flags == b.flags &&
         a.pageOffset == b.pageOffset;
}

}  // namespace

void bindSettings(py::module_& m) {
  const KivSettings defaults;
  py::class_<KivSettings> cls(m, "Settings",
                              "Options of one extraction; the defaults are the library's.");
  cls.def(py::init(&makeSettings), py::kw_only(),
          py::arg("exclude_pages") = toUtf8(defaults.excludePages),
          py::arg("max_length") = defaults.maxLength, py::arg("flags") = defaults.flags,
          py::arg("page_offset") = defaults.pageOffset,
          py::arg("keep_sentences") = py::none(), py::arg("keep_commas") = py::none(),
          py::arg("keep_parenthesised") = py::none(), py::arg("detect_title") = py::none(),
          py::arg("toc_document") = py::none(), py::arg("indent_refinement") = py::none());
  cls.def_property(
      "exclude_pages", [](const KivSettings& s) { return toUtf8(s.excludePages); },
      [](KivSettings& s, const std::string& v) { s.excludePages = fromUtf8(v); });
  cls.def_property(
      "max_length", [](const KivSettings& s) { return s.maxLength; },
      [](KivSettings& s, long long v) { s.maxLength = checkedInt(v, "max_length", 0); });
  cls.def_property(
      "flags", [](const KivSettings& s) { return s.flags; },
      [](KivSettings& s, long long v) { s.flags = checkedInt(v, "flags", 0); });
  cls.def_property(
      "page_offset", [](const KivSettings& s) { return s.pageOffset; },
      [](KivSettings& s, long long v) {
        s.pageOffset = checkedInt(v, "page_offset", std::numeric_limits<std::int32_t>::min());
      });
  for (const NamedFlag& named : kNamedFlags) {
    const KivFlag bit = named.bit;
    cls.def_property(
        named.name, [bit](const KivSettings& s) { return (s.flags & bit) != 0; },
        [bit](KivSettings& s, bool on) { setFlag(s, bit, on); });
  }
  cls.def("__repr__", &repr);
  cls.def("__eq__", [](const KivSettings& a, const KivSettings& b) { return equal(a, b); },
          py::is_operator());
  cls.def("__eq__", [](const KivSettings&, const py::object&) { return false; });
  cls.attr("__hash__") = py::none();
  cls.def("__copy__", [](const KivSettings& s) { return KivSettings(s); });
  cls.def("__deepcopy__", [](const KivSettings& s, py::dict) { return KivSettings(s); },
          py::arg("memo"));
  cls.def(py::pickle(
      [](const KivSettings& s) {
        return py::make_tuple(toUtf8(s.excludePages), s.maxLength, s.flags, s.pageOffset);
      },
      [](const py::tuple& t) {
        if (t.size() != 4) throw py::value_error("bad Settings state");
        KivSettings s;
        s.excludePages = fromUtf8(t[0].cast<std::string>());
        s.maxLength = t[1].cast<int>();
        s.flags = t[2].cast<int>();
        s.pageOffset = t[3].cast<int>();
        return s;
      }));
}

}  // namespace Kivrel::python

// kivrel.RecordWriter: builds record streams into bytes or a binary file object.
#include <pybind11/stl.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <sstream>
#include <string>

#include "bindings.h"
#include "kivrel/record_writer.h"

namespace Kivrel::python {

namespace {

// Owns the C++ writer and its buffer. With a target, every record is passed
// on to target.write() as soon as it is complete, so the buffer stays small.
class PyRecordWriter {
 public:
  explicit PyRecordWriter(py::object target)
      : target_(std::move(target)), buffer_(std::ios::binary), writer_(buffer_) {
    if (!target_.is_none() && !py::hasattr(target_, "write")) {
      throw py::type_error("RecordWriter target must be a binary file object or None");
    }
  }

  void section(std::int64_t width, std::int64_t height, std::uint32_t sectionFlags,
               std::uint32_t sectionOptions) {
    SectionFields f;
    f.width = int32(width, "width");
    f.height = int32(height, "height");
    f.sectionFlags = sectionFlags;
    f.sectionOptions = sectionOptions;
    writer_.section(f);
    passOn();
  }
  void tableRowFormat(std::int64_t cells) {
    writer_.tableRowFormat(int32(cells, "table_cells"));
    passOn();
  }
  void paragraphFormat(std::int64_t charSize, std::uint32_t flag, std::int64_t owflag,
                       std::int64_t charCount, std::int64_t fi, std::int64_t li,
                       std::int64_t ri, std::int64_t sb, std::int64_t sa) {
    ParagraphFormatFields f;
    f.charSize = int32(charSize, "char_size");
    f.flag = flag;
    f.owflag = int32(owflag, "owflag");
    f.charCount = int32(charCount, "char_count");
    f.fi = int32(fi, "fi");
    f.li = int32(li, "li");
    f.ri = int32(ri, "ri");
    f.sb = int32(sb, "sb");
    f.sa = int32(sa, "sa");
    writer_.paragraphFormat(f);
    passOn();
  }
  void characterFormat(std::int64_t charSize, bool bold, std::uint32_t flag, std::int64_t fontNo,
                       std::uint16_t word28, std::uint16_t word30, std::uint32_t value56,
                       std::uint32_t value100) {
    constexpr std::uint32_t kBold = 0x4;
    CharacterFormatFields f;
    f.charSize = int32(charSize, "char_size");
    f.flag = bold ? (flag | kBold) : flag;
    f.fontNo = int32(fontNo, "font_no");
    f.word28 = word28;
    f.word30 = word30;
    f.value56 = value56;
    f.value100 = value100;
    writer_.characterFormat(f);
    passOn();
  }
  // The exact UTF-16 code units of the str, unpaired surrogates included.
  void text(const py::str& text) {
    py::object encoded = py::reinterpret_steal<py::object>(
        PyUnicode_AsEncodedString(text.ptr(), "utf-16-le", "surrogatepass"));
    if (!encoded) throw py::error_already_set();
    const std::string_view bytes = py::bytes(encoded);
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
      units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    writer_.text(std::u16string_view(units));
    passOn();
  }
  void paragraphPosition(std::int64_t cx, std::int64_t cy) {
    writer_.paragraphPosition(int32(cx, "cx"), int32(cy, "cy"));
    passOn();
  }
  void raw(std::uint32_t type, const py::bytes& body, std::optional<std::uint32_t> length) {
    const std::string_view b = body;
    if (!length && b.size() > std::numeric_limits<std::uint32_t>::max()) {
      throw py::value_error("record body too large");
    }
    writer_.raw(type, length ? *length : static_cast<std::uint32_t>(b.size()), b.data(),
                b.size());
    passOn();
  }
  template <void (RecordWriter::*record)()>
  void simple() {
    (writer_.*record)();
    passOn();
  }

  py::bytes getvalue() const {
    if (!target_.is_none()) throw py::value_error("the records went to the target file");
    return py::bytes(buffer_.str());
  }
  std::uint64_t bytesWritten() const { return writer_.bytesWritten(); }

 private:
  static std::int32_t int32(std::int64_t v, const char* name) {
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max()) {
      throw py::value_error(std::string(name) + " does not fit a signed 32-bit field");
    }
    return static_cast<std::int32_t>(v);
  }

  void passOn() {
    if (target_.is_none()) return;
    target_.attr("write")(py::bytes(buffer_.str()));
    buffer_.str(std::string());
  }

  py::object target_;
  std::ostringstream buffer_;
  RecordWriter writer_;
};

}  // namespace

void bindRecordWriter(py::module_& m) {
  using W = PyRecordWriter;
  py::class_<W>(m, "RecordWriter",
                "Writes a record stream, the extractor's input, into bytes or a binary file.")
      .def(py::init<py::object>(), py::arg("target") = py::none())
      .def("section", &W::section, py::arg("width"), py::arg("height"), py::kw_only(),
           py::arg("section_flags") = 0u, py::arg("section_options") = 0u)
      .def("table_row_format", &W::tableRowFormat, py::arg("table_cells"))
      .def("paragraph_format", &W::paragraphFormat, py::arg("char_size") = 0, py::kw_only(),
           py::arg("flag") = 0u, py::arg("owflag") = 0, py::arg("char_count") = 0,
           py::arg("fi") = 0, py::arg("li") = 0, py::arg("ri") = 0, py::arg("sb") = 0,
           py::arg("sa") = 0)
      .def("character_format", &W::characterFormat, py::arg("char_size") = 0, py::kw_only(),
           py::arg("bold") = false, py::arg("flag") = 0u, py::arg("font_no") = 0,
           py::arg("word28") = 0, py::arg("word30") = 0, py::arg("value56") = 0u,
           py::arg("value100") = 0u)
      .def("text", &W::text, py::arg("text"))
      .def("paragraph_break", &W::simple<&RecordWriter::paragraphBreak>)
      .def("cell_end", &W::simple<&RecordWriter::cellEnd>)
      .def("table_row_end", &W::simple<&RecordWriter::tableRowEnd>)
      .def("line_break", &W::simple<&RecordWriter::lineBreak>)
      .def("page_break", &W::simple<&RecordWriter::pageBreak>)
      .def("tab", &W::simple<&RecordWriter::tab>)
      .def("paragraph_position", &W::paragraphPosition, py::arg("cx"), py::arg("cy"))
      .def("raw", &W::raw, py::arg("record_type"), py::arg("body") = py::bytes(),
           py::kw_only(), py::arg("record_length") = py::none())
      .def("getvalue", &W::getvalue, "The stream written so far (only without a target).")
      .def_property_readonly("bytes_written", &W::bytesWritten);
}

}  // namespace Kivrel::python

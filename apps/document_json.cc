#include "document_json.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kivrel/record_writer.h"

namespace Kivrel::cli {

namespace {

using Json = nlohmann::json;

// A4 in twips and 10.5 pt in half-points: what an unstyled document uses.
constexpr std::int32_t kDefaultWidth = 11906;
constexpr std::int32_t kDefaultHeight = 16838;
constexpr std::int32_t kDefaultSize = 21;
constexpr std::uint32_t kBoldFlag = 0x4;

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw DocumentError(path + ": " + what, 0, 0);
}

void checkKeys(const Json& object, const std::string& path,
               std::initializer_list<const char*> allowed) {
  if (!object.is_object()) fail(path, "expected an object");
  for (const auto& [key, value] : object.items()) {
    if (std::none_of(allowed.begin(), allowed.end(), [&](const char* a) { return key == a; }))
      fail(path, "unknown key \"" + key + "\"");
  }
}

std::optional<std::int64_t> optInt(const Json& object, const char* key, const std::string& path,
                                   std::int64_t min = std::numeric_limits<std::int32_t>::min(),
                                   std::int64_t max = std::numeric_limits<std::int32_t>::max()) {
  auto it = object.find(key);
  if (it == object.end()) return std::nullopt;
  if (!it->is_number_integer()) fail(path + "." + key, "expected an integer");
  const std::int64_t value = it->get<std::int64_t>();
  if (value < min || value > max)
    fail(path + "." + key, "out of range [" + std::to_string(min) + ", " + std::to_string(max) +
                               "]");
  return value;
}

std::optional<bool> optBool(const Json& object, const char* key, const std::string& path) {
  auto it = object.find(key);
  if (it == object.end()) return std::nullopt;
  if (!it->is_boolean()) fail(path + "." + key, "expected true or false");
  return it->get<bool>();
}

const Json* optArray(const Json& object, const char* key, const std::string& path) {
  auto it = object.find(key);
  if (it == object.end()) return nullptr;
  if (!it->is_array()) fail(path + "." + key, "expected an array");
  return &*it;
}

// Character properties; a run inherits what it does not set from its
// paragraph, and a paragraph from the document's defaults.
struct Style {
  std::int32_t size = kDefaultSize;
  std::int32_t font = 0;
  bool bold = false;
  std::uint32_t flags = 0;     // extra character-format flag bits
  std::uint32_t emphasis = 0;  // value56
};

Style readStyle(const Json& object, const std::string& path, Style base) {
  if (auto v = optInt(object, "size", path, 0)) base.size = static_cast<std::int32_t>(*v);
  if (auto v = optInt(object, "font", path)) base.font = static_cast<std::int32_t>(*v);
  if (auto v = optBool(object, "bold", path)) base.bold = *v;
  if (auto v = optInt(object, "flags", path, 0, 0xffffffffll)) base.flags = static_cast<std::uint32_t>(*v);
  if (auto v = optInt(object, "emphasis", path, 0, 0xffffffffll))
    base.emphasis = static_cast<std::uint32_t>(*v);
  return base;
}

class Compiler {
 public:
  explicit Compiler(std::ostream& out) : writer_(out) {}

  void document(const Json& root) {
    checkKeys(root, "document", {"defaults", "pages"});
    std::string path = "defaults";
    if (auto it = root.find("defaults"); it != root.end()) {
      checkKeys(*it, path, {"width", "height", "size", "font"});
      if (auto v = optInt(*it, "width", path, 1)) width_ = static_cast<std::int32_t>(*v);
      if (auto v = optInt(*it, "height", path, 1)) height_ = static_cast<std::int32_t>(*v);
      defaults_ = readStyle(*it, path, defaults_);
    }
    const Json* pages = optArray(root, "pages", "document");
    if (!pages) fail("document", "missing \"pages\"");
    for (std::size_t i = 0; i < pages->size(); ++i)
      page((*pages)[i], "pages[" + std::to_string(i) + "]", i == 0);
  }

 private:
  void page(const Json& page, const std::string& path, bool first) {
    checkKeys(page, path, {"width", "height", "special", "start", "blocks"});
    std::string start = "section";
    if (auto it = page.find("start"); it != page.end()) {
      if (!it->is_string() || (*it != "section" && *it != "pageBreak"))
        fail(path + ".start", "expected \"section\" or \"pageBreak\"");
      start = it->get<std::string>();
    }
    if (start == "pageBreak") {
      if (first) fail(path + ".start", "the first page must start with a section");
      for (const char* key : {"width", "height", "special"})
        if (page.contains(key))
          fail(path + "." + key, "a page started by a page break keeps the previous page's size");
      writer_.pageBreak();
    } else {
      SectionFields section;
      // At least 1: a section of zero size reads as no page at all.
      section.width = static_cast<std::int32_t>(optInt(page, "width", path, 1).value_or(width_));
      section.height = static_cast<std::int32_t>(optInt(page, "height", path, 1).value_or(height_));
      if (optBool(page, "special", path).value_or(false)) section.sectionFlags |= kSpecialSectionFlag;
      writer_.section(section);
    }
    if (const Json* blocks = optArray(page, "blocks", path)) {
      for (std::size_t i = 0; i < blocks->size(); ++i)
        block((*blocks)[i], path + ".blocks[" + std::to_string(i) + "]");
    }
  }

  void block(const Json& block, const std::string& path) {
    if (block.is_string()) {
      paragraph(Json{{"text", block}}, path, false);
    } else if (block.is_object() && block.contains("table")) {
      checkKeys(block, path, {"table"});
      table(block["table"], path + ".table");
    } else if (block.is_object() && block.contains("raw")) {
      checkKeys(block, path, {"raw"});
      raw(block["raw"], path + ".raw");
    } else {
      paragraph(block, path, false);
    }
  }

  void paragraph(const Json& p, const std::string& path, bool inCell) {
    checkKeys(p, path, {"text", "runs", "x", "y", "size", "bold", "font", "flags", "emphasis"});
    const Style style = readStyle(p, path, defaults_);
    ParagraphFormatFields format;
    format.charSize = style.size;
    writer_.paragraphFormat(format);
    const auto x = optInt(p, "x", path), y = optInt(p, "y", path);
    if (x || y)
      writer_.paragraphPosition(static_cast<std::int32_t>(x.value_or(0)),
                                static_cast<std::int32_t>(y.value_or(0)));
    const bool hasText = p.contains("text"), hasRuns = p.contains("runs");
    if (hasText && hasRuns) fail(path, "give either \"text\" or \"runs\", not both");
    if (hasText) {
      if (!p["text"].is_string()) fail(path + ".text", "expected a string");
      run(p["text"].get<std::string>(), style);
    } else if (const Json* runs = optArray(p, "runs", path)) {
      for (std::size_t i = 0; i < runs->size(); ++i) {
        const std::string runPath = path + ".runs[" + std::to_string(i) + "]";
        const Json& r = (*runs)[i];
        if (r.is_string()) {
          run(r.get<std::string>(), style);
          continue;
        }
        checkKeys(r, runPath, {"text", "size", "bold", "font", "flags", "emphasis"});
        auto text = r.find("text");
        if (text == r.end() || !text->is_string()) fail(runPath + ".text", "expected a string");
        run(text->get<std::string>(), readStyle(r, runPath, style));
      }
    }
    if (inCell) writer_.cellEnd();
  }

  // Tabs and line breaks inside the text become their own records; after a
  // line break the character format is repeated, since the reader starts a
  // new paragraph there.
  void run(const std::string& text, const Style& style) {
    CharacterFormatFields format;
    format.flag = style.flags | (style.bold ? kBoldFlag : 0);
    format.fontNo = style.font;
    format.charSize = style.size;
    format.value56 = style.emphasis;
    writer_.characterFormat(format);
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
      if (i < text.size() && text[i] != '\t' && text[i] != '\n') continue;
      if (i > begin) writer_.textUtf8(std::string_view(text).substr(begin, i - begin));
      if (i < text.size()) {
        if (text[i] == '\t') {
          writer_.tab();
        } else {
          writer_.lineBreak();
          writer_.characterFormat(format);
        }
      }
      begin = i + 1;
    }
  }

  void table(const Json& t, const std::string& path) {
    checkKeys(t, path, {"rows"});
    const Json* rows = optArray(t, "rows", path);
    if (!rows) fail(path, "missing \"rows\"");
    for (std::size_t i = 0; i < rows->size(); ++i) {
      const std::string rowPath = path + ".rows[" + std::to_string(i) + "]";
      const Json& row = (*rows)[i];
      checkKeys(row, rowPath, {"cells"});
      const Json* cells = optArray(row, "cells", rowPath);
      if (!cells) fail(rowPath, "missing \"cells\"");
      writer_.tableRowFormat(static_cast<std::int32_t>(cells->size()));
      for (std::size_t j = 0; j < cells->size(); ++j) {
        const Json& cell = (*cells)[j];
        const std::string cellPath = rowPath + ".cells[" + std::to_string(j) + "]";
        paragraph(cell.is_string() ? Json{{"text", cell}} : cell, cellPath, true);
      }
      writer_.tableRowEnd();
    }
  }

  void raw(const Json& r, const std::string& path) {
    checkKeys(r, path, {"type", "length", "hex"});
    const auto type = optInt(r, "type", path, 0, 0xffffffffll);
    if (!type) fail(path, "missing \"type\"");
    std::string body;
    if (auto it = r.find("hex"); it != r.end()) {
      if (!it->is_string()) fail(path + ".hex", "expected a string of hex digits");
      const std::string hex = it->get<std::string>();
      if (hex.size() % 2) fail(path + ".hex", "odd number of hex digits");
      for (std::size_t i = 0; i < hex.size(); i += 2) {
        const std::string pair = hex.substr(i, 2);
        if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
          fail(path + ".hex", "not a hex digit in \"" + pair + "\"");
        body.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
      }
    }
    const auto length = optInt(r, "length", path, 0, 0xffffffffll);
    writer_.raw(static_cast<std::uint32_t>(*type),
                static_cast<std::uint32_t>(length.value_or(static_cast<std::int64_t>(body.size()))),
                body.data(), body.size());
  }

  RecordWriter writer_;
  std::int32_t width_ = kDefaultWidth;
  std::int32_t height_ = kDefaultHeight;
  Style defaults_;
};

// Line and column (from 1) of the byte at offset, counting columns in bytes.
std::pair<int, int> lineAndColumn(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  int line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  return {line, static_cast<int>(offset - lineStart) + 1};
}

// Refuses a key given twice in one object, which the parser would otherwise
// settle silently by keeping the last. Follows the path to name the object.
class DuplicateKeyCheck {
 public:
  bool operator()(int, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
      case Json::parse_event_t::array_start:
        frames_.emplace_back();
        frames_.back().array = event == Json::parse_event_t::array_start;
        break;
      case Json::parse_event_t::key: {
        Frame& top = frames_.back();
        top.key = parsed.get<std::string>();
        if (!top.keys.insert(top.key).second) fail(path(), "duplicate key \"" + top.key + "\"");
        break;
      }
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end:
        frames_.pop_back();
        elementDone();
        break;
      case Json::parse_event_t::value:
        elementDone();
        break;
    }
    return true;
  }

 private:
  struct Frame {
    bool array = false;
    std::size_t index = 0;
    std::string key;
    std::set<std::string> keys;
  };

  void elementDone() {
    if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
  }
  // The innermost object's path, as the structure checks write it.
  std::string path() const {
    std::string out;
    for (std::size_t i = 0; i + 1 < frames_.size(); ++i) {
      const Frame& f = frames_[i];
      if (f.array) {
        out += "[" + std::to_string(f.index) + "]";
      } else {
        out += (out.empty() ? "" : ".") + f.key;
      }
    }
    return out.empty() ? "document" : out;
  }

  std::vector<Frame> frames_;
};

}  // namespace

void compileDocument(std::string_view json, std::ostream& out) {
  Json root;
  try {
    root = Json::parse(json.begin(), json.end(), DuplicateKeyCheck());
  } catch (const Json::parse_error& e) {
    // e.byte counts the characters read, the offending one included.
    const auto [line, column] = lineAndColumn(json, e.byte > 0 ? e.byte - 1 : 0);
    std::string what = e.what();
    // Keep nlohmann's explanation after its "parse error at ...: " preamble.
    const std::size_t colon = what.find(": ", what.find("parse error"));
    if (colon != std::string::npos) what = what.substr(colon + 2);
    throw DocumentError(what, line, column);
  }
  Compiler(out).document(root);
}

}  // namespace Kivrel::cli

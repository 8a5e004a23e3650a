#include "outline_format.h"

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <map>

namespace Kivrel::cli {

namespace {

// Deeper levels are indented as this one: a stream whose every heading has a
// level of its own would otherwise make the output grow with the square of
// its headings. JSON and TSV keep the exact level.
constexpr int kDeepestIndentedLevel = 16;

void writeTree(std::ostream& out, const std::vector<OutlineEntry>& entries) {
  int widest = 1;
  for (const OutlineEntry& e : entries)
    widest = std::max<int>(widest, static_cast<int>(std::to_string(e.page).size()));
  for (const OutlineEntry& e : entries) {
    const std::string page = std::to_string(e.page);
    out << std::string(static_cast<std::size_t>(widest) - page.size(), ' ') << page << "  "
        << std::string(2 * (std::clamp(e.level, 1, kDeepestIndentedLevel) - 1), ' ')
        << withVisibleControls(e.text, false) << '\n';
  }
}

void writeJson(std::ostream& out, int result, const std::vector<OutlineEntry>& entries) {
  nlohmann::ordered_json items = nlohmann::ordered_json::array();
  for (const OutlineEntry& e : entries) {
    items.push_back({{"page", e.page}, {"point", e.point}, {"level", e.level},
                     {"text", e.text}, {"cx", e.cx}, {"cy", e.cy}});
  }
  nlohmann::ordered_json doc = {{"result", result}, {"items", items}};
  out << doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

void writeTsv(std::ostream& out, const std::vector<OutlineEntry>& entries) {
  out << "page\tpoint\tlevel\tcx\tcy\ttext\n";
  for (const OutlineEntry& e : entries) {
    out << e.page << '\t' << e.point << '\t' << e.level << '\t' << e.cx << '\t' << e.cy << '\t'
        << withVisibleControls(e.text, true) << '\n';
  }
}

std::string markdownText(const std::string& text) {
  std::string escaped;
  for (char c : withVisibleControls(text, false)) {
    if (std::string_view("\\`*_[]<>#|").find(c) != std::string_view::npos) escaped += '\\';
    escaped += c;
  }
  return escaped;
}

void writeMarkdown(std::ostream& out, const std::vector<OutlineEntry>& entries) {
  // A list item nests at most one level below the one before: a deeper
  // indent would turn it into a code block. So the first item stands at the
  // left whatever its level, and a jump of several levels nests by one.
  int depth = -1;
  for (const OutlineEntry& e : entries) {
    depth = std::min(e.level - 1, depth + 1);
    out << std::string(static_cast<std::size_t>(2 * depth), ' ') << "- " << markdownText(e.text)
        << " (p. " << e.page << ")\n";
  }
}

}  // namespace

std::string withVisibleControls(const std::string& utf8, bool escapeBackslash) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    unsigned control = 0x100;  // none
    if (c < 0x20 || c == 0x7F) {
      control = c;
    } else if (c == 0xC2 && i + 1 < utf8.size()) {
      const auto next = static_cast<unsigned char>(utf8[i + 1]);
      if (next >= 0x80 && next <= 0x9F) {
        control = next;
        ++i;
      }
    }
    switch (control) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case 0x100:
        if (c == '\\' && escapeBackslash) out += '\\';
        out += static_cast<char>(c);
        break;
      default:
        out += "\\x";
        out += kHex[control >> 4];
        out += kHex[control & 0xF];
    }
  }
  return out;
}

std::vector<OutlineEntry> toEntries(KivOutlineList& list) {
  // point -> level: the highest point is level 1. A map, so that every item
  // finds its level in logarithmic time even when each has a point of its own.
  std::map<int, int, std::greater<int>> levelOf;
  for (int i = 0; i < list.getCount(); ++i) levelOf.emplace(list.getAt(i)->getPoint(), 0);
  int next = 1;
  for (auto& entry : levelOf) entry.second = next++;
  std::vector<OutlineEntry> entries;
  for (int i = 0; i < list.getCount(); ++i) {
    KivOutlineItem* item = list.getAt(i);
    const int point = item->getPoint();
    const int level = levelOf.at(point);
    std::string text;
    item->getString().toUTF8String(text);
    entries.push_back({item->getPageNo(), point, level, text, item->getCx(), item->getCy()});
  }
  return entries;
}

void writeOutline(std::ostream& out, OutlineFormat format, int result,
                  const std::vector<OutlineEntry>& entries) {
  switch (format) {
    case OutlineFormat::kTree: writeTree(out, entries); break;
    case OutlineFormat::kJson: writeJson(out, result, entries); break;
    case OutlineFormat::kTsv: writeTsv(out, entries); break;
    case OutlineFormat::kMarkdown: writeMarkdown(out, entries); break;
  }
}

}  // namespace Kivrel::cli

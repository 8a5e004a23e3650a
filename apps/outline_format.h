// Printing an outline as a tree, JSON, TSV or a Markdown list.
#ifndef KIVREL_APPS_OUTLINE_FORMAT_H_
#define KIVREL_APPS_OUTLINE_FORMAT_H_

#include <ostream>
#include <string>
#include <vector>

#include "kivrel/outline.h"

namespace Kivrel::cli {

struct OutlineEntry {
  int page;
  int point;
  int level;  // 1 for the highest point of this outline
  std::string text;  // UTF-8
  long cx;
  long cy;
};

enum class OutlineFormat { kTree, kJson, kTsv, kMarkdown };

// The list's items with their levels: the rank of each item's point among
// the distinct points of the list, highest first.
std::vector<OutlineEntry> toEntries(KivOutlineList& list);

// Text for a terminal or a one-line field. Control characters would reach a
// terminal as commands (a PDF can carry escape sequences) and break the one
// line per entry: they are written as \t, \n, \r or \xHH (C1 controls by
// their code point), and with escapeBackslash a backslash as \\, so that a
// TSV cell reads back exactly.
std::string withVisibleControls(const std::string& utf8, bool escapeBackslash);

void writeOutline(std::ostream& out, OutlineFormat format, int result,
                  const std::vector<OutlineEntry>& entries);

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_OUTLINE_FORMAT_H_

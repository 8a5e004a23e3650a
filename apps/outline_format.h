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

void writeOutline(std::ostream& out, OutlineFormat format, int result,
                  const std::vector<OutlineEntry>& entries);

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_OUTLINE_FORMAT_H_

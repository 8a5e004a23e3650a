#include "settings_options.h"

#include <vector>

namespace Kivrel::cli {

void SettingsOptions::addTo(CLI::App& command) {
  command.add_option("--exclude", exclude, "Pages left out of the outline, e.g. 1-3,5,10-");
  command.add_option("--max-length", maxLength,
                     "Drop candidates of this many UTF-16 units or more (default 80)");
  command.add_option("--page-offset", pageOffset,
                     "Added to page numbers read from contents lines (with --toc-document)");
  std::vector<CLI::Option*> switches = {
      command.add_flag("--toc-document", tocDocument,
                       "The document is itself a table of contents (flag 0x100)"),
      command.add_flag("--keep-sentences", keepSentences,
                       "Keep candidates with an ideographic full stop or a final period (sets 1)"),
      command.add_flag("--reject-commas", rejectCommas,
                       "Drop candidates that contain an ideographic comma (clears 2)"),
      command.add_flag("--keep-parenthesised", keepParenthesised,
                       "Keep candidates wholly enclosed in brackets (sets 4)"),
      command.add_flag("--no-title", noTitle, "No title detection on the first page (clears 8)"),
      command.add_flag("--no-indent-refinement", noIndentRefinement,
                       "Do not lower font-derived points by indent (clears 0x200)"),
  };
  CLI::Option* flags =
      command.add_option("--flags", rawFlags, "The raw flags value (default 522); "
                                              "conflicts with the named switches");
  for (CLI::Option* option : switches) flags->excludes(option);
}

KivSettings SettingsOptions::toSettings() const {
  KivSettings settings;
  if (!exclude.empty()) settings.excludePages = UnicodeString::fromUTF8(exclude);
  if (maxLength) settings.maxLength = *maxLength;
  if (pageOffset) settings.pageOffset = *pageOffset;
  if (rawFlags) {
    settings.flags = *rawFlags;
    return settings;
  }
  if (tocDocument) settings.flags |= kTocDocument;
  if (keepSentences) settings.flags |= kKeepSentences;
  if (rejectCommas) settings.flags &= ~kKeepCommas;
  if (keepParenthesised) settings.flags |= kKeepParenthesised;
  if (noTitle) settings.flags &= ~kDetectTitle;
  if (noIndentRefinement) settings.flags &= ~kIndentRefinement;
  return settings;
}

}  // namespace Kivrel::cli

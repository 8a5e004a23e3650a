#include "settings_options.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Kivrel::cli {

namespace {

// The checks below parse by hand: std::regex matches by recursion, one level
// per character, and a long argument would overflow the stack.

// Without the spaces and tabs around it.
std::string_view trimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool allDigits(std::string_view text, bool hex = false) {
  return std::all_of(text.begin(), text.end(), [hex](char c) {
    return (c >= '0' && c <= '9') ||
           (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
  });
}

// The library reads any text as page ranges and ignores what it cannot use;
// on the command line a typing slip should not silently select other pages.
// Items are pages ("5") or ranges ("1-3", "10-", "-4"), comma-separated,
// with the full-width digits, comma and hyphen the library also takes.
std::string pageRangeProblem(const std::string& text) {
  const std::string problem =
      "not a page range: '" + text + "' (use pages and ranges like 1-3,5,10-)";
  std::string ascii;
  const UnicodeString units = UnicodeString::fromUTF8(text);
  for (int32_t i = 0; i < units.length(); ++i) {
    char16_t c = units.charAt(i);
    if ((c >= 0xFF10 && c <= 0xFF19) || c == 0xFF0C || c == 0xFF0D) c -= 0xFEE0;
    if (c == 0x3000) c = u' ';
    if (c >= 0x80) return problem;
    ascii += static_cast<char>(c);
  }
  std::string_view rest = ascii;
  for (;;) {
    const std::size_t comma = rest.find(',');
    const std::string_view item = trimBlanks(rest.substr(0, comma));
    const std::size_t dash = item.find('-');
    const bool page = allDigits(item);
    const bool range = dash != std::string_view::npos &&
                       allDigits(trimBlanks(item.substr(0, dash))) &&
                       allDigits(trimBlanks(item.substr(dash + 1)));
    if (!page && !range) return problem;
    if (comma == std::string_view::npos) return {};
    rest.remove_prefix(comma + 1);
  }
}

// What is wrong with a --max-length value; "" when it is a whole number of
// at least 1 (below, every candidate would be dropped).
std::string maxLengthProblem(const std::string& text) {
  std::string_view number = trimBlanks(text);
  const std::string_view digits =
      !number.empty() && (number[0] == '+' || number[0] == '-') ? number.substr(1) : number;
  if (digits.empty() || !allDigits(digits)) return "expected a whole number, not '" + text + "'";
  long long value = 0;
  try {
    value = std::stoll(std::string(number));
  } catch (const std::out_of_range&) {
    return "'" + text + "' is too large";
  }
  if (value < 1) return "must be at least 1, not " + text;
  if (value > std::numeric_limits<int>::max()) return "'" + text + "' is too large";
  return {};
}

// --flags in decimal or 0x hexadecimal, as `python3 -m kivrel.batch` takes
// it. The value goes on in plain decimal, so "010" means ten, not the eight
// of a C literal.
std::string flagsInDecimal(std::string& text) {
  const std::string_view number = trimBlanks(text);
  const bool hex = number.size() > 2 && number[0] == '0' && (number[1] == 'x' || number[1] == 'X');
  const std::string_view digits = hex ? number.substr(2) : number;
  if (digits.empty() || !allDigits(digits, hex))
    return "expected a whole number in decimal or 0x hexadecimal, not '" + text + "'";
  unsigned long long value = 0;
  try {
    value = std::stoull(std::string(digits), nullptr, hex ? 16 : 10);
  } catch (const std::out_of_range&) {
    return "'" + text + "' is too large";
  }
  if (value > static_cast<unsigned long long>(std::numeric_limits<int>::max()))
    return "'" + text + "' is too large";
  text = std::to_string(value);
  return {};
}

}  // namespace

void SettingsOptions::addTo(CLI::App& command) {
  command.add_option("--exclude", exclude, "Pages left out of the outline, e.g. 1-3,5,10-")
      ->check(CLI::Validator(pageRangeProblem, "RANGES"));
  command
      .add_option("--max-length", maxLength,
                  "Drop candidates of this many UTF-16 units or more (default 80)")
      ->check(CLI::Validator(maxLengthProblem, "N"));
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
      command
          .add_option("--flags", rawFlags,
                      "The raw flags value, decimal or 0x hexadecimal (default 522); "
                      "conflicts with the named switches")
          ->transform(CLI::Validator(flagsInDecimal, "N"));
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

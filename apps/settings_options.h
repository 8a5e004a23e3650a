// The command-line options that map onto KivSettings, shared by outline and
// explain.
#ifndef KIVREL_APPS_SETTINGS_OPTIONS_H_
#define KIVREL_APPS_SETTINGS_OPTIONS_H_

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "kivrel/settings.h"

namespace Kivrel::cli {

struct SettingsOptions {
  std::string exclude;
  std::optional<int> maxLength;
  std::optional<int> pageOffset;
  std::optional<int> rawFlags;
  bool tocDocument = false;
  bool keepSentences = false;
  bool rejectCommas = false;
  bool keepParenthesised = false;
  bool noTitle = false;
  bool noIndentRefinement = false;

  // Adds the options to command; --flags excludes every named switch.
  void addTo(CLI::App& command);
  // Default settings changed by the options given.
  KivSettings toSettings() const;
};

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_SETTINGS_OPTIONS_H_

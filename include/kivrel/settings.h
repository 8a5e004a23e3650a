// Options of one extraction run.
#ifndef KIVREL_SETTINGS_H_
#define KIVREL_SETTINGS_H_

#include <unicode/unistr.h>

#include "kivrel/export.h"

namespace Kivrel {

using icu::UnicodeString;

// Bit values of KivSettings::flags.
enum KivFlag : int {
  kKeepSentences = 0x1,        // keep text with U+3002 or a final period
  kKeepCommas = 0x2,           // keep text with U+3001
  kKeepParenthesised = 0x4,    // keep text wholly enclosed in brackets
  kDetectTitle = 0x8,          // title detection on the first page
  kTocDocument = 0x100,        // the document is itself a table of contents
  kIndentRefinement = 0x200,   // lower font-derived points by indent
};

class KIVREL_EXPORT KivSettings {
 public:
  KivSettings();
  KivSettings(const KivSettings& other);
  KivSettings& operator=(const KivSettings& other);
  ~KivSettings();

  // Page ranges left out of the outline ("1-3,5,10-"). A run rewrites it in
  // its normalised form.
  UnicodeString excludePages;
  // Candidates whose trimmed text has this many code units or more are dropped.
  int maxLength;
  // A set of KivFlag bits; 522 by default (commas, title, indent refinement).
  int flags;
  // Carried with the settings; the library never reads it.
  UnicodeString reservedText;
  // Added to page numbers read from table-of-contents lines (kTocDocument).
  int pageOffset;
};

}  // namespace Kivrel

#endif  // KIVREL_SETTINGS_H_

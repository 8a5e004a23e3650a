// Host callbacks polled and notified during a run.
#ifndef KIVREL_PROGRESS_H_
#define KIVREL_PROGRESS_H_

#include <unicode/unistr.h>

#include "kivrel/export.h"

namespace Kivrel {

// Polled three times per run, between phases. Returning -1 stops the run.
class KIVREL_EXPORT KivProgressHandler {
 public:
  KivProgressHandler();
  KivProgressHandler(const KivProgressHandler& other);
  KivProgressHandler& operator=(const KivProgressHandler& other);
  virtual ~KivProgressHandler();
  virtual int onProgress() = 0;
};

// What the output stage decided about one non-empty paragraph. Extension for
// diagnostic tools: it never changes the outline.
struct KIVREL_EXPORT KivParagraphVerdict {
  int pageNo;          // from 1
  int paragraphIndex;  // within the page, from 0
  long cx;
  long cy;
  int charSize;        // of the paragraph's style, 0 without styles
  unsigned styleFlags; // accumulated character-format flag bits
  int tableCells;
  bool accepted;       // true: became an outline item
  int value;           // the item's point when accepted, else the reason code
  icu::UnicodeString text;  // the paragraph's stored text
};

// Receives one verdict per non-empty paragraph, in reading order, while the
// output stage runs.
class KIVREL_EXPORT KivVerdictHandler {
 public:
  virtual ~KivVerdictHandler();
  virtual void onVerdict(const KivParagraphVerdict& verdict) = 0;
};

// Words for the value of a dropped verdict: a reason code ("running header
// or footer") or a point from 0 to 9 ("point below plain text"); "" for
// anything else.
KIVREL_EXPORT const char* describeReasonCode(int code);

}  // namespace Kivrel

#endif  // KIVREL_PROGRESS_H_

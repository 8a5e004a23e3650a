// Paragraph text in the diagnostic log.
#ifndef KIVREL_MODEL_LOG_TEXT_H_
#define KIVREL_MODEL_LOG_TEXT_H_

#include <unicode/unistr.h>

#include <ostream>

namespace Kivrel::internal {

// Writes text to log as windows-31j (Shift-JIS) bytes, the encoding of the
// log's fixed texts, whatever the process's default code page is. Units the
// code page cannot hold (and unpaired surrogates) become the converter's
// substitution bytes. An empty text writes nothing.
void writeLogText(std::ostream& log, const icu::UnicodeString& text);

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_LOG_TEXT_H_

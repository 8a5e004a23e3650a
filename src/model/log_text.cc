// Conversion of paragraph text for the diagnostic log.
#include "model/log_text.h"

#include <unicode/ucnv.h>

#include <memory>
#include <string>

#include "text/checked_string.h"

namespace Kivrel::internal {

namespace {

constexpr const char* kLogCodePage = "windows-31j";

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

}  // namespace

void writeLogText(std::ostream& log, const icu::UnicodeString& text) {
  if (text.isEmpty()) return;
  UErrorCode status = U_ZERO_ERROR;
  // Opened per call: ICU caches the converter's tables, and the library keeps
  // no state between calls.
  std::unique_ptr<UConverter, ConverterCloser> converter(ucnv_open(kLogCodePage, &status));
  // Without memory the log would go on short of its text: the run fails
  // instead, as it does wherever memory runs out.
  text::throwIfOutOfMemory(status);
  if (U_FAILURE(status)) return;  // ICU built without the code page: no text

  // First learn the byte count, then convert into a buffer of exactly that size.
  int32_t size =
      ucnv_fromUChars(converter.get(), nullptr, 0, text.getBuffer(), text.length(), &status);
  text::throwIfOutOfMemory(status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return;
  if (size <= 0) return;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  status = U_ZERO_ERROR;
  ucnv_fromUChars(converter.get(), bytes.data(), size, text.getBuffer(), text.length(), &status);
  text::throwIfOutOfMemory(status);
  if (U_FAILURE(status)) return;
  log.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace Kivrel::internal

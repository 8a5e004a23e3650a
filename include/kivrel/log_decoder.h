// Reading the extractor's diagnostic log as UTF-8.
#ifndef KIVREL_LOG_DECODER_H_
#define KIVREL_LOG_DECODER_H_

#include <string>
#include <string_view>

#include "kivrel/export.h"

struct UConverter;

namespace Kivrel {

// The extractor writes its log in code page 932 (windows-31j). This decodes it
// piece by piece with that converter, so a log of any size can be turned into
// UTF-8 as it is written; the pieces may cut a character anywhere. As ICU's
// converter reads it, a character the code page does not map gives U+FFFD,
// and a byte that starts or ends no character gives U+001A.
class KIVREL_EXPORT KivLogDecoder {
 public:
  KivLogDecoder();  // throws std::runtime_error when ICU lacks the converter
  ~KivLogDecoder();
  KivLogDecoder(const KivLogDecoder&) = delete;
  KivLogDecoder& operator=(const KivLogDecoder&) = delete;

  // Appends the UTF-8 of bytes to out, keeping a character cut at the end of
  // bytes for the next call.
  void decode(std::string_view bytes, std::string& out);
  // Ends the log, appending what a character left incomplete gives. The
  // decoder then starts afresh.
  void finish(std::string& out);

 private:
  void convert(std::string_view bytes, bool last, std::string& out);

  UConverter* converter_;
  char16_t pendingLead_ = 0;  // a lead surrogate waiting for its trail
};

// A whole log as UTF-8.
KIVREL_EXPORT std::string logToUtf8(std::string_view log);

}  // namespace Kivrel

#endif  // KIVREL_LOG_DECODER_H_

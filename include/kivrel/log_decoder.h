// Reading the extractor's diagnostic log as UTF-8.
#ifndef KIVREL_LOG_DECODER_H_
#define KIVREL_LOG_DECODER_H_

#include <exception>
#include <streambuf>
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

// A stream buffer to give the extractor as its log (through an std::ostream):
// it collects what the extractor writes and hands it on in blocks to
// deliver(), with the block's UTF-8 when decoding was asked for, so that a log
// of any size costs one block of memory. An exception from deliver() ends the
// delivery: what follows is dropped, the extractor sees a failed stream, and
// rethrowIfFailed() throws it.
class KIVREL_EXPORT KivLogBuffer : public std::streambuf {
 public:
  explicit KivLogBuffer(bool decode, std::size_t blockBytes = 256 * 1024);
  ~KivLogBuffer() override;
  KivLogBuffer(const KivLogBuffer&) = delete;
  KivLogBuffer& operator=(const KivLogBuffer&) = delete;

  // Hands on what is left, at the end of the log; never throws.
  void finish();
  void rethrowIfFailed();

 protected:
  // raw: the next bytes of the log; utf8: their UTF-8 when decoding, whole
  // characters only (one cut at the end of raw comes with the next call).
  virtual void deliver(std::string_view raw, std::string_view utf8) = 0;

  int_type overflow(int_type c) override;
  int sync() override;

 private:
  bool passOn(bool last);

  std::string block_;
  std::string utf8_;
  KivLogDecoder* decoder_;  // owned; null when not decoding
  std::exception_ptr failure_;
};

}  // namespace Kivrel

#endif  // KIVREL_LOG_DECODER_H_

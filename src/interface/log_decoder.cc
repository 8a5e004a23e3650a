// Decoding the code page 932 log to UTF-8 in pieces.
#include "kivrel/log_decoder.h"

#include <unicode/ucnv.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace Kivrel {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void appendUtf8(UChar32 c, std::string& out) {
  char bytes[U8_MAX_LENGTH];
  int32_t length = 0;
  U8_APPEND_UNSAFE(bytes, length, c);
  out.append(bytes, static_cast<std::size_t>(length));
}

}  // namespace

KivLogDecoder::KivLogDecoder() {
  UErrorCode status = U_ZERO_ERROR;
  converter_ = ucnv_open("windows-31j", &status);
  if (U_FAILURE(status)) throw std::runtime_error("ICU has no windows-31j converter");
}

KivLogDecoder::~KivLogDecoder() { ucnv_close(converter_); }

void KivLogDecoder::decode(std::string_view bytes, std::string& out) {
  convert(bytes, false, out);
}

void KivLogDecoder::finish(std::string& out) {
  convert({}, true, out);
  if (pendingLead_) appendUtf8(kReplacement, out);
  pendingLead_ = 0;
  ucnv_reset(converter_);
}

void KivLogDecoder::convert(std::string_view bytes, bool last, std::string& out) {
  const char* source = bytes.empty() ? "" : bytes.data();
  const char* const sourceEnd = source + bytes.size();
  UChar units[4096];
  UErrorCode status;
  do {
    status = U_ZERO_ERROR;
    UChar* target = units;
    ucnv_toUnicode(converter_, &target, units + std::size(units), &source, sourceEnd, nullptr,
                   last, &status);
    if (U_FAILURE(status) && status != U_BUFFER_OVERFLOW_ERROR) {
      throw std::runtime_error(u_errorName(status));
    }
    // As UnicodeString::toUTF8String does: a lone surrogate becomes U+FFFD.
    for (const UChar* p = units; p < target; ++p) {
      const char16_t unit = *p;
      if (pendingLead_) {
        const char16_t lead = pendingLead_;
        pendingLead_ = 0;
        if (U16_IS_TRAIL(unit)) {
          appendUtf8(U16_GET_SUPPLEMENTARY(lead, unit), out);
          continue;
        }
        appendUtf8(kReplacement, out);
      }
      if (U16_IS_LEAD(unit)) {
        pendingLead_ = unit;
      } else {
        appendUtf8(U16_IS_TRAIL(unit) ? kReplacement : unit, out);
      }
    }
  } while (status == U_BUFFER_OVERFLOW_ERROR);
}

std::string logToUtf8(std::string_view log) {
  KivLogDecoder decoder;
  std::string utf8;
  utf8.reserve(log.size());
  // In pieces, so that no length passes through ICU's 32-bit counts.
  constexpr std::size_t kPiece = 1 << 20;
  for (std::size_t at = 0; at < log.size(); at += kPiece) {
    decoder.decode(log.substr(at, kPiece), utf8);
  }
  decoder.finish(utf8);
  return utf8;
}

KivLogBuffer::KivLogBuffer(bool decode, std::size_t blockBytes)
    : block_(std::max<std::size_t>(blockBytes, 1), '\0'),
      decoder_(decode ? new KivLogDecoder : nullptr) {
  setp(block_.data(), block_.data() + block_.size());
}

KivLogBuffer::~KivLogBuffer() { delete decoder_; }

void KivLogBuffer::finish() { passOn(true); }

void KivLogBuffer::rethrowIfFailed() {
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

KivLogBuffer::int_type KivLogBuffer::overflow(int_type c) {
  if (!passOn(false)) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int KivLogBuffer::sync() { return passOn(false) ? 0 : -1; }

bool KivLogBuffer::passOn(bool last) {
  const std::string_view raw(pbase(), static_cast<std::size_t>(pptr() - pbase()));
  setp(block_.data(), block_.data() + block_.size());
  if (failure_) return false;
  try {
    utf8_.clear();
    if (decoder_) {
      decoder_->decode(raw, utf8_);
      if (last) decoder_->finish(utf8_);
    }
    if (!raw.empty() || !utf8_.empty()) deliver(raw, utf8_);
  } catch (...) {
    failure_ = std::current_exception();
    return false;
  }
  return true;
}

}  // namespace Kivrel

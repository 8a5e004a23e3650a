#include "log_options.h"

#include <exception>
#include <optional>
#include <streambuf>
#include <vector>

#include "cli_common.h"
#include "kivrel/log_decoder.h"
#include "output_file.h"

namespace Kivrel::cli {

// Collects what the library writes and passes it on in blocks: its bytes to
// the raw file, their UTF-8 to the other. A failed write is kept for write()
// to raise; the library only sees a stream that has gone bad.
class LogSink : public std::streambuf {
 public:
  LogSink(const std::string& utf8Path, const std::string& rawPath) {
    if (!rawPath.empty()) raw_.emplace(rawPath);
    if (!utf8Path.empty()) {
      utf8_.emplace(utf8Path);
      decoder_.emplace();
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }

  void finish() {
    passOn();
    if (error_) std::rethrow_exception(error_);
    if (raw_) raw_->commit();
    if (utf8_) {
      text_.clear();
      decoder_->finish(text_);
      utf8_->write(text_);
      utf8_->commit();
    }
  }

 protected:
  int_type overflow(int_type c) override {
    if (!passOn()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return passOn() ? 0 : -1; }

 private:
  bool passOn() {
    const std::string_view bytes(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    if (error_) return false;
    try {
      if (raw_) raw_->write(bytes);
      if (utf8_) {
        text_.clear();
        decoder_->decode(bytes, text_);
        utf8_->write(text_);
      }
    } catch (...) {
      error_ = std::current_exception();
      return false;
    }
    return true;
  }

  std::optional<OutputFile> raw_;
  std::optional<OutputFile> utf8_;
  std::optional<KivLogDecoder> decoder_;
  std::vector<char> buffer_ = std::vector<char>(256 * 1024);
  std::string text_;
  std::exception_ptr error_;
};

LogOutput::LogOutput() = default;
LogOutput::LogOutput(LogOutput&&) noexcept = default;
LogOutput::~LogOutput() = default;

void LogOutput::write() {
  if (sink_) sink_->finish();
}

void LogOptions::addTo(CLI::App& command) {
  command.add_option("--log", log_, "Write the diagnostic log to FILE, as UTF-8");
  command.add_option("--log-raw", logRaw_, "Write the diagnostic log's exact bytes to FILE");
}

LogOutput LogOptions::open() const {
  LogOutput output;
  if (log_.empty() && logRaw_.empty()) return output;
  if (log_ == logRaw_) {
    throw CommandError(log_ == "-" ? std::string("--log and --log-raw both name standard output")
                                   : "--log and --log-raw name the same file, " + log_,
                       kExitUsage);
  }
  output.sink_ = std::make_unique<LogSink>(log_, logRaw_);
  output.stream_ = std::make_unique<std::ostream>(output.sink_.get());
  return output;
}

}  // namespace Kivrel::cli

// The run a fuzz input describes, shared by the extraction fuzzers: the first
// byte picks the settings, log, progress handler and page ranges; the rest is
// the stream. Keeping one decoding lets every target start from one corpus.
#ifndef KIVREL_FUZZ_FUZZ_RUN_H_
#define KIVREL_FUZZ_FUZZ_RUN_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <streambuf>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "kivrel/kivrel.h"

namespace kivrel_fuzz {

// Bits of the control byte.
constexpr std::uint8_t kSettingsMask = 0x07;
constexpr std::uint8_t kWithLog = 0x08;
constexpr std::uint8_t kWithPageRanges = 0x10;
constexpr std::uint8_t kWithProgress = 0x20;
constexpr int kStopPollShift = 6;  // two bits: the poll (1..3) that stops, 0 never

// Page-range strings are drawn from the characters the parser knows, plus a
// few it must ignore, so most of them select something.
constexpr char16_t kRangeAlphabet[] = u"0123456789--,, \u3000\uFF0C\uFF0D\uFF11\uFF19x+";

class StopAt : public Kivrel::KivProgressHandler {
 public:
  explicit StopAt(int poll) : poll_(poll) {}
  int onProgress() override { return ++polls_ == poll_ ? -1 : 0; }

 private:
  int poll_;
  int polls_ = 0;
};

// The stream as a pipe delivers it: a few bytes per read, no seeking, so
// skips read and discard and every record may straddle two reads.
class PipeBuf : public std::streambuf {
 public:
  explicit PipeBuf(std::string bytes) : bytes_(std::move(bytes)) {}

 protected:
  int_type underflow() override {
    if (next_ == bytes_.size()) return traits_type::eof();
    std::size_t n = 1 + next_ % 13;
    if (n > bytes_.size() - next_) n = bytes_.size() - next_;
    char* first = &bytes_[next_];
    setg(first, first, first + n);
    next_ += n;
    return traits_type::to_int_type(*first);
  }

 private:
  std::string bytes_;
  std::size_t next_ = 0;
};

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

inline int flagsFor(std::uint8_t choice, Input& in) {
  switch (choice) {
    case 0: return 522;    // the defaults
    case 1: return 0x100;  // table-of-contents document
    case 2: return 0x100 | 0x8 | 0x200;
    case 3: return 0;      // every test on, no title
    case 4: return 0x30F;  // every bit
    default: {
      int flags = in.byte();
      return flags | (in.byte() & 0x3) << 8;
    }
  }
}

class FuzzRun {
 public:
  FuzzRun(const std::uint8_t* data, std::size_t size) : progress_(0) {
    Input in(data, size);
    control_ = in.byte();
    std::uint8_t choice = control_ & kSettingsMask;
    if (choice == 7) {
      settingsArg_ = nullptr;
    } else {
      settings_.flags = flagsFor(choice, in);
      settings_.maxLength = 1 + in.byte() % 120;
      settings_.pageOffset = static_cast<std::int8_t>(in.byte());
    }
    if (settingsArg_ && (control_ & kWithPageRanges)) {
      int length = in.byte() % 24;
      for (int i = 0; i < length; ++i) {
        settings_.excludePages.append(kRangeAlphabet[in.byte() % (sizeof kRangeAlphabet / 2 - 1)]);
      }
    }
    stream_.assign(reinterpret_cast<const char*>(in.data()), in.size());
    progress_ = StopAt(control_ >> kStopPollShift);
    if (control_ & kWithLog) extractor_.setLogStream(&log_);
    if (control_ & kWithProgress) extractor_.setProgressHandler(&progress_);
  }

  // The extractor, with the log and progress handler the control byte asks for.
  Kivrel::Kivrant& extractor() { return extractor_; }
  // True when the progress handler will stop the run.
  bool stops() const { return (control_ & kWithProgress) && (control_ >> kStopPollShift) != 0; }

  // Aborts unless rc is what a run ending with result may return: 0, or -1
  // with nothing appended when the handler stopped it.
  void checkStatus(int rc, Kivrel::KivOutlineList& result) const {
    if (rc != 0 && rc != -1) std::abort();
    if (rc == -1 && (!stops() || result.getCount() != 0)) std::abort();
  }

  std::istringstream stream() const { return std::istringstream(stream_, std::ios::binary); }
  PipeBuf pipe() const { return PipeBuf(stream_); }
  // The log written since the last call.
  std::string takeLog() {
    std::string text = log_.str();
    log_.str(std::string());
    return text;
  }
  Kivrel::KivSettings* settings() { return settingsArg_; }

 private:
  std::uint8_t control_ = 0;
  Kivrel::KivSettings settings_;
  Kivrel::KivSettings* settingsArg_ = &settings_;
  std::string stream_;
  std::ostringstream log_{std::ios::binary};
  StopAt progress_;
  Kivrel::Kivrant extractor_;  // after what it points to
};

// Decoding a log in blocks, cut anywhere, must give what decoding it whole gives.
class JoinedLog : public Kivrel::KivLogBuffer {
 public:
  explicit JoinedLog(std::size_t blockBytes) : KivLogBuffer(true, blockBytes) {}
  std::string utf8;

 protected:
  void deliver(std::string_view, std::string_view part) override { utf8 += part; }
};

inline void checkBlockwiseDecoding(const std::string& log) {
  JoinedLog joined(1 + log.size() % 61);
  std::ostream out(&joined);
  out << log;
  out.flush();
  joined.finish();
  if (joined.utf8 != Kivrel::logToUtf8(log)) std::abort();
}

// The same items in the same order, as a second run of one stream must give.
inline bool sameItems(Kivrel::KivOutlineList& list, int firstA, int firstB, int count) {
  for (int i = 0; i < count; ++i) {
    Kivrel::KivOutlineItem* a = list.getAt(firstA + i);
    Kivrel::KivOutlineItem* b = list.getAt(firstB + i);
    if (a->getPageNo() != b->getPageNo() || a->getPoint() != b->getPoint() ||
        a->getString() != b->getString() || a->getCx() != b->getCx() ||
        a->getCy() != b->getCy()) {
      return false;
    }
  }
  return true;
}

}  // namespace kivrel_fuzz

#endif  // KIVREL_FUZZ_FUZZ_RUN_H_

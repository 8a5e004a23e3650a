// Feeds arbitrary bytes to Kivrant::extract. The first byte picks the run's
// settings, log, progress handler and page ranges; the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "kivrel/kivrel.h"

namespace {

using Kivrel::KivOutlineList;
using Kivrel::KivSettings;
using Kivrel::Kivrant;

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

int flagsFor(std::uint8_t choice, Input& in) {
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

int outlineSize(KivOutlineList& list) { return list.getCount(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  std::uint8_t control = in.byte();

  KivSettings settings;
  KivSettings* settingsArg = &settings;
  std::uint8_t choice = control & kSettingsMask;
  if (choice == 7) {
    settingsArg = nullptr;
  } else {
    settings.flags = flagsFor(choice, in);
    settings.maxLength = 1 + in.byte() % 120;
    settings.pageOffset = static_cast<std::int8_t>(in.byte());
  }
  if (settingsArg && (control & kWithPageRanges)) {
    int length = in.byte() % 24;
    for (int i = 0; i < length; ++i) {
      settings.excludePages.append(kRangeAlphabet[in.byte() % (sizeof kRangeAlphabet / 2 - 1)]);
    }
  }

  std::string stream(reinterpret_cast<const char*>(in.data()), in.size());
  std::ostringstream log(std::ios::binary);
  int stopPoll = control >> kStopPollShift;
  StopAt progress(stopPoll);

  Kivrant extractor;
  if (control & kWithLog) extractor.setLogStream(&log);
  if (control & kWithProgress) extractor.setProgressHandler(&progress);

  std::istringstream input(stream, std::ios::binary);
  KivOutlineList result;
  int rc = extractor.extract(input, result, settingsArg);
  if (rc != 0 && rc != -1) std::abort();
  bool stopped = (control & kWithProgress) && stopPoll != 0;
  if (rc == -1 && !stopped) std::abort();
  if (rc == -1 && outlineSize(result) != 0) std::abort();

  // A finished run leaves the extractor idle: the same stream again appends
  // the same items. Settings were normalised by the first run, which must
  // not change what they select.
  if (!stopped) {
    int first = outlineSize(result);
    std::istringstream again(stream, std::ios::binary);
    if (extractor.extract(again, result, settingsArg) != 0) std::abort();
    if (outlineSize(result) != 2 * first) std::abort();
    for (int i = 0; i < first; ++i) {
      Kivrel::KivOutlineItem* a = result.getAt(i);
      Kivrel::KivOutlineItem* b = result.getAt(first + i);
      if (a->getPageNo() != b->getPageNo() || a->getPoint() != b->getPoint() ||
          a->getString() != b->getString() || a->getCx() != b->getCx() ||
          a->getCy() != b->getCy()) {
        std::abort();
      }
    }
  }
  return 0;
}

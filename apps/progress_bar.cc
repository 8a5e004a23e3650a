#include "progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "cli_common.h"

namespace Kivrel::cli {

namespace {

constexpr auto kQuietDelay = std::chrono::milliseconds(300);
constexpr int kBarWidth = 30;
// Large enough that refills cost nothing, small enough for a smooth bar.
constexpr std::size_t kWindowSize = 256 * 1024;

}  // namespace

ProgressBar::ProgressBar(std::string label, std::uint64_t total, bool quiet)
    : label_(std::move(label)),
      total_(total),
      enabled_(!quiet && isatty(STDERR_FILENO)),
      start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::update(std::uint64_t done) {
  if (!enabled_ || total_ == 0) return;
  if (!drawn_ && std::chrono::steady_clock::now() - start_ < kQuietDelay) return;
  const int permille = static_cast<int>(std::min<std::uint64_t>(done, total_) * 1000 / total_);
  if (permille == lastPermille_) return;
  lastPermille_ = permille;
  const int filled = permille * kBarWidth / 1000;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kBarWidth - filled), ' ');
  std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar.c_str(), permille / 10);
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::finish() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  drawn_ = false;
  lastPermille_ = -1;
}

CountingReadBuffer::CountingReadBuffer(std::string_view bytes, ProgressBar* bar)
    : bytes_(bytes), bar_(bar) {
  setWindow(0);
}

void CountingReadBuffer::setWindow(std::size_t position) {
  char* base = const_cast<char*>(bytes_.data());
  const std::size_t end = std::min(bytes_.size(), position + kWindowSize);
  setg(base, base + position, base + end);
}

CountingReadBuffer::int_type CountingReadBuffer::underflow() {
  const std::size_t position = static_cast<std::size_t>(egptr() - eback());
  if (bar_) bar_->update(position);
  if (position >= bytes_.size() || interrupted()) return traits_type::eof();
  setWindow(position);
  return traits_type::to_int_type(*gptr());
}

CountingReadBuffer::pos_type CountingReadBuffer::seekoff(off_type off, std::ios_base::seekdir dir,
                                                         std::ios_base::openmode which) {
  if (!(which & std::ios_base::in)) return pos_type(off_type(-1));
  off_type base = 0;
  if (dir == std::ios_base::cur) base = gptr() - eback();
  if (dir == std::ios_base::end) base = static_cast<off_type>(bytes_.size());
  const off_type target = base + off;
  if (target < 0 || target > static_cast<off_type>(bytes_.size())) return pos_type(off_type(-1));
  setWindow(static_cast<std::size_t>(target));
  return pos_type(target);
}

CountingReadBuffer::pos_type CountingReadBuffer::seekpos(pos_type pos,
                                                         std::ios_base::openmode which) {
  return seekoff(off_type(pos), std::ios_base::beg, which);
}

}  // namespace Kivrel::cli

// A progress bar on stderr and a read buffer that drives it.
#ifndef KIVREL_APPS_PROGRESS_BAR_H_
#define KIVREL_APPS_PROGRESS_BAR_H_

#include <chrono>
#include <cstdint>
#include <streambuf>
#include <string>
#include <string_view>

namespace Kivrel::cli {

// Draws "label [#####     ]  42%" on stderr. Stays silent when disabled,
// when stderr is not a terminal, and for work that ends within a short delay,
// so quick runs print nothing.
class ProgressBar {
 public:
  ProgressBar(std::string label, std::uint64_t total, bool quiet);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void setLabel(std::string label) { label_ = std::move(label); }
  void setTotal(std::uint64_t total) { total_ = total; }
  void update(std::uint64_t done);
  // Erases the bar if one was drawn.
  void finish();

 private:
  std::string label_;
  std::uint64_t total_;
  bool enabled_;
  bool drawn_ = false;
  int lastPermille_ = -1;
  std::chrono::steady_clock::time_point start_;
};

// A seekable read buffer over bytes held in memory. It hands the bytes out in
// windows, so each refill reports the position reached to the bar; reading
// stops early (end of input) once SIGINT has been seen.
class CountingReadBuffer : public std::streambuf {
 public:
  CountingReadBuffer(std::string_view bytes, ProgressBar* bar);

 protected:
  int_type underflow() override;
  pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                   std::ios_base::openmode which) override;
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

 private:
  void setWindow(std::size_t position);

  std::string_view bytes_;
  ProgressBar* bar_;
};

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_PROGRESS_BAR_H_

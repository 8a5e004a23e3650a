// Reading a file stream's next block on a second thread.
#include "model/read_ahead.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>
#include <typeinfo>
#include <utility>

#include <sched.h>
#include <signal.h>

namespace Kivrel::internal {

namespace {

// The thread only moves bytes; an exception it catches is the deepest it goes.
constexpr std::size_t kStackBytes = 256 * 1024;

// Whether this process may run on two processors at once: each side of a
// fill spins while it waits, which on one would only keep the other waiting.
bool mayRunOnTwoCpus() {
#if defined(__linux__)
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) return CPU_COUNT(&allowed) >= 2;
#endif
  return std::thread::hardware_concurrency() >= 2;
}

// How long a side spins before it sleeps: about one fill's time. Sleeping
// at once cost a 1M-paragraph run 60 % more time and nearly twice the
// system time.
constexpr std::chrono::microseconds kSpin(100);

inline void relaxCpu() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  __asm__ __volatile__("yield");
#endif
}

// Returns once a flag is set or kSpin has passed.
void spinFor(const std::atomic<bool>& a, const std::atomic<bool>& b) {
  const auto until = std::chrono::steady_clock::now() + kSpin;
  for (unsigned i = 1; !a.load(std::memory_order_acquire) && !b.load(std::memory_order_acquire);
       ++i) {
    relaxCpu();
    if (i % 64 == 0 && std::chrono::steady_clock::now() >= until) return;
  }
}

}  // namespace

std::unique_ptr<ReadAhead> ReadAhead::startFor(std::streambuf* buf, std::size_t minBytes) {
  if (!buf || typeid(*buf) != typeid(std::filebuf) || !mayRunOnTwoCpus()) return nullptr;
  std::streamsize held = 0;
  try {
    held = buf->in_avail();
  } catch (...) {
    return nullptr;
  }
  if (held <= 0 || static_cast<std::size_t>(held) < minBytes) return nullptr;
  std::unique_ptr<ReadAhead> ahead(new ReadAhead(buf));
  // A raw thread with a small stack: std::thread frees its start state on
  // the new thread, and glibc gives a thread's first free a heap arena of its
  // own, 64 MiB of address space the process then keeps.
  // It takes no signals either: the host's handlers expect its own threads.
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return nullptr;
  pthread_attr_setstacksize(&attr, kStackBytes);
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  ahead->started_ = pthread_create(&ahead->thread_, &attr, &ReadAhead::run, ahead.get()) == 0;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  pthread_attr_destroy(&attr);
  if (!ahead->started_) return nullptr;  // no thread to be had: the reader reads for itself
  return ahead;
}

void* ReadAhead::run(void* self) {
  static_cast<ReadAhead*>(self)->serve();
  return nullptr;
}

ReadAhead::ReadAhead(std::streambuf* buf) : buf_(buf) {}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_.store(true, std::memory_order_release);
  }
  changed_.notify_all();
  if (started_) pthread_join(thread_, nullptr);
}

void ReadAhead::start(unsigned char* dest, std::size_t space) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dest_ = dest;
    space_ = space;
    requested_.store(true, std::memory_order_release);
  }
  busy_ = true;
  changed_.notify_all();
}

ReadAhead::Fill ReadAhead::wait() {
  spinFor(done_, done_);
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return done_.load(std::memory_order_relaxed); });
  done_.store(false, std::memory_order_relaxed);
  busy_ = false;
  return std::move(result_);
}

void ReadAhead::serve() {
  for (;;) {
    spinFor(requested_, quit_);
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] {
      return requested_.load(std::memory_order_relaxed) || quit_.load(std::memory_order_relaxed);
    });
    // A fill asked for is finished even when quitting: its destination
    // stays valid until the owner's destructor has joined.
    if (!requested_.load(std::memory_order_relaxed)) return;
    requested_.store(false, std::memory_order_relaxed);
    unsigned char* dest = dest_;
    const std::size_t space = space_;
    lock.unlock();
    Fill result = fill(dest, space);
    lock.lock();
    result_ = std::move(result);
    done_.store(true, std::memory_order_release);
    lock.unlock();
    changed_.notify_all();
  }
}

// Only what the buffer says it holds, so that no read here waits on the
// input. An exception ends the fill; the owner raises it once the bytes
// before it are used up.
ReadAhead::Fill ReadAhead::fill(unsigned char* dest, std::size_t space) const {
  Fill f;
  while (f.got < space) {
    std::streamsize avail = 0;
    try {
      avail = buf_->in_avail();
    } catch (...) {
      avail = 0;
    }
    if (avail <= 0) {
      f.stalled = true;
      break;
    }
    const std::streamsize want =
        std::min<std::streamsize>(avail, static_cast<std::streamsize>(space - f.got));
    std::streamsize got = 0;
    try {
      got = buf_->sgetn(reinterpret_cast<char*>(dest + f.got), want);
    } catch (...) {
      f.error = std::current_exception();
      f.atEnd = true;
      break;
    }
    f.got += static_cast<std::size_t>(got);
    if (got < want || got == 0) {
      f.atEnd = true;
      break;
    }
  }
  return f;
}

}  // namespace Kivrel::internal

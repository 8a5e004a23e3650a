// Reading a file stream's next block on a second thread.
#ifndef KIVREL_MODEL_READ_AHEAD_H_
#define KIVREL_MODEL_READ_AHEAD_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <streambuf>

#include <pthread.h>

namespace Kivrel::internal {

// Copying a large stream out of the page cache is a third of an extraction's
// time, and the record reader cannot parse what it has not got. This fills
// the next block while the reader parses the one before it, one fill at a
// time. Between fills nothing here touches the stream buffer, so its owner
// may seek it or read from it then.
//
// Each side spins briefly before it sleeps: a fill takes about as long as
// parsing a block, and waking a sleeping thread took longer than that on a
// virtual machine, which lost more than the overlap won.
class ReadAhead {
 public:
  // What one fill left in its destination.
  struct Fill {
    std::size_t got = 0;
    // The buffer ended after got bytes, or threw (error).
    bool atEnd = false;
    std::exception_ptr error;
    // The buffer said it held no bytes it could hand out at once: a read
    // that may wait (or find the end) is the owner's to make.
    bool stalled = false;
  };

  // Null unless this process may run on two processors, buf is a
  // std::filebuf itself (its reads may run on any thread while no other
  // thread uses it; a derived buffer's may not), and it holds at least
  // minBytes. REQUIRES: buf outlives the result.
  static std::unique_ptr<ReadAhead> startFor(std::streambuf* buf, std::size_t minBytes);

  // Waits for the fill under way, if any.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Starts filling [dest, dest + space) with what the buffer holds.
  // REQUIRES: no fill under way; dest stays valid until wait() returns.
  void start(unsigned char* dest, std::size_t space);
  // Waits for the fill under way. REQUIRES: busy().
  Fill wait();
  bool busy() const { return busy_; }

 private:
  explicit ReadAhead(std::streambuf* buf);
  static void* run(void* self);
  void serve();
  Fill fill(unsigned char* dest, std::size_t space) const;

  std::streambuf* const buf_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Set under mutex_; read without it only to spin on.
  std::atomic<bool> requested_{false};
  std::atomic<bool> done_{false};
  std::atomic<bool> quit_{false};
  // Guarded by mutex_.
  unsigned char* dest_ = nullptr;
  std::size_t space_ = 0;
  Fill result_;
  // The owner's view: a fill was started and not yet waited for.
  bool busy_ = false;
  pthread_t thread_{};
  bool started_ = false;
};

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_READ_AHEAD_H_

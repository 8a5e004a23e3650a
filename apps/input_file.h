// A command's input, a file or standard input: opened at once, looked at from
// the front, then read whole or streamed. It never moves the read position by
// seeking, so pipes work alike.
#ifndef KIVREL_APPS_INPUT_FILE_H_
#define KIVREL_APPS_INPUT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace Kivrel::cli {

class ProgressBar;

// A buffer for read(2) that starts on a page. The kernel's copy from the page
// cache ran seven times slower into a destination 1 to 31 bytes past the
// source's offset within a page, which is where a heap block's header puts a
// large buffer, and a file is read from page boundaries.
class ReadChunk {
 public:
  explicit ReadChunk(std::size_t size);
  char* data() { return data_; }
  std::size_t size() const { return size_; }

 private:
  std::vector<char> storage_;
  char* data_;
  std::size_t size_;
};

class InputFile {
 public:
  // Opens path ("-" and "" mean standard input). Throws CommandError naming
  // the file when it cannot be opened or is a directory.
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // The name used in messages: the path, or "<stdin>".
  const std::string& name() const { return name_; }
  // The bytes a regular file holds from where reading starts; 0 when not known.
  std::uint64_t size() const { return size_; }

  // The first n bytes, or all of a shorter input. Throws CommandError for a
  // read error, Interrupted on SIGINT.
  // REQUIRES: nothing was handed out yet.
  std::string_view head(std::size_t n);
  // The whole input, with a progress bar unless quiet; throws like head.
  // REQUIRES: nothing was handed out yet.
  std::string readAll(bool quiet);

  // Hands out the next bytes, those of head first: at most size of them, 0
  // at the end. Never throws: a read error or SIGINT ends the input early,
  // and throwIfFailed tells which.
  std::size_t readSome(char* dst, std::size_t size) noexcept;
  // CommandError when a read failed, Interrupted when SIGINT ended one.
  void throwIfFailed() const;

 private:
  // One read of the file; 0 at its end or once it failed.
  std::size_t readFile(char* dst, std::size_t size) noexcept;

  std::string name_;
  int fd_;
  std::uint64_t size_ = 0;
  std::string head_;            // read ahead by head
  std::size_t handedOut_ = 0;   // of head_
  bool atEnd_ = false;          // a read gave end of input
  int readError_ = 0;           // errno of the failed read
  bool interruptedRead_ = false;
};

// Streams an InputFile to an extraction, reporting the bytes it hands out to
// a progress bar. Not seekable: the record reader reads what it skips.
class InputFileBuffer : public std::streambuf {
 public:
  // REQUIRES: input and bar (which may be null) outlive the buffer.
  InputFileBuffer(InputFile& input, ProgressBar* bar);

 protected:
  int_type underflow() override;
  std::streamsize xsgetn(char* dst, std::streamsize count) override;

 private:
  void delivered(std::size_t bytes);

  InputFile& input_;
  ProgressBar* bar_;
  ReadChunk buffer_;
  std::uint64_t delivered_ = 0;
};

}  // namespace Kivrel::cli

#endif  // KIVREL_APPS_INPUT_FILE_H_

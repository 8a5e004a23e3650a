// Test support: a file holding given bytes for the life of the object.
#ifndef KIVREL_TESTS_SUPPORT_TEMP_FILE_H_
#define KIVREL_TESTS_SUPPORT_TEMP_FILE_H_

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

namespace Kivrel::testing {

class TempFile {
 public:
  explicit TempFile(const std::string& bytes) {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            ("kivrel-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::ofstream(path_, std::ios::binary).write(bytes.data(),
                                                  static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace Kivrel::testing

#endif  // KIVREL_TESTS_SUPPORT_TEMP_FILE_H_

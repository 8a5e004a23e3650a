// Runs the kivrel binary as a user would, in a fresh folder per test.
#ifndef KIVREL_TESTS_APPS_CLI_HARNESS_H_
#define KIVREL_TESTS_APPS_CLI_HARNESS_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace kivrel_cli_test {

namespace fs = std::filesystem;

inline std::string envOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

// KIVREL_CLI overrides the built-in path, e.g. to test an installed binary.
inline const std::string& cliPath() {
  static const std::string path = envOr("KIVREL_CLI", KIVREL_CLI_PATH);
  return path;
}

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Result {
  int exitCode;
  std::string out;
  std::string err;
  long peakRssKb = 0;  // the child's resident high-water mark
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kivrel-cli-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path path(const std::string& name) const { return dir_ / name; }

  // Runs kivrel with args; stdinFile (if given) becomes its standard input,
  // and whileRunning is called with the child's id before it is waited for.
  Result run(const std::vector<std::string>& args, const std::string& stdinFile = "/dev/null",
             const std::function<void(pid_t)>& whileRunning = nullptr) {
    const std::string out = stdoutTarget.empty() ? path("stdout").string() : stdoutTarget;
    const std::string err = path("stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, stdinFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string& cli = cliPath();
    std::vector<char*> argv{const_cast<char*>(cli.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {-1, "", "spawn failed"};
    if (whileRunning) whileRunning(pid);
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    // As a shell reports them: a death by signal N is 128 + N.
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            stdoutTarget.empty() ? readFile(out) : "", readFile(err), usage.ru_maxrss};
  }

  fs::path dir_;
  std::string stdoutTarget;  // where the child's standard output goes, if not to a file here
};

}  // namespace kivrel_cli_test

#endif  // KIVREL_TESTS_APPS_CLI_HARNESS_H_

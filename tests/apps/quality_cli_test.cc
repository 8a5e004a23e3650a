// The kivrel command's choice of mode: PDF input gets the quality mode,
// --exact the exact heuristics, record streams the exact ones unless
// --quality is given; explain and the outline's levels follow the mode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "pdf/pdf_maker.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kCli = std::getenv("KIVREL_CLI") ? std::getenv("KIVREL_CLI") : KIVREL_CLI_PATH;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Two pages of numbered sections with body text, a numbered list item and a
// figure label at body size or a little above: the exact rules keep the
// item and the label and lose the first page to title detection.
std::string sectionsPdf() {
  Kivrel::testing::PdfMaker pdf;
  const char* body =
      "The tool reads the input file and writes one record for every line it finds, "
      "with the size and the position of its text on the page.";
  for (int page = 0; page < 2; ++page) {
    if (page) pdf.newPage();
    double y = 90;
    for (int s = 1; s <= 2; ++s) {
      const int n = page * 2 + s;
      pdf.text(std::to_string(n) + " Section " + std::string(1, static_cast<char>('A' + n)), 72,
               y, {.size = 16, .bold = true});
      y = pdf.wrap(body, 72, y + 26, 450, 13) + 13;
      pdf.text("1) Install the package", 72, y);
      y = pdf.wrap(body, 72, y + 20, 450, 13) + 13;
      pdf.text("Figure " + std::to_string(n) + ": Data flow", 72, y, {.size = 11, .bold = true});
      y = pdf.wrap(body, 72, y + 20, 450, 13) + 30;
    }
  }
  return pdf.finish();
}

class QualityCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kivrel-quality-cli-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    pdf_ = (dir_ / "doc.pdf").string();
    records_ = (dir_ / "doc.kvr").string();
    std::ofstream(pdf_, std::ios::binary) << sectionsPdf();
    ASSERT_EQ(run({"pdf2records", "-q", pdf_, "-o", records_}).first, 0);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Exit code and standard output of kivrel with args.
  std::pair<int, std::string> run(const std::vector<std::string>& args) {
    const std::string out = (dir_ / "stdout").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv{const_cast<char*>(kCli.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, kCli.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {-1, ""};
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out)};
  }

  json runJson(std::vector<std::string> args) {
    args.push_back("-q");
    const auto [code, out] = run(args);
    EXPECT_EQ(code, 0);
    return json::parse(out);
  }

  fs::path dir_;
  std::string pdf_;
  std::string records_;
};

std::vector<std::string> texts(const json& outline) {
  std::vector<std::string> out;
  for (const json& item : outline["items"]) out.push_back(item["text"]);
  return out;
}

TEST_F(QualityCli, PdfDefaultsToTheQualityModeAndExactGivesTheRecordStreamResult) {
  const json quality = runJson({"outline", "--format", "json", pdf_});
  const json exact = runJson({"outline", "--format", "json", "--exact", pdf_});
  EXPECT_EQ(quality, runJson({"outline", "--format", "json", "--quality", records_}));
  EXPECT_EQ(exact, runJson({"outline", "--format", "json", records_}));
  // The modes differ where the layout speaks: the list item and the label.
  const std::vector<std::string> q = texts(quality), e = texts(exact);
  EXPECT_EQ(std::count(e.begin(), e.end(), "1) Install the package"), 2);
  EXPECT_EQ(std::count(q.begin(), q.end(), "1) Install the package"), 0);
  EXPECT_EQ(std::count(q.begin(), q.end(), "Figure 4: Data flow"), 0);
  EXPECT_EQ(q, (std::vector<std::string>{"1 Section B", "2 Section C", "3 Section D",
                                         "4 Section E"}));
}

TEST_F(QualityCli, ExplainShowsTheVerdictsOfTheModeTheOutlineUses) {
  const json outline = runJson({"outline", "--format", "json", pdf_});
  const json explain = runJson({"explain", "--json", pdf_});
  EXPECT_EQ(explain["mode"], "quality");
  // The kept paragraphs are the outline's items, with its levels, and every
  // decision the exact rules did not take has words.
  std::vector<std::pair<std::string, int>> kept, items;
  for (const json& p : explain["paragraphs"]) {
    const json& q = p["quality"];
    if (q["accepted"]) kept.emplace_back(q["text"], q["level"]);
    if (q.contains("reason")) EXPECT_NE(q["reasonText"], "") << p["text"];
  }
  for (const json& item : outline["items"]) items.emplace_back(item["text"], item["level"]);
  EXPECT_EQ(kept, items);
  const json exact = runJson({"explain", "--json", "--exact", pdf_});
  EXPECT_EQ(exact["mode"], "exact");
  EXPECT_FALSE(exact["paragraphs"][0].contains("quality"));
}

}  // namespace

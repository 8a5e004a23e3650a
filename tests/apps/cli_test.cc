// Runs the kivrel binary as a user would and checks what it prints.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string envOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}
const std::string kCli = envOr("KIVREL_CLI", KIVREL_CLI_PATH);
const std::string kSample = envOr("KIVREL_SAMPLE", KIVREL_SAMPLE_PATH);

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Result {
  int exitCode;
  std::string out;
  std::string err;
};

class Cli : public ::testing::Test {
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

  // Runs kivrel with args; stdinFile (if given) becomes its standard input.
  Result run(const std::vector<std::string>& args, const std::string& stdinFile = "/dev/null") {
    const std::string out = path("stdout").string(), err = path("stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, stdinFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv{const_cast<char*>(kCli.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, kCli.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {-1, "", "spawn failed"};
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
  }

  // Compiles a document description into a record stream in the test's folder.
  std::string compile(const json& document, const std::string& name = "doc") {
    writeFile(path(name + ".json"), document.dump());
    const std::string records = path(name + ".kvr").string();
    const Result r = run({"compile", path(name + ".json").string(), "-o", records});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return records;
  }

  std::vector<std::string> outlineTexts(const std::vector<std::string>& args) {
    const Result r = run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> texts;
    const json doc = json::parse(r.out);
    for (const json& item : doc["items"]) texts.push_back(item["text"]);
    return texts;
  }

  fs::path dir_;
};

json heading(const std::string& text, int y, int size = 32, int x = 1440) {
  return {{"text", text}, {"x", x}, {"y", y}, {"size", size}, {"bold", true}};
}

// Four pages: a title block, chapters whose text trips the sentence, comma and
// bracket tests, headings at two indents, and body text in between.
json switchesDocument() {
  auto page = [](std::vector<json> heads) {
    json blocks = json::array();
    blocks.push_back({{"text", "Opening line of body text on this page"}, {"x", 1440}, {"y", 1800}});
    for (json& h : heads) blocks.push_back(h);
    for (int i = 0; i < 6; ++i)
      blocks.push_back({{"text", "Body text of the report, long enough to be body"},
                        {"x", 1440}, {"y", 8000 + 400 * i}});
    return json{{"blocks", blocks}};
  };
  return {{"pages",
           {json{{"blocks", {heading("Report Title", 2500, 48), heading("Introduction", 3400)}}},
            page({heading("第2章 結論。", 2500), heading("第3章 設計、実装", 3400),
                  heading("「付録」", 4300)}),
            page({heading("Overview", 2500, 28), heading("Details", 3400, 28, 2880),
                  heading("More", 4300, 24)}),
            page({heading("第4章 まとめ", 2500)})}}};
}

std::vector<std::string> sampleHeadings() {
  return {"第1章 はじめに",  "1.1 背景",          "1.2 本書の構成",  "第2章 システム構成",
          "2.1 処理の流れ",  "2.2 入力形式",      "第3章 Heading Analysis", "3.1 Numbering",
          "3.1.1 Kanji Numerals", "3.2 Character Size", "第4章 Evaluation", "4.1 Test Documents",
          "4.2 Results"};
}

TEST_F(Cli, SampleOutlineHoldsTheReportHeadingsRankedByNumbering) {
  const Result r = run({"outline", "--format", "json", kSample});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const json doc = json::parse(r.out);
  EXPECT_EQ(doc["result"], 0);
  std::vector<std::string> texts;
  for (const json& item : doc["items"]) {
    texts.push_back(item["text"]);
    const std::string text = item["text"];
    const int dots = static_cast<int>(std::count(text.begin(), text.end(), '.'));
    const int expectedLevel = text.rfind("第", 0) == 0 ? 1 : dots + 1;
    EXPECT_EQ(item["level"], expectedLevel) << text;
    EXPECT_GE(item["page"].get<int>(), 3) << text;  // nothing from the title or contents pages
  }
  EXPECT_EQ(texts, sampleHeadings());
}

TEST_F(Cli, EveryFormatListsTheSameHeadingsAtTheSameDepth) {
  const json items = json::parse(run({"outline", "--format", "json", kSample}).out)["items"];
  ASSERT_FALSE(items.empty());
  struct Case {
    const char* format;
    int header;           // lines before the first item
    std::string (*expected)(const json& item);
  };
  const Case cases[] = {
      {"tree", 0, [](const json& i) {
         return std::to_string(i["page"].get<int>()) + "  " +
                std::string(2 * (i["level"].get<int>() - 1), ' ') + i["text"].get<std::string>();
       }},
      {"tsv", 1, [](const json& i) {
         return std::to_string(i["page"].get<int>()) + "\t" + std::to_string(i["point"].get<int>()) +
                "\t" + std::to_string(i["level"].get<int>()) + "\t" +
                std::to_string(i["cx"].get<long>()) + "\t" + std::to_string(i["cy"].get<long>()) +
                "\t" + i["text"].get<std::string>();
       }},
      {"markdown", 0, [](const json& i) {
         return std::string(2 * (i["level"].get<int>() - 1), ' ') + "- " +
                i["text"].get<std::string>() + " (p. " + std::to_string(i["page"].get<int>()) + ")";
       }},
  };
  for (const Case& c : cases) {
    const Result r = run({"outline", "--format", c.format, kSample});
    ASSERT_EQ(r.exitCode, 0) << c.format << ": " << r.err;
    std::istringstream lines(r.out);
    std::string line;
    for (int i = 0; i < c.header; ++i) std::getline(lines, line);
    for (const json& item : items) {
      ASSERT_TRUE(std::getline(lines, line)) << c.format;
      EXPECT_EQ(line, c.expected(item)) << c.format;
    }
    EXPECT_FALSE(std::getline(lines, line)) << c.format << " has extra line " << line;
  }
}

TEST_F(Cli, StandardInputGivesTheSameOutlineAsTheFile) {
  const Result fromFile = run({"outline", kSample});
  const Result fromPipe = run({"outline", "-"}, kSample);
  const Result noArgument = run({"outline"}, kSample);
  ASSERT_EQ(fromFile.exitCode, 0);
  EXPECT_EQ(fromPipe.out, fromFile.out);
  EXPECT_EQ(noArgument.out, fromFile.out);

  // A pipe cannot seek, and the reader skips bodies by seeking.
  const std::string fifo = path("input.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << readFile(kSample); });
  const Result fromFifo = run({"outline", "-"}, fifo);
  writer.join();
  EXPECT_EQ(fromFifo.exitCode, 0) << fromFifo.err;
  EXPECT_EQ(fromFifo.out, fromFile.out);
}

TEST_F(Cli, EachSwitchChangesTheOutlineAsItsFlagBitDoes) {
  const std::string doc = compile(switchesDocument());
  const std::vector<std::string> base = outlineTexts({"outline", "--format", "json", doc});
  auto has = [](const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
  };
  ASSERT_FALSE(has(base, "第2章 結論。"));
  ASSERT_TRUE(has(base, "第3章 設計、実装"));
  struct Case {
    const char* option;
    int flags;  // the raw value the switch stands for
    const char* text;
    bool presentWithSwitch;
  };
  const Case cases[] = {
      {"--keep-sentences", 522 | 1, "第2章 結論。", true},
      {"--reject-commas", 522 & ~2, "第3章 設計、実装", false},
      {"--keep-parenthesised", 522 | 4, "「付録」", true},
      {"--no-title", 522 & ~8, "Report Title", true},
  };
  for (const Case& c : cases) {
    const auto withSwitch = outlineTexts({"outline", "--format", "json", c.option, doc});
    EXPECT_EQ(has(withSwitch, c.text), c.presentWithSwitch) << c.option;
    EXPECT_NE(has(base, c.text), c.presentWithSwitch) << c.option;
    EXPECT_EQ(withSwitch, outlineTexts({"outline", "--format", "json", "--flags",
                                        std::to_string(c.flags), doc}))
        << c.option;
  }

  // Indent refinement shows in the points, not the texts.
  auto points = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"outline", "--format", "json"});
    args.push_back(doc);
    std::vector<int> result;
    const json doc = json::parse(run(args).out);
    for (const json& item : doc["items"]) result.push_back(item["point"]);
    return result;
  };
  EXPECT_NE(points({}), points({"--no-indent-refinement"}));
  EXPECT_EQ(points({"--no-indent-refinement"}), points({"--flags", std::to_string(522 & ~0x200)}));
}

TEST_F(Cli, RangeLengthAndContentsOptionsReachTheSettings) {
  const std::string doc = compile(switchesDocument());
  const auto all = outlineTexts({"outline", "--format", "json", doc});
  const auto withoutPage2 = outlineTexts({"outline", "--format", "json", "--exclude", "2", doc});
  // Page 2 holds one heading.
  EXPECT_EQ(all.size() - withoutPage2.size(), 1u);
  EXPECT_EQ(std::count(withoutPage2.begin(), withoutPage2.end(), "第3章 設計、実装"), 0);
  const auto shortOnly = outlineTexts({"outline", "--format", "json", "--max-length", "7", doc});
  for (const std::string& text : shortOnly) EXPECT_LT(text.size(), 7u) << text;
  EXPECT_LT(shortOnly.size(), all.size());

  const json contents = {{"pages", {{{"blocks", {
      {{"text", "Introduction ........ 12"}, {"y", 3000}},
      {{"text", "Methods ............. 15"}, {"y", 3500}}}}}}}};
  const Result r = run({"outline", "--format", "json", "--toc-document", "--page-offset", "2",
                     compile(contents, "contents")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const json items = json::parse(r.out)["items"];
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]["text"], "Introduction");
  EXPECT_EQ(items[0]["page"], 14);
  EXPECT_EQ(items[1]["page"], 17);
}

TEST_F(Cli, ExplainGivesEveryParagraphAVerdictThatMatchesTheOutline) {
  const Result r = run({"explain", "--json", kSample});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> accepted;
  int contentsLines = 0;
  const json doc = json::parse(r.out);
  for (const json& p : doc["paragraphs"]) {
    EXPECT_FALSE(p["text"].get<std::string>().empty());
    if (p["accepted"]) {
      accepted.push_back(p["text"]);
    } else {
      EXPECT_TRUE(p.contains("reason"));
      if (p["page"] == 2) {
        EXPECT_EQ(p["reason"], -2500);
        EXPECT_EQ(p["reasonText"], "table of contents");
        ++contentsLines;
      }
    }
  }
  EXPECT_EQ(accepted, sampleHeadings());
  EXPECT_GT(contentsLines, 10);
  const Result table = run({"explain", kSample});
  EXPECT_NE(table.out.find("dropped -2500 (table of contents)"), std::string::npos);
}

TEST_F(Cli, LogFilesHoldTheRawAndTheConvertedLog) {
  const Result r = run({"outline", "--log", path("log.txt").string(), "--log-raw",
                     path("raw.txt").string(), kSample});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string log = readFile(path("log.txt")), raw = readFile(path("raw.txt"));
  EXPECT_NE(log.find("#sect ページ番号 1 width = 11906"), std::string::npos);
  EXPECT_NE(log.find("第1章 はじめに"), std::string::npos);
  EXPECT_EQ(raw.find("ページ"), std::string::npos);
  // Shift-JIS for ページ.
  EXPECT_NE(raw.find("\x83\x79\x81\x5b\x83\x57"), std::string::npos);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), std::count(raw.begin(), raw.end(), '\n'));
}

TEST_F(Cli, DumpDecodesTheSampleAndFlagsWhatTheReaderWouldMisread) {
  const Result sample = run({"dump", "--json", kSample});
  ASSERT_EQ(sample.exitCode, 0) << sample.err;
  std::istringstream lines(sample.out);
  std::string line;
  std::uint64_t expectedOffset = 0;
  int texts = 0;
  while (std::getline(lines, line)) {
    const json record = json::parse(line);
    EXPECT_EQ(record["offset"], expectedOffset);
    EXPECT_TRUE(record["problems"].empty()) << line;
    const std::string name = record["name"];
    expectedOffset += 8 + (name == "Tab" ? 0 : record["length"].get<std::uint64_t>());
    if (name == "Text" && record["fields"]["text"] == "第1章 はじめに") ++texts;
  }
  EXPECT_EQ(expectedOffset, fs::file_size(kSample));
  EXPECT_EQ(texts, 1);  // the heading; its contents line carries leaders

  // One defect per stream: after a desynchronising record the rest is noise.
  struct Case {
    json raw;
    const char* problem;
  };
  const Case cases[] = {
      {{{"type", 19}, {"length", 4}, {"hex", "00000000"}}, "Tab with recordLength 4"},
      {{{"type", 15}, {"length", 2}, {"hex", "abcd"}}, "unknown type: the reader skips 2 bytes"},
      {{{"type", 20}, {"length", 12}, {"hex", "0100000002000000"}},
       "recordLength 12 differs from the body size 8"},
      {{{"type", 6}, {"length", 40}, {"hex", "4100"}}, "truncated: the body needs 40 bytes, 2 remain"},
  };
  for (const Case& c : cases) {
    const json doc = {{"pages", {{{"blocks", {"heading", {{"raw", c.raw}}}}}}}};
    const Result r = run({"dump", compile(doc, "broken")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(c.problem), std::string::npos) << c.problem << "\n" << r.out;
  }
}

TEST_F(Cli, BadInputGivesAMessageNamingTheFileAndExitCodeOne) {
  writeFile(path("garbage.bin"), std::string("\x93\x27\xff\x00garbage bytes here", 22));
  writeFile(path("bad.json"), "{\n  \"pages\": [\n    {\"blocks\": [x]}\n  ]\n}\n");
  writeFile(path("typo.json"), R"({"pages":[{"blocks":[{"text":"a","sise":3}]}]})");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"outline", path("missing.kvr").string()}, "missing.kvr: cannot open"},
      {{"outline", dir_.string()}, "is a directory"},
      {{"explain", path("garbage.bin").string()}, "garbage.bin: not a record stream"},
      {{"compile", path("bad.json").string(), "-o", path("out.kvr").string()}, "bad.json:3:17:"},
      {{"compile", path("typo.json").string(), "-o", path("out.kvr").string()},
       "pages[0].blocks[0]: unknown key \"sise\""},
      {{"dump", path("missing.kvr").string()}, "missing.kvr: cannot open"},
  };
  for (const Case& c : cases) {
    const Result r = run(c.args);
    EXPECT_EQ(r.exitCode, 1) << c.args[0] << " " << c.args[1];
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_FALSE(fs::exists(path("out.kvr")));
}

TEST_F(Cli, InputThatStartsLikeAPdfGoesToThePdfFrontEnd) {
  writeFile(path("broken.pdf"), "%PDF-1.4 nothing of a PDF follows");
#ifdef KIVREL_HAVE_PDF
  const std::string expected = "broken.pdf: cannot read the PDF";
#else
  const std::string expected = "built without the PDF front end";
#endif
  for (const char* command : {"outline", "explain"}) {
    const Result r = run({command, path("broken.pdf").string()});
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
  }
  const Result r = run({"pdf2records", path("broken.pdf").string(), "-o", path("out.kvr").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_FALSE(fs::exists(path("out.kvr")));
}

TEST_F(Cli, FailedCompileLeavesAnExistingOutputUntouched) {
  writeFile(path("out.kvr"), "previous");
  writeFile(path("bad.json"), "{\"pages\": [");
  EXPECT_EQ(run({"compile", path("bad.json").string(), "-o", path("out.kvr").string()}).exitCode, 1);
  EXPECT_EQ(readFile(path("out.kvr")), "previous");
  std::vector<std::string> leftovers;
  for (const auto& entry : fs::directory_iterator(dir_))
    leftovers.push_back(entry.path().filename().string());
  std::sort(leftovers.begin(), leftovers.end());
  EXPECT_EQ(leftovers, (std::vector<std::string>{"bad.json", "out.kvr", "stderr", "stdout"}));
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
  const std::vector<std::string> cases[] = {
      {},
      {"outline", "--no-such-option", kSample},
      {"outline", "--flags", "3", "--no-title", kSample},
      {"outline", "--format", "yaml", kSample},
      {"compile", kSample},
      {"frobnicate"},
  };
  for (const auto& args : cases) {
    const Result r = run(args);
    EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "(none)" : args.back());
    EXPECT_FALSE(r.err.empty());
  }
  EXPECT_NE(run({"outline", "--flags", "3", "--no-title", kSample}).err.find("--flags"),
            std::string::npos);
}

TEST_F(Cli, HelpAndVersionExitWithZero) {
  for (const char* command : {"outline", "explain", "dump", "compile", "pdf2records"}) {
    const Result r = run({command, "--help"});
    EXPECT_EQ(r.exitCode, 0) << command;
    EXPECT_NE(r.out.find("Usage:"), std::string::npos) << command;
  }
  const Result version = run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("kivrel ", 0), 0u) << version.out;
}

TEST_F(Cli, InterruptWhileReadingExitsWith130) {
  const std::string fifo = path("input.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Holds the write end open so that the command keeps waiting for input.
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    if (fd >= 0) ::close(fd);
  });
  pid_t pid = 0;
  const std::string out = path("stdout").string();
  std::vector<char*> argv{const_cast<char*>(kCli.c_str()), const_cast<char*>("outline"),
                          const_cast<char*>("--quiet"), const_cast<char*>(fifo.c_str()), nullptr};
  ASSERT_EQ(posix_spawn(&pid, kCli.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  writer.join();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
}

}  // namespace

// Runs the kivrel binary as a user would and checks what it prints.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "apps/cli_harness.h"
#include "support/sanitized.h"

namespace {

using namespace kivrel_cli_test;
using nlohmann::json;

const std::string kSample = envOr("KIVREL_SAMPLE", KIVREL_SAMPLE_PATH);

class Cli : public CliTest {
 protected:
  // Compiles a document description into a record stream in the test's folder.
  std::string compile(const json& document, const std::string& name = "doc") {
    writeFile(path(name + ".json"), document.dump());
    const std::string records = path(name + ".kvr").string();
    const Result r = run({"compile", path(name + ".json").string(), "-o", records});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return records;
  }

  // The items of `kivrel outline --format json` with the options, one field each.
  std::vector<json> outline(std::vector<std::string> args, const char* field = "text") {
    args.insert(args.begin(), {"outline", "--format", "json"});
    const Result r = run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<json> values;
    const json doc = json::parse(r.out);
    for (const json& item : doc["items"]) values.push_back(item[field]);
    return values;
  }

  // Writes the sample, then head, then count copies of piece.
  std::string sampleThen(const std::string& name, const std::string& head,
                         const std::string& piece, int count) {
    std::ofstream out(path(name), std::ios::binary);
    out << readFile(kSample) << head;
    for (int i = 0; i < count; ++i) out << piece;
    return path(name).string();
  }
};

// A record header of an unknown type with an empty body.
const std::string kEmptyRecord("\x7f\0\0\0\0\0\0\0", 8);

// Sends signal to the command after a pause; a command that does not stop
// within two seconds is killed, so that it fails the test instead of hanging it.
void signalAfter(pid_t pid, int signal, int pauseMs) {
  std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
  kill(pid, signal);
  for (int i = 0; i < 40; ++i) {
    siginfo_t info{};
    if (waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid, SIGKILL);
}

json heading(const std::string& text, int y, int size = 32, int x = 1440) {
  return {{"text", text}, {"x", x}, {"y", y}, {"size", size}, {"bold", true}};
}

json body(int y) {
  return {{"text", "Body text of the report, long enough to be body"}, {"x", 1440}, {"y", y}};
}

// Four pages: a title block, chapters whose text trips the sentence, comma and
// bracket tests, headings at two indents, and body text in between.
json switchesDocument() {
  auto page = [](std::vector<json> heads) {
    json blocks = json::array();
    blocks.push_back({{"text", "Opening line of body text on this page"}, {"x", 1440}, {"y", 1800}});
    for (json& h : heads) blocks.push_back(h);
    for (int i = 0; i < 6; ++i) blocks.push_back(body(8000 + 400 * i));
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
    const std::string text = item["text"];
    texts.push_back(text);
    const int dots = static_cast<int>(std::count(text.begin(), text.end(), '.'));
    EXPECT_EQ(item["level"], text.rfind("第", 0) == 0 ? 1 : dots + 1) << text;
    EXPECT_GE(item["page"].get<int>(), 3) << text;  // nothing from the title or contents pages
  }
  EXPECT_EQ(texts, sampleHeadings());
}

// Levels 3, 1, 3, 2: neither the first item nor the jump from 1 to 3 may
// indent a markdown item by four spaces or more, which would make a code
// block. ESC [31m would recolour a terminal; CSI (U+009B) is its one-unit form.
TEST_F(Cli, EachFormatWritesEveryItemWithItsFieldsNestingAndControlsShown) {
  const std::string control = "第1章 a\x1b[31mb\\c\x7f\xc2\x9b\xc2\xa0" "d";
  const json doc = {{"pages",
                     {{{"blocks", {heading("1.1.1 Deep start", 1800), body(2600),
                                   heading(control, 3400), body(4200),
                                   heading("1.1.2 Deep again", 5000), body(5800)}}},
                      {{"blocks", {heading("1.2 Mid", 1800), body(2600)}}}}}};
  const std::string stream = compile(doc);
  const std::string shown = "第1章 a\\x1b[31mb\\c\\x7f\\x9b\xc2\xa0" "d";
  const std::pair<const char*, std::string> cases[] = {
      {"tree",
       "1      1.1.1 Deep start\n1  " + shown + "\n1      1.1.2 Deep again\n2    1.2 Mid\n"},
      {"tsv",
       "page\tpoint\tlevel\tcx\tcy\ttext\n1\t400\t3\t1440\t1800\t1.1.1 Deep start\n"
       "1\t1000\t1\t1440\t3400\t第1章 a\\x1b[31mb\\\\c\\x7f\\x9b\xc2\xa0" "d\n"
       "1\t400\t3\t1440\t5000\t1.1.2 Deep again\n2\t500\t2\t1440\t1800\t1.2 Mid\n"},
      {"markdown",
       "- 1.1.1 Deep start (p. 1)\n- 第1章 a\\\\x1b\\[31mb\\\\c\\\\x7f\\\\x9b\xc2\xa0" "d (p. 1)\n"
       "  - 1.1.2 Deep again (p. 1)\n  - 1.2 Mid (p. 2)\n"},
      {"json",
       R"({"result":0,"items":[{"page":1,"point":400,"level":3,"text":"1.1.1 Deep start",)"
       R"("cx":1440,"cy":1800},{"page":1,"point":1000,"level":1,"text":"第1章 a\u001b[31mb\\c)"
       "\x7f\xc2\x9b\xc2\xa0" R"(d","cx":1440,"cy":3400},{"page":1,"point":400,"level":3,)"
       R"("text":"1.1.2 Deep again","cx":1440,"cy":5000},{"page":2,"point":500,"level":2,)"
       R"("text":"1.2 Mid","cx":1440,"cy":1800}]})" "\n"},
  };
  for (const auto& [format, expected] : cases) {
    SCOPED_TRACE(format);
    const Result r = run({"outline", "--no-title", "--format", format, stream});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, expected);
  }
  const Result explained = run({"explain", "--no-title", stream});
  EXPECT_NE(explained.out.find("\n      " + shown + "\n"), std::string::npos) << explained.out;
}

// A stream is read as the extraction goes, from a file as from a pipe (which
// cannot seek, and the reader skips bodies by seeking): a record body the
// reader passes over is never held.
TEST_F(Cli, ALargeStreamIsReadAsItGoesNotHeldWholeFromAFileOrAPipe) {
  // A record of an unknown type with a body of 64 MiB (0x04000000).
  const std::string large = sampleThen("large.kvr", std::string("\x7f\0\0\0\0\0\0\x04", 8),
                                       std::string(1 << 20, '\0'), 64);
  const std::string expected = run({"outline", kSample}).out;
  EXPECT_EQ(run({"outline"}, kSample).out, expected);  // standard input
  const std::string fifo = path("input.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Copied in pieces: a child's peak memory counts its parent's at the spawn.
  std::thread writer([&] {
    std::ifstream in(large, std::ios::binary);
    std::ofstream(fifo, std::ios::binary) << in.rdbuf();
  });
  const Result fromFifo = run({"outline", "-"}, fifo);
  writer.join();
  const Result fromFile = run({"outline", large});
  for (const Result* r : {&fromFile, &fromFifo}) {
    EXPECT_EQ(r->exitCode, 0) << r->err;
    EXPECT_EQ(r->out, expected);
    if (!kSanitized) EXPECT_LT(r->peakRssKb, 32 * 1024) << (r == &fromFile ? "file" : "pipe");
  }
  const Result dumped = run({"dump", large});
  EXPECT_EQ(dumped.exitCode, 0) << dumped.err;
  EXPECT_NE(dumped.out.find("  unknown "), std::string::npos);
  EXPECT_NE(dumped.out.find(std::to_string(std::filesystem::file_size(large)) + " bytes, "),
            std::string::npos);
  if (!kSanitized) EXPECT_LT(dumped.peakRssKb, 32 * 1024) << "dump";
}

TEST_F(Cli, ALongLogIsWrittenAsTheRunGoesNotHeldWhole) {
  // Each empty record of an unknown type logs a line of its own: about
  // 100 MB of log from a 24 MB stream.
  constexpr int kRecords = 3'000'000;
  const std::string stream = sampleThen("chatty.kvr", "", kEmptyRecord, kRecords);
  const Result r = run({"outline", "--log", path("log.txt").string(), "--log-raw",
                        path("raw.txt").string(), stream});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, run({"outline", kSample}).out);
  const std::string log = readFile(path("log.txt")), raw = readFile(path("raw.txt"));
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = raw.find("recordType = 127, recordLength = 0\n", at)) !=
                           std::string::npos;
       ++at) {
    ++lines;
  }
  EXPECT_EQ(lines, kRecords);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), std::count(raw.begin(), raw.end(), '\n'));
  if (!kSanitized) EXPECT_LT(r.peakRssKb, 32 * 1024);
}

TEST_F(Cli, EachOptionReachesTheSettings) {
  const std::string doc = compile(switchesDocument());
  const std::vector<json> base = outline({doc});
  auto has = [](const std::vector<json>& v, const char* s) {
    return std::find(v.begin(), v.end(), json(s)) != v.end();
  };
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
    SCOPED_TRACE(c.option);
    const std::vector<json> withSwitch = outline({c.option, doc});
    EXPECT_EQ(has(withSwitch, c.text), c.presentWithSwitch);
    EXPECT_NE(has(base, c.text), c.presentWithSwitch);
    EXPECT_EQ(withSwitch, outline({"--flags", std::to_string(c.flags), doc}));
  }
  // Indent refinement shows in the points, not the texts.
  const std::vector<json> unrefined = outline({"--no-indent-refinement", doc}, "point");
  EXPECT_NE(outline({doc}, "point"), unrefined);
  EXPECT_EQ(unrefined, outline({"--flags", std::to_string(522 & ~0x200), doc}, "point"));
  // --flags reads decimal (even with a leading zero) or 0x hexadecimal; ten
  // keeps the comma heading that eight, octal 010, drops.
  EXPECT_TRUE(has(outline({"--flags", "010", doc}), "第3章 設計、実装"));
  EXPECT_FALSE(has(outline({"--flags", "8", doc}), "第3章 設計、実装"));
  EXPECT_EQ(outline({"--flags", "0x20A", doc}), base);
  // Long arguments (up to the 128 KiB the system passes) are read, not
  // recursed over.
  const std::string blanks(60000, ' ');
  EXPECT_EQ(outline({"--flags", std::string(120000, '0') + "522", doc}), base);

  // Page 2 holds one heading.
  const std::vector<json> withoutPage2 = outline({"--exclude", blanks + "2" + blanks, doc});
  EXPECT_EQ(base.size() - withoutPage2.size(), 1u);
  EXPECT_FALSE(has(withoutPage2, "第3章 設計、実装"));
  const std::vector<json> shortOnly = outline({"--max-length", blanks + "7", doc});
  for (const json& text : shortOnly) EXPECT_LT(text.get<std::string>().size(), 7u) << text;
  EXPECT_LT(shortOnly.size(), base.size());

  const json contents = {{"pages", {{{"blocks", {
      {{"text", "Introduction ........ 12"}, {"y", 3000}},
      {{"text", "Methods ............. 15"}, {"y", 3500}}}}}}}};
  const std::string toc = compile(contents, "contents");
  EXPECT_EQ(outline({"--toc-document", "--page-offset", "2", toc}, "page"),
            (std::vector<json>{14, 17}));
  EXPECT_EQ(outline({"--toc-document", toc}), (std::vector<json>{"Introduction", "Methods"}));
}

TEST_F(Cli, ExplainAndLogFilesAgreeWithTheOutline) {
  const Result r = run({"explain", "--json", kSample});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> accepted;
  int contentsLines = 0;
  const json explained = json::parse(r.out);
  for (const json& p : explained["paragraphs"]) {
    EXPECT_FALSE(p["text"].get<std::string>().empty());
    if (!p["accepted"]) EXPECT_NE(p["reasonText"], "") << p["text"] << " " << p["reason"];
    if (p["accepted"]) {
      accepted.push_back(p["text"]);
    } else if (p["page"] == 2) {
      EXPECT_EQ(p["reason"], -2500);
      EXPECT_EQ(p["reasonText"], "table of contents");
      ++contentsLines;
    }
  }
  EXPECT_EQ(accepted, sampleHeadings());
  EXPECT_GT(contentsLines, 10);
  EXPECT_NE(run({"explain", kSample}).out.find("dropped -2500 (table of contents)"),
            std::string::npos);

  const Result logged = run({"outline", "--log", path("log.txt").string(), "--log-raw",
                             path("raw.txt").string(), kSample});
  ASSERT_EQ(logged.exitCode, 0) << logged.err;
  const std::string log = readFile(path("log.txt")), raw = readFile(path("raw.txt"));
  EXPECT_NE(log.find("#sect ページ番号 1 width = 11906"), std::string::npos);
  EXPECT_NE(log.find("第1章 はじめに"), std::string::npos);
  EXPECT_EQ(raw.find("ページ"), std::string::npos);
  EXPECT_NE(raw.find("\x83\x79\x81\x5b\x83\x57"), std::string::npos);  // ページ in Shift-JIS
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), std::count(raw.begin(), raw.end(), '\n'));
  // explain writes the log of the same run.
  const Result explainLogged =
      run({"explain", "--log-raw", path("explain.txt").string(), kSample});
  ASSERT_EQ(explainLogged.exitCode, 0) << explainLogged.err;
  EXPECT_EQ(readFile(path("explain.txt")), raw);
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
    expectedOffset += 8 + (record["name"] == "Tab" ? 0 : record["length"].get<std::uint64_t>());
    if (record["name"] == "Text" && record["fields"]["text"] == "第1章 はじめに") ++texts;
  }
  EXPECT_EQ(expectedOffset, fs::file_size(kSample));
  EXPECT_EQ(texts, 1);  // the heading; its contents line carries leaders

  // One defect per stream: after a desynchronising record the rest is noise.
  struct Case {
    json raw;
    const char* problem;
    bool said = true;
  };
  const Case cases[] = {
      {{{"type", 19}, {"length", 4}, {"hex", "00000000"}}, "Tab with recordLength 4"},
      {{{"type", 15}, {"length", 2}, {"hex", "abcd"}}, "unknown type: the reader skips 2 bytes"},
      {{{"type", 20}, {"length", 12}, {"hex", "0100000002000000"}},
       "recordLength 12 differs from the body size 8"},
      {{{"type", 6}, {"length", 40}, {"hex", "4100"}}, "truncated: the body needs 40 bytes, 2 remain"},
      // Only lengths of 2^31 or more are flagged as such.
      {{{"type", 7}, {"length", 2147483647}}, "2^31 or more", false},
      {{{"type", 7}, {"length", 2147483648}}, "2^31 or more"},
      {{{"type", 7}, {"length", 4294967295}}, "2^31 or more"},
  };
  for (const Case& c : cases) {
    const json doc = {{"pages", {{{"blocks", {"heading", {{"raw", c.raw}}}}}}}};
    const Result r = run({"dump", compile(doc, "broken")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find(c.problem) != std::string::npos, c.said) << c.problem << "\n" << r.out;
  }
}

TEST_F(Cli, BadInputNamesTheFileExitsWithOneAndLeavesOutputsAlone) {
  writeFile(path("garbage.bin"), std::string("\x93\x27\xff\x00garbage bytes here", 22));
  writeFile(path("bad.json"), "{\n  \"pages\": [\n    {\"blocks\": [x]}\n  ]\n}\n");
  writeFile(path("typo.json"), R"({"pages":[{"blocks":[{"text":"a","sise":3}]}]})");
  writeFile(path("flat.json"), R"({"pages":[{"width":0,"height":0,"blocks":[{"text":"a"}]}]})");
  writeFile(path("twice.json"),
            R"({"pages":[{"blocks":[]},{"blocks":[{"text":"a"},{"size":3,"text":"b","size":4}]}]})");
  writeFile(path("broken.pdf"), "%PDF-1.4 nothing of a PDF follows");
  writeFile(path("padded.json"), std::string(100000, '\n') + "{\"pages\": []}");
  writeFile(path("old.kvr"), "previous");
#ifdef KIVREL_HAVE_PDF
  const std::string pdfError = "broken.pdf: cannot read the PDF";
#else
  const std::string pdfError = "built without the PDF front end";
#endif
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"outline", path("missing.kvr").string()}, "missing.kvr: cannot open"},
      {{"outline", dir_.string()}, "is a directory"},
      {{"explain", path("garbage.bin").string()}, "garbage.bin: not a record stream"},
      {{"compile", path("bad.json").string(), "-o", path("old.kvr").string()}, "bad.json:3:17:"},
      {{"compile", path("typo.json").string(), "-o", path("out.kvr").string()},
       "pages[0].blocks[0]: unknown key \"sise\""},
      {{"compile", path("twice.json").string(), "-o", path("out.kvr").string()},
       "pages[1].blocks[1]: duplicate key \"size\""},
      {{"compile", path("flat.json").string(), "-o", path("out.kvr").string()},
       "pages[0].width: out of range [1, "},
      {{"dump", path("missing.kvr").string()}, "missing.kvr: cannot open"},
      {{"outline", path("typo.json").string()}, "typo.json: not a record stream ("},
      {{"dump", path("broken.pdf").string()}, "broken.pdf: is a PDF; 'kivrel pdf2records'"},
      {{"explain", path("typo.json").string()}, "with 'kivrel compile'"},
      {{"outline", path("padded.json").string()}, "with 'kivrel compile'"},
      {{"outline", path("broken.pdf").string()}, pdfError},
      {{"explain", path("broken.pdf").string()}, pdfError},
      {{"pdf2records", path("broken.pdf").string(), "-o", path("out.kvr").string()}, ""},
      {{"outline", "--log", path("out.log").string(), path("garbage.bin").string()},
       "garbage.bin: not a record stream"},
      {{"explain", "--log-raw", path("out.log").string(), path("missing.kvr").string()},
       "missing.kvr: cannot open"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    const Result r = run(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_FALSE(fs::exists(path("out.kvr")));
  EXPECT_EQ(readFile(path("old.kvr")), "previous");
  // Empty input is no error, but is said.
  writeFile(path("empty.kvr"), "");
  const Result empty = run({"outline", path("empty.kvr").string()});
  EXPECT_EQ(empty.exitCode, 0);
  EXPECT_TRUE(empty.out.empty());
  EXPECT_NE(empty.err.find("empty.kvr: empty input"), std::string::npos) << empty.err;
  std::vector<std::string> leftovers;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    leftovers.push_back(entry.path().filename().string());
  }
  std::sort(leftovers.begin(), leftovers.end());
  EXPECT_EQ(leftovers,
            (std::vector<std::string>{"bad.json", "broken.pdf", "empty.kvr", "flat.json",
                                      "garbage.bin", "old.kvr", "padded.json", "stderr", "stdout",
                                      "twice.json", "typo.json"}));
}

TEST_F(Cli, InterruptWhileReadingExitsWith130) {
  // SIGTERM and SIGHUP end the command as they would have, once it has
  // cleaned up.
  for (const auto& [signal, exitCode] : {std::pair{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}}) {
    SCOPED_TRACE(signal);
    const std::string fifo = path("input.fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Holds the write end open once the command has opened the read end, so
    // that the command waits for input; gives up waiting after ten seconds,
    // since a command slow to start (under a sanitizer, on a loaded machine)
    // may be signalled before it opens anything.
    bool opened = false;
    const Result r =
        run({"outline", "--quiet", "--log", path("run.log").string(), fifo}, "/dev/null",
            [&, signal = signal](pid_t pid) {
              int fd = -1;
              for (int i = 0; i < 2000 && fd < 0; ++i) {
                fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
              opened = fd >= 0;
              signalAfter(pid, signal, 300);  // into the read
              if (fd >= 0) ::close(fd);
            });
    fs::remove(fifo);
    EXPECT_TRUE(opened);
    EXPECT_EQ(r.exitCode, exitCode);
    // Neither the log nor the temporary file beside it is left.
    for (const auto& entry : fs::directory_iterator(dir_)) {
      EXPECT_EQ(entry.path().filename().string().find("run.log"), std::string::npos);
    }
  }
  // So does a log written to a FIFO whose reader never reads.
  const std::string chatty = sampleThen("chatty.kvr", "", kEmptyRecord, 100000);
  const std::string stalled = path("stalled.fifo").string();
  ASSERT_EQ(mkfifo(stalled.c_str(), 0600), 0);
  const int reader = ::open(stalled.c_str(), O_RDONLY | O_NONBLOCK);
  // Named as the log, as standard output with the log sent there, and as
  // standard output with the command's own output.
  const std::pair<std::vector<std::string>, bool> stalling[] = {
      {{"outline", "--quiet", "--log-raw", stalled, chatty}, false},
      {{"outline", "--quiet", "--log-raw", "-", chatty}, true},
      {{"dump", "--quiet", chatty}, true},
  };
  for (const auto& [args, toStdout] : stalling) {
    SCOPED_TRACE(args[0] + " " + args[2]);
    stdoutTarget = toStdout ? stalled : "";
    const Result blocked =
        run(args, "/dev/null", [](pid_t pid) { signalAfter(pid, SIGTERM, 500); });
    EXPECT_EQ(blocked.exitCode, 143) << blocked.err;
  }
  stdoutTarget.clear();
  ::close(reader);
  // Opening a FIFO that no one writes to waits as well.
  const std::string unopened = path("unopened.fifo").string();
  ASSERT_EQ(mkfifo(unopened.c_str(), 0600), 0);
  const Result waiting = run({"outline", "--quiet", unopened}, "/dev/null",
                             [](pid_t pid) { signalAfter(pid, SIGINT, 500); });
  EXPECT_EQ(waiting.exitCode, 130) << waiting.err;
}

TEST_F(Cli, OutputsThatAreNotRegularFilesAreWrittenThroughNotReplaced) {
  const json doc = {{"pages", {{{"blocks", {"第1章 概要"}}}}}};
  const std::string expected = readFile(compile(doc, "small"));
  ASSERT_LT(expected.size(), 16384u);  // fits in a pipe's buffer

  const std::string fifo = path("out.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  Result r = run({"compile", path("small.json").string(), "-o", fifo});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::string piped(65536, '\0');
  const ssize_t n = ::read(reader, piped.data(), piped.size());
  ::close(reader);
  piped.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
  EXPECT_TRUE(piped == expected) << piped.size() << " bytes through the pipe";

  // A link's target gets the output and keeps its mode; the link stays.
  writeFile(path("target.kvr"), "previous");
  fs::permissions(path("target.kvr"), fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(path("target.kvr"), path("link.kvr"));
  r = run({"compile", path("small.json").string(), "-o", path("link.kvr").string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(path("link.kvr"))));
  EXPECT_TRUE(readFile(path("target.kvr")) == expected);
  EXPECT_EQ(fs::status(path("target.kvr")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);

  // "-" is standard output.
  const std::pair<std::vector<std::string>, std::string> dashes[] = {
      {{"compile", path("small.json").string(), "-o", "-"}, expected},
      {{"outline", "--log-raw", "-", "--format", "json", path("small.kvr").string()},
       "recordType = 1"},
  };
  for (const auto& [args, wanted] : dashes) {
    SCOPED_TRACE(args[0]);
    r = run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(wanted), std::string::npos);
    EXPECT_FALSE(fs::exists("-"));
    fs::remove("-");
  }
  // So is /dev/stdout, even on a regular file: written through, not renamed
  // over, so the outline follows the log.
  r = run({"outline", "--log-raw", "/dev/stdout", "--format", "json", path("small.kvr").string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("recordType = 1", 0), 0u);
  EXPECT_NE(r.out.find("{\"result\":0"), std::string::npos);
}

TEST_F(Cli, TreeIndentsLevelsDeeperThanSixteenAsSixteenAndRightAlignsPageNumbers) {
  // Each heading larger than all before it: twenty levels, the last heading
  // at level 1 and the first at level 20. A heading on page 10 widens the
  // page column.
  json blocks = json::array();
  for (int i = 0; i < 20; ++i) {
    blocks.push_back(heading(std::string("Heading ") + char('A' + i), 4000 + 1600 * i, 24 + 2 * i));
    blocks.push_back(body(4800 + 1600 * i));
  }
  json pages = {{{"height", 40000}, {"blocks", blocks}}};
  for (int p = 2; p <= 10; ++p) pages.push_back({{"blocks", {body(2600), body(3400)}}});
  pages.back()["blocks"].push_back(heading("結論", 1800, 62));
  const std::string stream = compile({{"pages", pages}});
  const Result levels = run({"outline", "--no-title", "--format", "tsv", stream});
  ASSERT_EQ(levels.exitCode, 0) << levels.err;
  ASSERT_NE(levels.out.find("\t20\t1440\t4000\tHeading A\n"), std::string::npos) << levels.out;
  const Result tree = run({"outline", "--no-title", stream});
  ASSERT_EQ(tree.exitCode, 0) << tree.err;
  for (const char* expected : {"Heading A", "Heading E"}) {  // levels 20 and 16
    EXPECT_NE(tree.out.find(" 1  " + std::string(30, ' ') + expected + "\n"), std::string::npos)
        << tree.out;
  }
  EXPECT_NE(tree.out.find("\n 1  " + std::string(28, ' ') + "Heading F\n"), std::string::npos);
  EXPECT_NE(tree.out.find("\n 1  Heading T\n10  結論\n"), std::string::npos) << tree.out;
}

TEST_F(Cli, UsageErrorsExitWithTwoAndNameWhatWasNotUnderstood) {
  writeFile(path("doc.json"), R"({"pages":[{"blocks":[{"text":"a"}]}]})");
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, ""},
      {{"frobnicate"}, "frobnicate"},
      {{"compile", kSample}, ""},
      {{"compile", path("doc.json").string(), "-o", ""}, ""},
      {{"outline", "--no-such-option", kSample}, "--no-such-option"},
      {{"outline", "--format", "yaml", kSample}, "yaml"},
      {{"outline", "--flags", "3", "--no-title", kSample}, "--flags"},
      {{"outlnie", kSample}, "outlnie"},
      {{"--frobnicate"}, "--frobnicate"},
      {{"outline", "--exclude", "abc", kSample}, "abc"},
      {{"outline", "--exclude", "1..3", kSample}, "1..3"},
      {{"outline", "--exclude", "1-3 5", kSample}, "1-3 5"},
      {{"outline", "--log", "same.log", "--log-raw", "same.log", kSample}, "same.log"},
      {{"explain", "--log", "-", "--log-raw", "-", kSample}, "both name standard output"},
      {{"outline", "--log", "-", "--log-raw", "/dev/stdout", kSample}, "both name standard output"},
      {{"outline", "--max-length", "0", kSample}, "at least 1, not 0"},
      {{"outline", "--max-length", "-3", kSample}, "at least 1, not -3"},
      {{"outline", "--max-length", "abc", kSample}, "whole number, not 'abc'"},
      {{"outline", "--max-length", "99999999999", kSample}, "'99999999999' is too large"},
      {{"outline", "--flags", "0b1", kSample}, "decimal or 0x hexadecimal, not '0b1'"},
      {{"outline", "--flags", "-1", kSample}, "not '-1'"},
      {{"outline", "--flags", "0x80000000", kSample}, "'0x80000000' is too large"},
  };
  for (const auto& [args, named] : cases) {
    SCOPED_TRACE(args.empty() ? "(none)" : args[0] + " " + named);
    const Result r = run(args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(r.err.empty());
    EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  // Every documented form of a range is taken.
  for (const char* ranges : {"1-3,5,10-", "-2", " 2 , 4- ", "１－３，５", ""}) {
    const Result r = run({"outline", "--exclude", ranges, kSample});
    EXPECT_EQ(r.exitCode, 0) << ranges << ": " << r.err;
  }
}

TEST_F(Cli, AFullStandardOutputFailsEveryCommand) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  stdoutTarget = "/dev/full";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"--version"}, {"outline", kSample}}) {
    const Result r = run(args);
    EXPECT_EQ(r.exitCode, 1) << args[0];
    EXPECT_NE(r.err.find("write error"), std::string::npos) << args[0] << ": " << r.err;
  }
}

}  // namespace

// The record reader: the model each record builds and the log line it writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>

#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "model/model_release.h"
#include "support/doc_builder.h"
#include "support/stream_bufs.h"

namespace Kivrel {
namespace {

using testing::DocBuilder;
using testing::NoSeekBuf;
using testing::Para;
using testing::sjis;
using testing::TrickleBuf;

std::string header(std::uint32_t type, std::uint32_t length) {
  return "recordType = " + std::to_string(type) + ", recordLength = " + std::to_string(length) +
         "\n";
}

// What a read leaves behind: the model, the log, and the input stream's
// state and gcount, which are the host's to look at after the run.
struct ReadOutcome {
  std::string pages;  // "<pageCount>:", then " <width>x<height>" per page, '*': special
  std::string dump;
  std::string log;
  std::ios_base::iostate state;
  std::streamsize gcount;
  auto fields() const { return std::make_tuple(pages, dump, log, state, gcount); }
};

ReadOutcome readThrough(std::istream& in) {
  Kivrant k;
  std::ostringstream log;
  k.setLogStream(&log);
  KivrantInternals::analyzePages(k, in);
  std::string pages = std::to_string(KivrantInternals::pageCount(k)) + ":";
  for (const MPPage* p : KivrantInternals::pages(k)) {
    pages += " " + std::to_string(p->width) + "x" + std::to_string(p->height) +
             (p->specialSection ? "*" : "");
  }
  ReadOutcome out{pages, testing::dumpModel(k), log.str(), in.rdstate(), in.gcount()};
  testing::releaseModel(k);
  return out;
}

ReadOutcome read(const std::string& bytes) {
  std::istringstream in(bytes, std::ios::binary);
  return readThrough(in);
}

TEST(RecordReader, EveryRecordTypeWritesItsLogLine) {
  DocBuilder b;
  RecordWriter& w = b.writer();
  w.section({0x80, 0, 12000, 16838});
  w.paragraphFormat({0xFFFFFFFFu, -1, 5, 20, 1, 2, 3, 4, 5});
  CharacterFormatFields cf;
  cf.flag = 0x80000001u;
  cf.fontNo = 3;
  cf.charSize = 18;
  w.characterFormat(cf);
  w.textUtf8("見出し");
  w.tab();
  w.paragraphPosition(100, -200);
  w.tableRowFormat(3);
  w.cellEnd();
  w.tableRowEnd();
  w.lineBreak();
  w.paragraphBreak();
  w.pageBreak();
  unsigned char reserved[kReserved3BodySize] = {};
  w.raw(3, 80, reserved, sizeof reserved);
  w.raw(15, 12, "twelve bytes", 12);
  w.raw(0xFFFFFFFFu, 0, nullptr, 0);
  w.textUtf8("x");

  std::string expected =
      header(1, 356) + sjis("#sect ページ番号 1 width = 12000 height = 16838 ") +
      std::string(34, '-') + "\n" + header(4, 1408) +
      sjis(
          "[段落書式] flag = 4294967295 owflag = -1 文字数 = 5 文字サイズ = 20 fi = 1 li = 2 "
          "ri = 3 sb = 4 sa = 5\n") +
      header(5, 120) +
      sjis("\t[文字書式] flag = -2147483647 フォントNO = 3 文字サイズ = 20 スタイルNO = 0\n") +
      header(6, 6) + sjis("\t\t[文字列] [見出し]\n") + header(19, 0) + header(20, 8) +
      sjis("[段落位置] cx = 100 cy = -200\n") + header(2, 64) + sjis("[表の行書式]\n") +
      header(8, 0) + sjis("[セル終了]\n") + header(9, 0) + sjis("[表の行終了]\n") + header(10, 0) +
      sjis("[改行]\n") + header(7, 0) + header(11, 0) + sjis("#page ページ番号 2") +
      std::string(34, '-') + "\n" + header(3, 80) + header(15, 12) + header(4294967295u, 0) +
      header(6, 2) + sjis("\t\t[文字列] [x]\n");
  const ReadOutcome r = read(b.build());
  EXPECT_EQ(r.log, expected) << logToUtf8(r.log);
  EXPECT_EQ(r.dump,
            "1:0 pt=10 cells=0 cx=100 cy=-200 style=0 |見出し    |\n"
            "1:1 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"
            "1:2 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"
            "1:3 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"
            "1:4 pt=10 cells=0 cx=0 cy=0 style=0 |x|\n");
}

TEST(RecordReader, RecordSequencesBuildTheirParagraphs) {
  struct Case {
    const char* name;
    std::function<void(DocBuilder&)> build;
    const char* dump;
    std::string tail = "";  // raw bytes after the built stream
    std::string logEnd = "";
  };
  const Case cases[] = {
      Case{"TextAfterPageChangeGoesToLastParagraphOfPreviousPage",
           [](DocBuilder& b) {
             b.page().para("a", {.charFormat = false, .position = false});
             b.pageBreak().text("b").page().text("c");
           },
           "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |abc|\n"},
      Case{"ParagraphFormatInsideARowTakesTheRowsCellCount",
           [](DocBuilder& b) {
             b.page().row({"x", "y"}, {.charFormat = false, .position = false, .tableCells = 3});
             b.para("after", {.charFormat = false, .position = false});
           },
           "1:0 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"
           "1:1 pt=10 cells=3 cx=0 cy=0 style=0 |x|\n"
           "1:2 pt=10 cells=3 cx=0 cy=0 style=0 |y|\n"
           "1:3 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"
           "1:4 pt=10 cells=0 cx=0 cy=0 style=0 |after|\n"},
      Case{"BreaksStartParagraphsAndTabsAddFourSpaces",
           [](DocBuilder& b) {
             b.page().text("lost").paragraphBreak().text("a\tb").lineBreak();
             b.tab().writer().paragraphPosition(7, 8);
           },
           "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |a    b|\n"
           "1:1 pt=10 cells=0 cx=7 cy=8 style=0 |    |\n"},
      Case{"OddTextLengthDropsTheLastByteAndStaysInStepAndCutTextAppliesTheUnitsRead",
           [](DocBuilder& b) {
             b.page().paragraphBreak();
             b.writer().raw(6, 5, "a\0b\0c", 5);
             b.text("d");
             b.writer().raw(6, 100, "e\0f\0g", 5);
           },
           "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |abdef|\n"},
      Case{"RepeatedAndSameLengthTextsKeepTheirOwnContent",
           [](DocBuilder& b) {
             const Para bare{.charFormat = false, .position = false};
             b.page().para("ab", bare).para("ab", bare).para("ac", bare).para("ab", bare);
             b.pageBreak().lineBreak().text("ab");
           },
           "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |ab|\n"
           "1:1 pt=10 cells=0 cx=0 cy=0 style=0 |ab|\n"
           "1:2 pt=10 cells=0 cx=0 cy=0 style=0 |ac|\n"
           "1:3 pt=10 cells=0 cx=0 cy=0 style=0 |ab|\n"
           "2:0 pt=10 cells=0 cx=0 cy=0 style=0 |ab|\n"},
      Case{"IgnoredAndAllZeroSectionsOpenNoPage",
           [](DocBuilder& b) {
             b.writer().section({0, 0x02, 100, 100});
             unsigned char zero[kSectionBodySize] = {};
             b.writer().raw(1, 0, zero, sizeof zero);  // the length is not consulted
             b.paragraphBreak().text("orphan");
             b.page().paragraphBreak().text("kept");
           },
           "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |kept|\n"},
      Case{"RecordsBeforeAPageOrParagraphAreConsumedAndIgnored",
           [](DocBuilder& b) {
             b.text("t").tab().run("r", {.size = 44});
             b.writer().paragraphPosition(1, 2);
             b.pageBreak().para("p").lineBreak().paragraphBreak();
             b.writer().tableRowFormat(4);
             b.writer().tableRowEnd();
             b.page().para("first", {.size = 30, .position = false});
           },
           // style 0: the early character format added no style
           "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |first|\n"},
      Case{"UnknownTypesAreSkippedByTheirLengthAndALongSkipEndsTheInputButActs",
           [](DocBuilder& b) {
             b.page().para("a", {.charFormat = false, .position = false});
             b.writer().raw(15, 12, "\x06\0\0\0\x02\0\0\0zzzz", 12);
             b.writer().raw(0, 2, "zz", 2);
             b.text("ok");
             b.writer().raw(7, 0x80000000u, nullptr, 0);  // ParagraphBreak
             b.text("never read");
           },
           "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |aok|\n"
           "1:1 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"},
      // ParagraphPosition(70, 80) one byte short: logged, but not applied.
      Case{"CutFixedRecordIsDropped", [](DocBuilder& b) { b.page().para("p", {.cx = 5, .cy = 6}); },
           "1:0 pt=10 cells=0 cx=5 cy=6 style=0 |p|\n",
           std::string("\x14\0\0\0\x08\0\0\0\x46\0\0\0\x50\0\0", 15), header(20, 8)},
      Case{"HeaderCutInsideLengthIsLoggedWithTheBytesRead",
           [](DocBuilder& b) { b.page().paragraphBreak(); },
           "1:0 pt=10 cells=0 cx=0 cy=0 style=0 |    |\n", std::string("\x13\0\0\0\x05\x01", 6),
           header(19, 0x105)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DocBuilder b;
    c.build(b);
    const ReadOutcome r = read(b.build() + c.tail);
    EXPECT_EQ(r.dump, c.dump);
    EXPECT_EQ(r.log.substr(r.log.size() - c.logEnd.size()), c.logEnd);
  }
}

TEST(RecordReader, ATextEqualToTheOneJustStoredSharesItsStorage) {
  DocBuilder b;
  b.page().para("Running head").para("Running head").para("Running hear");
  std::istringstream in(b.build(), std::ios::binary);
  Kivrant k;
  KivrantInternals::analyzePages(k, in);
  ParagraphList& paragraphs = KivrantInternals::pages(k)[0]->paragraphs;
  ASSERT_EQ(paragraphs.size(), 3u);
  EXPECT_EQ(paragraphs[0]->text.units(), paragraphs[1]->text.units());
  EXPECT_NE(paragraphs[1]->text.units(), paragraphs[2]->text.units());
  // A paragraph taken out on its own frees no storage it shares with
  // another, and the model's release, now paragraph by paragraph, none twice.
  internal::discardFromModel(k, paragraphs[0]);
  paragraphs.erase(paragraphs.begin());
  EXPECT_EQ(paragraphs[0]->text.view(), icu::UnicodeString(u"Running head"));
  testing::releaseModel(k);
}

// Blank paragraphs that are alike are listed as one object: each must still
// read exactly the fields its own records gave it.
TEST(RecordReader, BlankParagraphsKeepTheFieldsTheirRecordsGave) {
  DocBuilder b;
  b.page().para("x", {.size = 20, .cy = 100});  // the first style, index 0
  RecordWriter& w = b.writer();
  // Each blank differs from the one before in at most one field.
  w.paragraphBreak();  // 1:1
  w.paragraphBreak();  // 1:2
  b.run("", {.size = 30});
  w.paragraphBreak();  // 1:3
  w.paragraphPosition(5, 7);
  w.paragraphBreak();  // 1:4
  w.paragraphPosition(6, 7);
  w.paragraphBreak();  // 1:5
  w.paragraphPosition(6, 8);
  w.paragraphBreak();      // 1:6
  w.tableRowFormat(3);     // 1:7
  w.paragraphFormat({});   // 1:8, a cell
  w.tableRowEnd();         // 1:9
  b.pageBreak();
  w.paragraphBreak();  // 2:0
  w.paragraphBreak();  // 2:1
  EXPECT_EQ(read(b.build()).dump,
            "1:0 pt=10 cells=0 cx=1800 cy=100 style=0 |x|\n"
            "1:1 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"
            "1:2 pt=10 cells=0 cx=0 cy=0 style=1 ||\n"
            "1:3 pt=10 cells=0 cx=5 cy=7 style=0 ||\n"
            "1:4 pt=10 cells=0 cx=6 cy=7 style=0 ||\n"
            "1:5 pt=10 cells=0 cx=6 cy=8 style=0 ||\n"
            "1:6 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"
            "1:7 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"
            "1:8 pt=10 cells=3 cx=0 cy=0 style=0 ||\n"
            "1:9 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"
            "2:0 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"
            "2:1 pt=10 cells=0 cx=0 cy=0 style=0 ||\n");
}

// The blank still current when a page opens is finished on the page that
// lists it, not on the new one.
TEST(RecordReader, ABlankParagraphFinishedAfterAPageChangeStaysOnItsPage) {
  for (bool bySection : {false, true}) {
    SCOPED_TRACE(bySection ? "Section" : "PageBreak");
    DocBuilder b;
    b.page().para("x", {.cy = 100});
    RecordWriter& w = b.writer();
    w.paragraphBreak();  // 1:1
    w.paragraphBreak();  // 1:2, alike 1:1, current across the page change
    if (bySection) {
      b.page();
    } else {
      b.pageBreak();
    }
    w.paragraphBreak();  // 2:0
    w.paragraphPosition(5, 7);
    EXPECT_EQ(read(b.build()).dump,
              "1:0 pt=10 cells=0 cx=1800 cy=100 style=0 |x|\n"
              "1:1 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"
              "1:2 pt=10 cells=0 cx=0 cy=0 style=0 ||\n"
              "2:0 pt=10 cells=0 cx=5 cy=7 style=0 ||\n");
  }
}

TEST(RecordReader, PageBreakCopiesTheLastPagesGeometry) {
  DocBuilder b;
  b.page(100, 200).page(300, 400, true).pageBreak();
  EXPECT_EQ(read(b.build()).pages, "3: 100x200 300x400* 300x400*");
}

TEST(RecordReader, CharacterFormatsAccumulateFlagsAndSizeUntilParagraphFormat) {
  DocBuilder b;
  b.page().para("", {.size = 20, .charFormat = false});
  b.run("a", {.size = 18, .flag = 1});
  b.run("b", {.size = 24, .flag = 4});
  b.paragraphBreak().run("c", {.size = 10});  // a break does not reset the run
  b.para("", {.size = 12, .charFormat = false}).run("d", {.size = 10});
  Kivrant k;
  testing::loadModel(k, b.build());
  std::string table;  // size/flag/use count of each style
  for (const StyleEntry* e : KivrantInternals::styleTable(k)) {
    table += std::to_string(e->charSize()) + "/" + std::to_string(e->flag()) + "/" +
             std::to_string(e->useCount) + " ";
  }
  EXPECT_EQ(table, "20/1/0 24/5/1 12/0/0 ");
  EXPECT_EQ(testing::dumpModel(k, true),
            "1:0 pt=10 cells=0 cx=1800 cy=3367 style=1 |ab|\n"
            "1:1 pt=10 cells=0 cx=0 cy=0 style=1 |c|\n"
            "1:2 pt=10 cells=0 cx=1800 cy=3767 style=2 |d|\n");
  testing::releaseModel(k);
}

TEST(RecordReader, EmptyOrShortInputBuildsNothingAndLogsNothing) {
  for (const std::string input : {std::string(), std::string("\x01\0\0", 3)}) {
    const ReadOutcome r = read(input);
    EXPECT_EQ(r.pages, "0:");
    EXPECT_EQ(r.log, "");
  }
}

TEST(RecordReaderInput, EveryKindOfInputEndsAsItsLastReadLeftIt) {
  // Larger than the reader's blocks, with records across their boundaries.
  DocBuilder b;
  b.page();
  for (int i = 0; i < 300; ++i) {
    b.para("paragraph " + std::to_string(i) + std::string(static_cast<std::size_t>(i), 'x'));
    b.writer().raw(15, 7, "skipped", 7);
  }
  const std::string skipped(300000, 's');  // beyond what the reader holds
  b.writer().raw(15, 300000, skipped.data(), skipped.size());
  b.para("after the long skip");
  const std::string doc = b.build();
  const std::ios_base::iostate ended = std::ios_base::eofbit | std::ios_base::failbit;
  struct Case {
    const char* name;
    std::string tail;
    std::streamsize gcount;  // of the read that met the end
  };
  const Case cases[] = {
      {"complete", "", 0},
      {"cut inside a type", std::string("\x13\0", 2), 2},
      {"cut inside a length", std::string("\x13\0\0\0\x05", 5), 0},
      {"cut fixed body", std::string("\x14\0\0\0\x08\0\0\0\x01\0\0", 11), 0},
      {"cut text", std::string("\x06\0\0\0\x64\0\0\0a\0b", 11), 0},
      {"skip past the end", std::string("\x0f\0\0\0\xff\0\0\0", 8), 0},
      {"skip of 2^31", std::string("\x07\0\0\0\0\0\0\x80zz", 10), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = doc + c.tail;
    const ReadOutcome expected = read(bytes);
    EXPECT_EQ(expected.state, ended);
    EXPECT_EQ(expected.gcount, c.gcount);

    const std::string path = ::testing::TempDir() + "kivrel_reader_input.kvr";
    std::ofstream(path, std::ios::binary) << bytes;
    std::ifstream file(path, std::ios::binary);
    NoSeekBuf noSeek(bytes);
    std::istream noSeekIn(&noSeek);
    TrickleBuf trickle(bytes, false);
    std::istream trickleIn(&trickle);
    for (std::istream* in : {static_cast<std::istream*>(&file), &noSeekIn, &trickleIn}) {
      EXPECT_EQ(readThrough(*in).fields(), expected.fields());
    }
    std::remove(path.c_str());
  }

  // A buffer that throws where the bytes run out: the stream sets badbit and
  // keeps the exception (let through when asked to: extract_test and
  // block_input_test).
  const std::string cut = doc + std::string("\x13\0", 2);
  ReadOutcome complete = read(doc);
  complete.state = std::ios_base::badbit;
  complete.gcount = 0;
  TrickleBuf throwing(cut, true);
  std::istream throwingIn(&throwing);
  EXPECT_EQ(readThrough(throwingIn).fields(), complete.fields());

  Kivrant k;
  std::istringstream strict(doc, std::ios::binary);
  strict.exceptions(std::ios_base::failbit);
  EXPECT_THROW(KivrantInternals::analyzePages(k, strict), std::ios_base::failure);
  EXPECT_EQ(strict.rdstate(), ended);
  EXPECT_EQ(testing::dumpModel(k), complete.dump);
  testing::releaseModel(k);
}

}  // namespace
}  // namespace Kivrel

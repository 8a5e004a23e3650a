// The kivrel command's choice of mode: PDF input gets the quality mode,
// --exact the exact heuristics, record streams the exact ones unless
// --quality is given; explain and the outline's levels follow the mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "apps/cli_harness.h"
#include "pdf/pdf_maker.h"

namespace {

using namespace kivrel_cli_test;
using nlohmann::json;

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

class QualityCli : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    pdf_ = path("doc.pdf").string();
    records_ = path("doc.kvr").string();
    writeFile(pdf_, sectionsPdf());
    ASSERT_EQ(run({"pdf2records", "-q", pdf_, "-o", records_}).exitCode, 0);
  }

  json runJson(std::vector<std::string> args) {
    args.push_back("-q");
    const Result r = run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return json::parse(r.out);
  }

  std::string pdf_;
  std::string records_;
};

std::vector<std::string> texts(const json& outline) {
  std::vector<std::string> out;
  for (const json& item : outline["items"]) out.push_back(item["text"]);
  return out;
}

TEST_F(QualityCli, PdfDefaultsToTheQualityModeAndExplainFollowsTheMode) {
  const json quality = runJson({"outline", "--format", "json", pdf_});
  const json exact = runJson({"outline", "--format", "json", "--exact", pdf_});
  EXPECT_EQ(quality, runJson({"outline", "--format", "json", "--quality", records_}));
  EXPECT_EQ(exact, runJson({"outline", "--format", "json", records_}));
  // The modes differ where the layout speaks: the list item and the label.
  const std::vector<std::string> q = texts(quality), e = texts(exact);
  EXPECT_EQ(std::count(e.begin(), e.end(), "1) Install the package"), 2);
  EXPECT_EQ(q, (std::vector<std::string>{"1 Section B", "2 Section C", "3 Section D",
                                         "4 Section E"}));

  const json explain = runJson({"explain", "--json", pdf_});
  EXPECT_EQ(explain["mode"], "quality");
  // The kept paragraphs are the outline's items, with its levels, and every
  // decision the exact rules did not take has words.
  std::vector<std::pair<std::string, int>> kept, items;
  for (const json& p : explain["paragraphs"]) {
    const json& v = p["quality"];
    if (v["accepted"]) kept.emplace_back(v["text"], v["level"]);
    if (v.contains("reason")) EXPECT_NE(v["reasonText"], "") << p["text"];
  }
  for (const json& item : quality["items"]) items.emplace_back(item["text"], item["level"]);
  EXPECT_EQ(kept, items);
  const json exactExplain = runJson({"explain", "--json", "--exact", pdf_});
  EXPECT_EQ(exactExplain["mode"], "exact");
  EXPECT_FALSE(exactExplain["paragraphs"][0].contains("quality"));
}

}  // namespace

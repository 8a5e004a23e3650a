// Makes synthetic PDFs with known headings (and bookmarks), runs the exact
// and the quality extraction on each, and writes JSON lines for score.py:
//   corpus_eval OUTDIR [DOCS]
// writes OUTDIR/doc<N>.pdf, OUTDIR/truth.jsonl, OUTDIR/exact.jsonl and
// OUTDIR/quality.jsonl.
#include <cairo-pdf.h>
#include <cairo.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kivrel/pdf.h"
#include "kivrel/quality.h"

namespace {

constexpr double kWidth = 595, kHeight = 842, kMargin = 72, kBodySize = 10;

struct Heading {
  int page;
  int level;
  std::string text;
};

std::string json(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

const char* kWords[] = {"system", "reads", "the", "input", "and", "writes", "records", "each",
                        "page", "holds", "lines", "of", "text", "with", "sizes", "fonts"};

// One document: chapters (1), sections (1.1), unnumbered subsections, body
// text, a body-size "Note" line, numbered list items and page-number footers.
std::vector<Heading> makeDoc(const std::string& path, std::mt19937& rng) {
  std::vector<Heading> truth;
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  int page = 1;
  double y = kMargin;
  auto font = [&](double size, bool bold) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
  };
  auto footer = [&] {
    font(kBodySize, false);
    cairo_move_to(cr, kWidth / 2, kHeight - 40);
    cairo_show_text(cr, std::to_string(page).c_str());
  };
  auto line = [&](const std::string& text, double size, bool bold) {
    if (y + size * 1.6 > kHeight - kMargin) {
      footer();
      cairo_show_page(cr);
      ++page;
      y = kMargin;
    }
    y += size * 1.5;
    font(size, bold);
    cairo_move_to(cr, kMargin, y);
    cairo_show_text(cr, text.c_str());
  };
  std::vector<int> parents = {CAIRO_PDF_OUTLINE_ROOT, 0, 0, 0};
  auto heading = [&](const std::string& text, int level, double size) {
    line(text, size, true);
    truth.push_back({page, level, text});
    std::string link = "page=" + std::to_string(page) + " pos=[" + std::to_string(kMargin) +
                       " " + std::to_string(y) + "]";
    parents[level] = cairo_pdf_surface_add_outline(surface, parents[level - 1], text.c_str(),
                                                   link.c_str(), CAIRO_PDF_OUTLINE_FLAG_OPEN);
  };
  auto body = [&](int lines) {
    for (int l = 0; l < lines; ++l) {
      std::string s;
      for (int w = 0; w < 11; ++w) s += std::string(w ? " " : "") + kWords[rng() % 16];
      line(s + ".", kBodySize, false);
    }
  };
  const char* titles[] = {"Overview", "Design", "Storage", "Testing", "Release", "Limits"};
  int chapters = 2 + rng() % 3;
  for (int c = 1; c <= chapters; ++c) {
    heading(std::to_string(c) + " " + titles[(c + rng()) % 6], 1, 18);
    body(4 + rng() % 4);
    for (int s = 1; s <= 2 + int(rng() % 2); ++s) {
      heading(std::to_string(c) + "." + std::to_string(s) + " " + titles[rng() % 6] + " rules",
              2, 14);
      body(5 + rng() % 6);
      line("Note", kBodySize, false);
      body(2);
      if (rng() % 2) {
        heading(std::string("Details of the ") + kWords[rng() % 16], 3, 12);
        body(3);
      }
      line("1) Install the package", kBodySize, false);
      line("2) Run the command", kBodySize, false);
      body(6 + rng() % 10);
    }
  }
  footer();
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return truth;
}

void writeItems(std::ostream& out, const std::string& doc, Kivrel::KivOutlineList& list,
                const std::vector<Kivrel::KivQualityVerdict>* verdicts) {
  std::size_t v = 0;
  for (Kivrel::KivOutlineItem* item : list.items) {
    std::string text;
    item->text.toUTF8String(text);
    // Exact items carry points (higher is more important); quality items a level.
    int level = -item->point;
    if (verdicts) {
      while (v < verdicts->size() && !(*verdicts)[v].accepted) ++v;
      if (v < verdicts->size()) level = (*verdicts)[v++].level;
    }
    out << "{\"doc\": " << json(doc) << ", \"page\": " << item->pageNo
        << ", \"text\": " << json(text) << ", \"level\": " << level << "}\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: corpus_eval OUTDIR [DOCS]\n";
    return 2;
  }
  std::string dir = argv[1];
  int docs = argc > 2 ? std::stoi(argv[2]) : 20;
  std::mt19937 rng(7);
  std::ofstream truthOut(dir + "/truth.jsonl"), exactOut(dir + "/exact.jsonl"),
      qualityOut(dir + "/quality.jsonl");
  for (int d = 0; d < docs; ++d) {
    std::string name = "doc" + std::to_string(d) + ".pdf";
    for (const Heading& h : makeDoc(dir + "/" + name, rng)) {
      truthOut << "{\"doc\": " << json(name) << ", \"page\": " << h.page << ", \"text\": "
               << json(h.text) << ", \"level\": " << h.level << ", \"group\": \"synthetic\"}\n";
    }
    std::ifstream in(dir + "/" + name, std::ios::binary);
    std::string pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ostringstream records(std::ios::binary);
    Kivrel::convertPdfToRecords(pdf, records);
    Kivrel::Kivrant k;
    Kivrel::KivSettings settings;
    {
      std::istringstream rs(records.str(), std::ios::binary);
      Kivrel::KivOutlineList list;
      if (k.extract(rs, list, &settings) == 0) writeItems(exactOut, name, list, nullptr);
    }
    std::istringstream rs(records.str(), std::ios::binary);
    Kivrel::KivOutlineList list;
    std::vector<Kivrel::KivQualityVerdict> verdicts;
    if (Kivrel::extractQuality(k, rs, list, &settings, &verdicts) == 0) {
      writeItems(qualityOut, name, list, &verdicts);
    }
  }
  return 0;
}

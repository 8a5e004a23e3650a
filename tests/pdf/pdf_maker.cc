#include "pdf_maker.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <vector>

namespace Kivrel::testing {

namespace {

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

PdfMaker::PdfMaker(double width, double height)
    : surface_(cairo_pdf_surface_create_for_stream(append, &bytes_, width, height)),
      cr_(cairo_create(surface_)) {}

PdfMaker::~PdfMaker() {
  if (cr_) cairo_destroy(cr_);
  if (surface_) cairo_surface_destroy(surface_);
}

PdfMaker& PdfMaker::newPage(double width, double height) {
  cairo_show_page(cr_);
  cairo_pdf_surface_set_size(surface_, width, height);
  return *this;
}

void PdfMaker::select(const Font& font) {
  cairo_select_font_face(cr_, font.family,
                         font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr_, font.size);
}

PdfMaker& PdfMaker::text(std::string_view utf8, double x, double y, const Font& font) {
  select(font);
  cairo_move_to(cr_, x, y);
  cairo_show_text(cr_, std::string(utf8).c_str());
  return *this;
}

double PdfMaker::wrap(std::string_view utf8, double x, double y, double width, double pitch,
                      const Font& font) {
  select(font);
  // Words when the text has spaces, else code points.
  const bool spaced = utf8.find(' ') != std::string_view::npos;
  std::vector<std::string> pieces;
  for (char c : utf8) {
    const bool starts = spaced ? c == ' ' : (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (starts || pieces.empty()) pieces.emplace_back();
    if (!spaced || c != ' ') pieces.back() += c;
  }
  std::string line;
  for (const std::string& piece : pieces) {
    std::string candidate = line.empty() ? piece : line + (spaced ? " " : "") + piece;
    cairo_text_extents_t extents;
    cairo_text_extents(cr_, candidate.c_str(), &extents);
    if (!line.empty() && extents.x_advance > width) {
      text(line, x, y, font);
      y += pitch;
      candidate = piece;
    }
    line = candidate;
  }
  if (!line.empty()) {
    text(line, x, y, font);
    y += pitch;
  }
  return y;
}

std::string PdfMaker::finish() {
  cairo_destroy(cr_);
  cr_ = nullptr;
  cairo_surface_finish(surface_);
  cairo_surface_destroy(surface_);
  surface_ = nullptr;
  return bytes_;
}

}  // namespace Kivrel::testing

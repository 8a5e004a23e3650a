// What a PDF font name tells about the weight and slant of its glyphs.
#ifndef KIVREL_PDF_FONT_TRAITS_H_
#define KIVREL_PDF_FONT_TRAITS_H_

#include <string>
#include <string_view>

namespace Kivrel::pdf {

struct FontTraits {
  bool bold = false;
  bool italic = false;
};

// The font name without the six-letter subset tag ("ABCDEF+Foo-Bold" gives
// "Foo-Bold"). Names of embedded subsets differ only in that tag.
std::string_view stripSubsetTag(std::string_view fontName);

// Weight and slant read from a PostScript or family name: "Bold", "Heavy",
// "Black", "Semibold", "DemiBold", Japanese weight steps "W6" and above,
// "Midashi" display faces and the short weight suffixes "B", "DB", "EB",
// "H", "UB" after a separator; "Italic", "Oblique", "Kursiv". Case is ignored.
FontTraits fontTraitsFromName(std::string_view fontName);

}  // namespace Kivrel::pdf

#endif  // KIVREL_PDF_FONT_TRAITS_H_

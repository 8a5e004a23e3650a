// Synthetic record streams for benchmarks, resource tests and fuzz seeds.
#ifndef KIVREL_BENCH_DOCUMENT_GENERATOR_H_
#define KIVREL_BENCH_DOCUMENT_GENERATOR_H_

#include <cstdint>
#include <ostream>
#include <string>

namespace Kivrel::bench {

struct GeneratedStats {
  std::uint64_t bytes = 0;  // stream size
  int paragraphs = 0;       // paragraphs that carry text
  int pages = 0;
};

// Writes a report-like document of at least `paragraphs` text paragraphs: a
// title page, a table of contents, numbered chapters and sections in Japanese
// and English, body text, numbered and bulleted lists, tables, and a running
// header and footer on every page. The same seed gives the same bytes on every
// platform. out must be binary.
GeneratedStats writeDocument(std::ostream& out, int paragraphs, std::uint64_t seed);

// Inputs built to hit a known resource trap. `scale` is the count of the
// repeated element (records, paragraphs or code units, see below).
enum class Hostile {
  kHugeTextClaim,         // 40 bytes: a Text header claiming ~4 GB; scale ignored
  kHugeSkip,              // skips of 2^31 and more inside a small document of `scale` paragraphs
  kManyCharacterFormats,  // `scale` distinct character formats
  kManyPages,             // `scale` pages with one short paragraph each
  kBarePageBreaks,        // `scale` page breaks and nothing else: a page per 8 bytes
  kLongLeaderParagraphs,  // 8 paragraphs of `scale` code units of leaders ending in a letter
  kSameTextTopBand,       // `scale` paragraphs with one text in the top band
  kManyEmptyParagraphs,   // `scale` paragraph starts without text
  kRisingCharacterSizes,  // `scale` paragraphs, each in a larger size than the one before
};

constexpr Hostile kAllHostile[] = {
    Hostile::kHugeTextClaim,        Hostile::kHugeSkip,
    Hostile::kManyCharacterFormats, Hostile::kManyPages,
    Hostile::kBarePageBreaks,       Hostile::kLongLeaderParagraphs,
    Hostile::kSameTextTopBand,      Hostile::kManyEmptyParagraphs,
    Hostile::kRisingCharacterSizes,
};

const char* hostileName(Hostile kind);

GeneratedStats writeHostile(std::ostream& out, Hostile kind, int scale);

// Convenience: the stream as a byte string.
std::string makeDocument(int paragraphs, std::uint64_t seed, GeneratedStats* stats = nullptr);
std::string makeHostile(Hostile kind, int scale, GeneratedStats* stats = nullptr);

}  // namespace Kivrel::bench

#endif  // KIVREL_BENCH_DOCUMENT_GENERATOR_H_

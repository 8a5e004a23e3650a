// Writes the seed corpora of the fuzz targets:
//   kivrel_seed_corpus OUT_DIR [STREAM_FILE...]
// OUT_DIR/extract gets generated documents, the hostile inputs at a small
// scale and the given stream files, each behind several control bytes (the
// extract and quality targets read them alike); OUT_DIR/page_range gets
// page-range strings.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "document_generator.h"

namespace fs = std::filesystem;
using namespace Kivrel::bench;

namespace {

// Control bytes of the extraction fuzzers (fuzz_run.h): defaults; with log;
// table-of-contents flags with page ranges; null settings; every bit with a
// stop at poll 2.
constexpr unsigned char kControls[] = {0x00, 0x08, 0x11, 0x07, 0xA4};

bool write(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// The bytes the control byte's settings draw before the stream: for page
// ranges a length and that many characters ("1-2," in the fuzzer's alphabet).
std::string preamble(unsigned char control) {
  std::string p;
  if ((control & 0x07) == 7) return p;
  if ((control & 0x07) >= 5) p += "\x0a\x01";
  p += static_cast<char>(79);  // maxLength 80
  p += '\0';                   // pageOffset
  if (control & 0x10) p += std::string("\x04\x01\x0a\x02\x0c", 5);
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT_DIR [STREAM_FILE...]\n", argv[0]);
    return 2;
  }
  fs::path extractDir = fs::path(argv[1]) / "extract";
  fs::path rangeDir = fs::path(argv[1]) / "page_range";
  fs::create_directories(extractDir);
  fs::create_directories(rangeDir);

  std::vector<std::pair<std::string, std::string>> streams;
  for (int paragraphs : {4, 12, 30}) {
    streams.emplace_back("document_" + std::to_string(paragraphs),
                         makeDocument(paragraphs, 17u + paragraphs));
  }
  for (Hostile kind : kAllHostile) {
    int scale = kind == Hostile::kLongLeaderParagraphs ? 64 : 12;
    streams.emplace_back(hostileName(kind), makeHostile(kind, scale));
  }
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 1;
    }
    streams.emplace_back(fs::path(argv[i]).stem().string(),
                         std::string(std::istreambuf_iterator<char>(in), {}));
  }

  bool ok = true;
  for (const auto& [name, bytes] : streams) {
    for (unsigned char control : kControls) {
      char suffix[8];
      std::snprintf(suffix, sizeof suffix, "_%02x", control);
      ok &= write(extractDir / (name + suffix), std::string(1, static_cast<char>(control)) +
                                                    preamble(control) + bytes);
    }
  }
  // Even first byte: the rest indexes the fuzzer's alphabet (0-9 digits,
  // 10 '-', 11 ',', 12 U+FF0C, 13 U+FF0D, 14 U+FF10, 15 U+FF15, 16 space).
  const std::vector<std::string> ranges = {
      {0, 1, 10, 3, 11, 5, 11, 1, 0, 10},  // 1-3,5,10-
      {0, 10},                             // -
      {0, 5, 10, 3},                       // 5-3
      {0, 3, 10, 10, 5},                   // 3--5
      {0, 15, 13, 14, 12, 16, 2},          // full-width forms
  };
  int n = 0;
  for (const std::string& r : ranges) ok &= write(rangeDir / ("range_" + std::to_string(n++)), r);
  return ok ? 0 : 1;
}

#include "text_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>

namespace Kivrel::pdf {

namespace {

// Thresholds in ems of the font size unless said otherwise.
// A horizontal gap this wide splits a line into fragments (columns, cells);
// justified text rarely stretches a word space past one em.
constexpr double kFragmentGapEm = 1.5;
// Baselines closer than this belong to one row.
constexpr double kSameBaselineEm = 0.35;
// The baseline lies about a fifth of an em above the bottom of a word box.
constexpr double kDescentEm = 0.2;
// Larger baseline steps than this end a paragraph (1.5 line spacing fits).
constexpr double kMaxLinePitchEm = 1.75;
// Left edges and centres within this distance count as aligned; a one-em
// indent (an ideographic space) is not aligned.
constexpr double kAlignEm = 0.5;
// A first line may be indented by up to this much over the second.
constexpr double kFirstIndentEm = 4.0;
// A hanging indent follows a marker of at most this many characters, by at
// most this gap.
constexpr std::size_t kMaxMarkerChars = 8;
constexpr std::size_t kMaxShortMarkerChars = 4;  // those with letters in them
constexpr double kHangingGapEm = 2.0;
// Lines ending at one x (within a point) that mark a justified right edge.
constexpr int kJustifiedLines = 3;
// Width of the space before a word that wrapping had to move down.
constexpr double kWordSpaceEm = 0.5;
// Sizes that differ by less than this are one size (points).
constexpr double kSameSizePt = 0.5;
// Gap between words wider than this gets a space even when the PDF has none.
constexpr double kImpliedSpaceEm = 0.2;
// Normal leading, for counting blank lines in a vertical gap.
constexpr double kLineHeightEm = 1.2;
constexpr int kMaxBlankLines = 3;
// Rows of a table may be further apart than lines of a paragraph.
constexpr double kMaxTableRowPitchEm = 3.0;
// Column detection: the gutter lies in the middle half of the page, column
// lines are at least a quarter of the page wide, and both sides need a few.
constexpr double kGutterSearchFrom = 0.25;
constexpr double kGutterSearchTo = 0.75;
constexpr double kColumnLineMinWidth = 0.25;
constexpr double kFullWidthLine = 0.55;
constexpr int kMinColumnLines = 3;
constexpr double kMinGutterPt = 6.0;
constexpr double kGutterCrossingShare = 0.1;

struct Fragment {
  std::vector<Word> words;  // left to right
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  double size = 0;
  double baseline = 0;
};

struct Row {
  std::vector<Fragment> fragments;  // left to right
  double baseline = 0;
};

double baselineOf(const Word& w) { return w.y1 - kDescentEm * w.fontSize; }

double em(double size) { return size > 0 ? size : 10.0; }

bool isCjk(char16_t c) {
  return (c >= 0x3000 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFF00 && c <= 0xFFEF);
}

bool isLatinLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// A bullet or a list number: "•", "(a)", "iv.", "2.8.1.".
bool isMarker(const std::u16string& word) {
  if (word.empty() || word.size() > kMaxMarkerChars) return false;
  const auto letters = std::count_if(word.begin(), word.end(), isLatinLetter);
  return letters == 0 || (word.size() <= kMaxShortMarkerChars &&
                          letters < static_cast<std::ptrdiff_t>(word.size()));
}

Fragment makeFragment(std::vector<Word> words) {
  Fragment f;
  f.words = std::move(words);
  f.x0 = f.words.front().x0;
  f.x1 = f.words.back().x1;
  f.y0 = f.words.front().y0;
  f.y1 = f.words.front().y1;
  for (const Word& w : f.words) {
    f.y0 = std::min(f.y0, w.y0);
    f.y1 = std::max(f.y1, w.y1);
    f.size = std::max(f.size, w.fontSize);
  }
  f.baseline = baselineOf(f.words.front());
  return f;
}

// Rows by baseline, each split into fragments at wide gaps.
std::vector<Row> groupRows(std::vector<Word> words) {
  std::sort(words.begin(), words.end(), [](const Word& a, const Word& b) {
    return std::make_tuple(baselineOf(a), a.x0) < std::make_tuple(baselineOf(b), b.x0);
  });
  std::vector<std::vector<Word>> rowWords;
  double rowBaseline = 0;
  double rowSize = 0;
  for (Word& w : words) {
    const double base = baselineOf(w);
    const double tolerance = kSameBaselineEm * std::min(em(w.fontSize), em(rowSize));
    if (rowWords.empty() || base - rowBaseline > tolerance) {
      rowWords.emplace_back();
      rowBaseline = base;
      rowSize = w.fontSize;
    }
    rowWords.back().push_back(std::move(w));
  }
  std::vector<Row> rows;
  for (auto& list : rowWords) {
    std::sort(list.begin(), list.end(),
              [](const Word& a, const Word& b) { return a.x0 < b.x0; });
    Row row;
    std::vector<Word> current;
    for (Word& w : list) {
      if (!current.empty()) {
        const Word& prev = current.back();
        const double gap = w.x0 - prev.x1;
        if (gap > kFragmentGapEm * em(std::max(prev.fontSize, w.fontSize))) {
          row.fragments.push_back(makeFragment(std::move(current)));
          current.clear();
        }
      }
      current.push_back(std::move(w));
    }
    row.fragments.push_back(makeFragment(std::move(current)));
    row.baseline = row.fragments.front().baseline;
    rows.push_back(std::move(row));
  }
  return rows;
}

double gutterOf(const std::vector<Row>& rows, double pageWidth) {
  if (!(pageWidth > 0)) return -1;
  // Whole points, as the fragments cover them; a sweep over the fragments'
  // ends rather than a counter per point, so a page claiming to be a billion
  // points wide costs no more than any other.
  const double width = std::min(std::ceil(pageWidth), double{std::numeric_limits<int>::max() - 1});
  auto point = [&](double x) { return static_cast<int>(std::clamp(x, 0.0, width)); };
  std::vector<std::pair<int, int>> ends;  // (point, +1 where a fragment starts, -1 past its end)
  int counted = 0;
  for (const Row& row : rows) {
    for (const Fragment& f : row.fragments) {
      if (f.x1 - f.x0 >= kFullWidthLine * pageWidth) continue;
      ++counted;
      const int from = point(std::floor(f.x0));
      const int to = point(std::ceil(f.x1));
      if (from >= to) continue;
      ends.emplace_back(from, 1);
      ends.emplace_back(to, -1);
    }
  }
  std::sort(ends.begin(), ends.end());
  // A centred title or a figure caption may cross the gutter; a few such
  // lines do not hide it.
  const int allowed = static_cast<int>(kGutterCrossingShare * counted);
  const int searchFrom = static_cast<int>(std::min(kGutterSearchFrom * pageWidth, width));
  const int searchTo = static_cast<int>(std::min(kGutterSearchTo * pageWidth, width));
  int bestStart = -1;
  int bestLength = 0;
  int runStart = -1;  // start of the current stretch of low coverage, or -1
  int coverage = 0;
  auto closeRun = [&](int at) {
    if (runStart < 0) return;
    const int start = std::max(runStart, searchFrom);
    const int end = std::min(at, searchTo);
    if (end - start > bestLength) {
      bestLength = end - start;
      bestStart = start;
    }
    runStart = -1;
  };
  std::size_t i = 0;
  int x = 0;
  for (;;) {
    // Coverage is constant from x to the next end.
    if (coverage <= allowed) {
      if (runStart < 0) runStart = x;
    } else {
      closeRun(x);
    }
    if (i == ends.size() || x >= searchTo) break;
    x = ends[i].first;
    while (i < ends.size() && ends[i].first == x) coverage += ends[i++].second;
  }
  closeRun(searchTo);
  if (bestStart < 0 || bestLength < kMinGutterPt) return -1;
  const double gutter = bestStart + bestLength / 2.0;
  int left = 0;
  int right = 0;
  for (const Row& row : rows) {
    for (const Fragment& f : row.fragments) {
      if (f.x1 - f.x0 < kColumnLineMinWidth * pageWidth) continue;
      if (f.x1 <= gutter) ++left;
      if (f.x0 >= gutter) ++right;
    }
  }
  return left >= kMinColumnLines && right >= kMinColumnLines ? gutter : -1;
}

// Rows in reading order, one list per column run: full-width rows split the
// page into bands, and within a band the left column precedes the right.
std::vector<std::vector<Row>> readingOrder(std::vector<Row> rows, double gutter) {
  std::vector<std::vector<Row>> columns;
  if (gutter < 0) {
    columns.push_back(std::move(rows));
    return columns;
  }
  std::vector<Row> left;
  std::vector<Row> right;
  std::vector<Row> full;
  auto flush = [&](std::vector<Row>& run) {
    if (!run.empty()) columns.push_back(std::move(run));
    run.clear();
  };
  for (Row& row : rows) {
    const bool crosses = std::any_of(row.fragments.begin(), row.fragments.end(),
                                     [&](const Fragment& f) { return f.x0 < gutter && f.x1 > gutter; });
    if (crosses) {
      flush(left);
      flush(right);
      full.push_back(std::move(row));
      continue;
    }
    flush(full);
    Row l;
    Row r;
    l.baseline = r.baseline = row.baseline;
    for (Fragment& f : row.fragments) {
      (f.x1 <= gutter ? l : r).fragments.push_back(std::move(f));
    }
    if (!l.fragments.empty()) left.push_back(std::move(l));
    if (!r.fragments.empty()) right.push_back(std::move(r));
  }
  flush(full);
  flush(left);
  flush(right);
  return columns;
}

// Style key of the characters of a word; the dominant key wins a block.
using StyleKey = std::tuple<double, int, bool, bool>;

StyleKey styleOf(const Word& w) {
  return {std::round(w.fontSize * 2) / 2, w.fontId, w.bold, w.italic};
}

struct Line {
  std::u16string text;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  double baseline = 0;
  double firstWordWidth = 0;
  bool startsWithMarker = false;
  std::map<StyleKey, std::size_t> styleChars;
  StyleKey style;
  double size() const { return std::get<0>(style); }
};

StyleKey dominant(const std::map<StyleKey, std::size_t>& counts) {
  StyleKey best{};
  std::size_t bestCount = 0;
  for (const auto& [key, count] : counts) {
    if (count > bestCount) {
      best = key;
      bestCount = count;
    }
  }
  return best;
}

void appendWords(Line& line, const Fragment& f) {
  for (std::size_t i = 0; i < f.words.size(); ++i) {
    const Word& w = f.words[i];
    if (i > 0) {
      const Word& prev = f.words[i - 1];
      if (prev.spaceAfter || w.x0 - prev.x1 > kImpliedSpaceEm * em(w.fontSize)) {
        line.text += u' ';
      }
    }
    line.text += w.text;
    line.styleChars[styleOf(w)] += w.text.size();
  }
}

// Joins the fragments of a row into one line, a tab at each wide gap.
Line makeLine(const Row& row) {
  Line line;
  line.x0 = row.fragments.front().x0;
  line.x1 = row.fragments.back().x1;
  line.y0 = row.fragments.front().y0;
  line.y1 = row.fragments.front().y1;
  line.baseline = row.baseline;
  const Word& first = row.fragments.front().words.front();
  line.firstWordWidth = first.x1 - first.x0;
  line.startsWithMarker = isMarker(first.text);
  // Ideographic text wraps between any two characters.
  if (isCjk(first.text.front())) line.firstWordWidth /= static_cast<double>(first.text.size());
  for (std::size_t i = 0; i < row.fragments.size(); ++i) {
    if (i > 0) line.text += u'\t';
    appendWords(line, row.fragments[i]);
    line.y0 = std::min(line.y0, row.fragments[i].y0);
    line.y1 = std::max(line.y1, row.fragments[i].y1);
  }
  line.style = dominant(line.styleChars);
  return line;
}

Line makeLine(const Fragment& f) {
  Row row;
  row.fragments.push_back(f);
  row.baseline = f.baseline;
  return makeLine(row);
}

struct Paragraph {
  std::vector<Line> lines;
  double leftEdge() const { return lines.size() > 1 ? lines[1].x0 : lines[0].x0; }
};

bool continuesParagraph(const Paragraph& para, const Line& next, double columnRight) {
  const Line& last = para.lines.back();
  const double size = em(last.size());
  if (std::abs(last.size() - next.size()) >= kSameSizePt) return false;
  if (std::get<1>(last.style) != std::get<1>(next.style) ||
      std::get<2>(last.style) != std::get<2>(next.style) ||
      std::get<3>(last.style) != std::get<3>(next.style)) {
    return false;
  }
  const double pitch = next.baseline - last.baseline;
  if (pitch <= 0 || pitch > kMaxLinePitchEm * size) return false;
  if (para.lines.size() > 1) {
    const double paraPitch = last.baseline - para.lines[para.lines.size() - 2].baseline;
    if (pitch > paraPitch + kSameBaselineEm * size) return false;
  }
  const double tolerance = kAlignEm * size;
  const bool centred = std::abs((last.x0 + last.x1) / 2 - (next.x0 + next.x1) / 2) <= tolerance &&
                       std::abs(last.x0 - next.x0) > tolerance;
  if (centred) return true;
  if (para.lines.size() == 1) {
    // The first line may be indented; the second may not be indented further,
    // unless it hangs under the text after a bullet or number.
    const bool hanging = last.startsWithMarker && !next.startsWithMarker &&
                         next.x0 >= last.x0 + last.firstWordWidth &&
                         next.x0 <= last.x0 + last.firstWordWidth + kHangingGapEm * size;
    if (next.x0 > last.x0 + tolerance && !hanging) return false;
    if (last.x0 - next.x0 > kFirstIndentEm * size) return false;
  } else if (std::abs(next.x0 - para.leftEdge()) > tolerance) {
    return false;
  }
  // A line that stops short although the next word would have fitted behind
  // it ends its paragraph.
  const double room = columnRight - last.x1;
  return room < next.firstWordWidth + kWordSpaceEm * size;
}

bool endsWithSoftHyphen(const std::u16string& text) {
  const std::size_t n = text.size();
  return n >= 2 && text[n - 1] == u'-' && text[n - 2] >= u'a' && text[n - 2] <= u'z';
}

TextBlock toBlock(const std::vector<Line>& lines) {
  TextBlock block;
  block.x0 = lines.front().x0;
  block.y0 = lines.front().y0;
  block.x1 = lines.front().x1;
  block.y1 = lines.back().y1;
  std::map<StyleKey, std::size_t> counts;
  for (const Line& line : lines) {
    block.x0 = std::min(block.x0, line.x0);
    block.x1 = std::max(block.x1, line.x1);
    if (!block.text.empty() && !line.text.empty()) {
      const char16_t before = block.text.back();
      const char16_t after = line.text.front();
      if (endsWithSoftHyphen(block.text) && after >= u'a' && after <= u'z') {
        block.text.pop_back();
      } else if (!(isCjk(before) && isCjk(after))) {
        block.text += u' ';
      }
    }
    block.text += line.text;
    for (const auto& [key, count] : line.styleChars) counts[key] += count;
  }
  const StyleKey style = dominant(counts);
  block.fontSize = std::get<0>(style);
  block.fontId = std::get<1>(style);
  block.bold = std::get<2>(style);
  block.italic = std::get<3>(style);
  return block;
}

int blankLines(double gap, double size) {
  if (gap <= 0) return 0;
  const int lines = static_cast<int>(gap / (kLineHeightEm * em(size)));
  return std::min(lines, kMaxBlankLines);
}

// The right edge of the running text of a column: where justified lines end
// (the x at which the most lines end, when several do), else the rightmost
// line end. Table rows do not count, nor code that runs into the margin.
double rightEdge(const std::vector<Row>& rows) {
  std::map<long, int> ends;
  double rightmost = 0;
  for (const Row& row : rows) {
    if (row.fragments.size() != 1) continue;
    ++ends[std::lround(row.fragments.back().x1)];
    rightmost = std::max(rightmost, row.fragments.back().x1);
  }
  const auto count = [&](long x) {
    auto found = ends.find(x);
    return found == ends.end() ? 0 : found->second;
  };
  long edge = 0;
  int edgeLines = 0;
  for (const auto& [x, lines] : ends) {
    const int near = count(x - 1) + lines + count(x + 1);
    if (near >= edgeLines) {
      edge = x;
      edgeLines = near;
    }
  }
  return edgeLines >= kJustifiedLines ? edge + 1.0 : rightmost;
}

// Lays out one column run: table rows where consecutive rows hold several
// fragments, paragraphs from the other lines.
void layoutColumn(const std::vector<Row>& rows, std::vector<LayoutItem>& out) {
  const double columnRight = rightEdge(rows);

  auto isTableRow = [&](std::size_t i) {
    if (rows[i].fragments.size() < 2) return false;
    const double size = em(rows[i].fragments.front().size);
    auto near = [&](std::size_t a, std::size_t b) {
      return rows[a].fragments.size() >= 2 &&
             rows[b].baseline - rows[a].baseline <= kMaxTableRowPitchEm * size;
    };
    return (i > 0 && near(i - 1, i)) || (i + 1 < rows.size() && near(i, i + 1));
  };

  Paragraph para;
  double previousBottom = -1;
  double previousSize = 0;
  auto gapBefore = [&](double top) {
    return previousBottom < 0 ? 0 : blankLines(top - previousBottom, previousSize);
  };
  auto flushParagraph = [&] {
    if (para.lines.empty()) return;
    LayoutItem item;
    item.cells.push_back(toBlock(para.lines));
    item.blankLinesBefore = gapBefore(para.lines.front().y0);
    previousBottom = para.lines.back().y1;
    previousSize = para.lines.back().size();
    out.push_back(std::move(item));
    para.lines.clear();
  };

  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (isTableRow(i)) {
      flushParagraph();
      LayoutItem item;
      item.tableRow = true;
      double top = rows[i].fragments.front().y0;
      double bottom = rows[i].fragments.front().y1;
      for (const Fragment& f : rows[i].fragments) {
        item.cells.push_back(toBlock({makeLine(f)}));
        top = std::min(top, f.y0);
        bottom = std::max(bottom, f.y1);
      }
      item.blankLinesBefore = gapBefore(top);
      previousBottom = bottom;
      previousSize = rows[i].fragments.front().size;
      out.push_back(std::move(item));
      continue;
    }
    Line line = makeLine(rows[i]);
    if (!para.lines.empty() && !continuesParagraph(para, line, columnRight)) flushParagraph();
    para.lines.push_back(std::move(line));
  }
  flushParagraph();
}

}  // namespace

double findGutter(const std::vector<Word>& words, double pageWidth) {
  return gutterOf(groupRows(words), pageWidth);
}

namespace {

// A PDF may put text a billion points away or set it in a font of 1e300
// points; every count and record field derived from a page must stay
// within int, so coordinates and sizes are pulled into these bounds.
constexpr double kMaxExtentPt = 1e6;
constexpr double kMinFontSizePt = 0.01;
constexpr double kMaxFontSizePt = 1e5;

double withinExtent(double v) { return std::clamp(v, -kMaxExtentPt, kMaxExtentPt); }

// False for a word that has a coordinate or size that is not a number.
bool boundWord(Word& w) {
  for (double* v : {&w.x0, &w.y0, &w.x1, &w.y1, &w.fontSize}) {
    if (!std::isfinite(*v)) return false;
  }
  w.x0 = withinExtent(w.x0);
  w.y0 = withinExtent(w.y0);
  w.x1 = withinExtent(w.x1);
  w.y1 = withinExtent(w.y1);
  if (w.fontSize > 0) w.fontSize = std::clamp(w.fontSize, kMinFontSizePt, kMaxFontSizePt);
  return true;
}

}  // namespace

std::vector<LayoutItem> layoutPage(std::vector<Word> words, double pageWidth) {
  std::vector<LayoutItem> items;
  pageWidth = std::isnan(pageWidth) ? 0 : std::clamp(pageWidth, 0.0, kMaxExtentPt);
  words.erase(std::remove_if(words.begin(), words.end(),
                             [](Word& w) { return w.text.empty() || !boundWord(w) || w.x1 < w.x0; }),
              words.end());
  if (words.empty()) return items;
  std::vector<Row> rows = groupRows(std::move(words));
  const double gutter = gutterOf(rows, pageWidth);
  for (const std::vector<Row>& column : readingOrder(std::move(rows), gutter)) {
    layoutColumn(column, items);
  }
  return items;
}

}  // namespace Kivrel::pdf

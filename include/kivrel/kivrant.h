// The extractor: reads a record stream and appends its outline to a list.
#ifndef KIVREL_KIVRANT_H_
#define KIVREL_KIVRANT_H_

#include <unicode/unistr.h>

#include <istream>
#include <map>
#include <ostream>
#include <vector>

#include "kivrel/export.h"
#include "kivrel/kiv_map.h"
#include "kivrel/outline.h"
#include "kivrel/progress.h"
#include "kivrel/settings.h"

namespace Kivrel {

using icu::UnicodeString;

class MPPage;
class MPParagraph;
struct StyleEntry;
class KivrantInternals;
namespace internal {
struct ScanCache;
class Candidates;
class PointInfoMap;
class ParagraphArena;
}

// One extractor serves any number of documents in turn; it is idle (holds no
// document) between calls of extract. Not for concurrent use by two threads.
class KIVREL_EXPORT Kivrant {
 public:
  Kivrant();
  // Copies the pointers and containers member by member: copying an idle
  // extractor gives an independent one sharing the log and handler. Copying
  // from or assigning to an extractor in the middle of a run (from its
  // progress handler) would give its pages two owners, and throws
  // std::logic_error instead.
  Kivrant(const Kivrant& other);
  Kivrant& operator=(const Kivrant& other);
  virtual ~Kivrant();

  // The log stream must outlive the runs that use it; null turns it off.
  void setLogStream(std::ostream* log);
  // Polled three times per run; null turns polling off.
  void setProgressHandler(KivProgressHandler* handler);
  // Receives a verdict per non-empty paragraph during output; null: none.
  void setVerdictHandler(KivVerdictHandler* handler);

  // Reads the whole record stream (binary) and appends the outline items to
  // result. Returns 0, or -1 when the progress handler stopped the run
  // (result then unchanged). settings may be null (defaults with flags 2);
  // its excludePages is rewritten in normalised form. The whole run happens
  // on the calling thread. Where memory runs out it throws std::bad_alloc
  // (and it passes on what the log stream or a handler throws), with result
  // as it was and the extractor idle for the next run.
  int extract(std::istream& input, KivOutlineList& result, KivSettings* settings);

  // Parses a page-range string ("1-3,5,10-") into map's entries; normalises
  // text in place. Does not move map's position.
  static void analyzePageArea(UnicodeString& text, KivMap& map);

 private:
  friend class KivrantInternals;

  int extractMain(std::istream& input, KivOutlineList& result, KivSettings* settings);

  // Document model.
  void analyzePages(std::istream& in);
  MPParagraph* getNextParagraph(int& page, int& para, bool update);
  MPParagraph* getPrevParagraph(int& page, int& para, bool update);

  // Page ranges.
  static void analyzePageArea(UnicodeString& text, std::map<int, int>& map);
  void setExcludePages(std::map<int, int>& map);

  // Outline passes.
  static bool isHeaderOrFooter(MPParagraph* paragraph, MPPage* page, int threshold,
                               std::map<UnicodeString, int>* maps);
  bool checkParagraphIsTitle(int pageIndex, int paragraphIndex, MPPage* page,
                             MPParagraph* paragraph);
  void checkParagraphIsToc(int pageIndex, int paragraphIndex, MPPage* page,
                           MPParagraph* paragraph, int threshold,
                           std::map<UnicodeString, int>* maps);
  void checkParagraphIsItems(int pageIndex, int paragraphIndex, MPPage* page,
                             MPParagraph* paragraph, int threshold,
                             std::map<UnicodeString, int>* maps);
  void insertPointArray(int point, std::vector<int>& pointArray);
  void insertPointInfoMap(int point, int styleIndex);
  int getPointFromFontSize(MPParagraph* paragraph, std::vector<int>& pointArray,
                           bool forOutput);
  void setupOutlineLevel(std::vector<int>& pointArray, std::vector<int>* indentLists,
                         KivSettings* settings);
  void outputResult(KivOutlineList& result, KivSettings* settings,
                    std::vector<int>& pointArray, int headerFooterThreshold,
                    std::map<UnicodeString, int>* headerFooterMaps);
  int getPointAndSimplification(UnicodeString& text);

  // Character classes of one UTF-16 code unit; 0xFFFF is in none.
  static bool isSpace(unsigned short c);
  static bool isPeriod(unsigned short c);
  static bool isUnderline(unsigned short c);
  static bool isHyphen(unsigned short c);
  static bool isMiddleDot(unsigned short c);
  static bool isLeader(unsigned short c);
  static bool isListHeader(unsigned short c);
  static bool isAlphabet(unsigned short c);
  static bool isParenthesis(unsigned short c);
  static bool isKatakana(unsigned short c);
  static bool isSymbolParaHeader(unsigned short c);
  static bool isArabicNumber(unsigned short c);
  static bool isAlphabetRomanNumber(unsigned short c);
  static bool isNativeRomanNumber(unsigned short c);
  static bool isRomanNumber(unsigned short c);
  static bool isKanjiNumber(unsigned short c);
  static bool isParaHeader(unsigned short c);
  static bool isSymbol(unsigned short c);

  // String normalisation and table-of-contents lines.
  static void trimStr(UnicodeString& text);
  static void deleteNumberFromString(UnicodeString& text);
  static unsigned short getFirstDigit(UnicodeString& text, int& position);
  static bool isPageNumberOrLeader(UnicodeString& text);
  // A member, though it reads no state of the object.
  bool isTocItem(UnicodeString& text, int& pageNo, UnicodeString& title);

  std::ostream* logStream;
  KivProgressHandler* progressHandler;
  int pageCount;
  std::vector<MPPage*> pages;
  std::vector<StyleEntry*> styleTable;
  KivVerdictHandler* verdictHandler;
  // Per-point statistics of the current run (the style that stands for each
  // point and its use count), made by the first point given out; null
  // between runs. Never copied.
  internal::PointInfoMap* pointInfoMap = nullptr;
  // Memo of the table-of-contents and item scans for the current run; null
  // between runs. Never copied: a copy starts without one.
  internal::ScanCache* scanCache = nullptr;
  // The paragraphs still in the running once the per-paragraph tests of the
  // current run are done; null otherwise, and then the later passes look at
  // every paragraph. Never copied.
  internal::Candidates* candidates = nullptr;
  // Storage of the current model's paragraphs, from its reading to its
  // release; null otherwise. Never copied.
  internal::ParagraphArena* paragraphArena = nullptr;
};

}  // namespace Kivrel

#endif  // KIVREL_KIVRANT_H_

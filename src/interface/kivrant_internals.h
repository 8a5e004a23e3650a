// Reaches the extractor's private members from inside the library and from
// its tests, without widening the public interface.
#ifndef KIVREL_INTERFACE_KIVRANT_INTERNALS_H_
#define KIVREL_INTERFACE_KIVRANT_INTERNALS_H_

#include "kivrel/kivrant.h"
#include "model/model.h"

namespace Kivrel {

class KivrantInternals {
 public:
  using HeaderFooterMaps = std::map<UnicodeString, int>;

  static std::ostream* logStream(Kivrant& k) { return k.logStream; }
  static int& pageCount(Kivrant& k) { return k.pageCount; }
  static std::vector<MPPage*>& pages(Kivrant& k) { return k.pages; }
  static std::vector<StyleEntry*>& styleTable(Kivrant& k) { return k.styleTable; }
  static internal::PointInfoMap*& pointInfoMap(Kivrant& k) { return k.pointInfoMap; }
  static internal::ParagraphArena*& paragraphArena(Kivrant& k) { return k.paragraphArena; }
  // True from the start of a run's reading to its release.
  static bool holdsRunData(const Kivrant& k) {
    return k.paragraphArena || k.scanCache || k.candidates || !k.pages.empty() ||
           !k.styleTable.empty() || k.pointInfoMap;
  }

  static int extractMain(Kivrant& k, std::istream& in, KivOutlineList& result,
                         KivSettings* settings) {
    return k.extractMain(in, result, settings);
  }
  static void analyzePages(Kivrant& k, std::istream& in) { k.analyzePages(in); }
  static MPParagraph* getNextParagraph(Kivrant& k, int& page, int& para, bool update) {
    return k.getNextParagraph(page, para, update);
  }
  static MPParagraph* getPrevParagraph(Kivrant& k, int& page, int& para, bool update) {
    return k.getPrevParagraph(page, para, update);
  }
  static void analyzePageArea(UnicodeString& text, std::map<int, int>& map) {
    Kivrant::analyzePageArea(text, map);
  }
  static void setExcludePages(Kivrant& k, std::map<int, int>& map) { k.setExcludePages(map); }
  static bool isHeaderOrFooter(MPParagraph* p, MPPage* page, int threshold,
                               HeaderFooterMaps* maps) {
    return Kivrant::isHeaderOrFooter(p, page, threshold, maps);
  }
  static bool checkParagraphIsTitle(Kivrant& k, int pageIndex, int paragraphIndex,
                                    MPPage* page, MPParagraph* p) {
    return k.checkParagraphIsTitle(pageIndex, paragraphIndex, page, p);
  }
  static void checkParagraphIsToc(Kivrant& k, int pageIndex, int paragraphIndex, MPPage* page,
                                  MPParagraph* p, int threshold, HeaderFooterMaps* maps) {
    k.checkParagraphIsToc(pageIndex, paragraphIndex, page, p, threshold, maps);
  }
  static void checkParagraphIsItems(Kivrant& k, int pageIndex, int paragraphIndex,
                                    MPPage* page, MPParagraph* p, int threshold,
                                    HeaderFooterMaps* maps) {
    k.checkParagraphIsItems(pageIndex, paragraphIndex, page, p, threshold, maps);
  }
  static void insertPointArray(Kivrant& k, int point, std::vector<int>& pointArray) {
    k.insertPointArray(point, pointArray);
  }
  static void insertPointInfoMap(Kivrant& k, int point, int styleIndex) {
    k.insertPointInfoMap(point, styleIndex);
  }
  static int getPointFromFontSize(Kivrant& k, MPParagraph* p, std::vector<int>& pointArray,
                                  bool forOutput) {
    return k.getPointFromFontSize(p, pointArray, forOutput);
  }
  static void setupOutlineLevel(Kivrant& k, std::vector<int>& pointArray,
                                std::vector<int>* indentLists, KivSettings* settings) {
    k.setupOutlineLevel(pointArray, indentLists, settings);
  }
  static void outputResult(Kivrant& k, KivOutlineList& result, KivSettings* settings,
                           std::vector<int>& pointArray, int threshold,
                           HeaderFooterMaps* maps) {
    k.outputResult(result, settings, pointArray, threshold, maps);
  }
  static int getPointAndSimplification(Kivrant& k, UnicodeString& text) {
    return k.getPointAndSimplification(text);
  }
  static KivVerdictHandler* verdictHandler(Kivrant& k) { return k.verdictHandler; }
};

}  // namespace Kivrel

#endif  // KIVREL_INTERFACE_KIVRANT_INTERNALS_H_

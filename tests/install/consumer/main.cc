// A minimal host: builds a two-page document, extracts its outline and
// parses a page-range string, using only the installed public API.
#include <kivrel/kivrel.h>

#include <cstdio>
#include <sstream>

int main() {
  std::stringstream stream(std::ios::in | std::ios::out | std::ios::binary);
  Kivrel::RecordWriter writer(stream);
  Kivrel::SectionFields page;
  page.width = 11906;
  page.height = 16838;
  writer.section(page);
  Kivrel::ParagraphFormatFields para;
  para.charSize = 20;
  writer.paragraphFormat(para);
  writer.textUtf8("Plain body text");

  Kivrel::Kivrant extractor;
  Kivrel::KivOutlineList list;
  Kivrel::KivSettings settings;
  settings.excludePages = "2-";
  if (extractor.extract(stream, list, &settings) != 0) return 1;

  Kivrel::KivMap map;
  icu::UnicodeString ranges("1-3,5");
  Kivrel::Kivrant::analyzePageArea(ranges, map);
  map.setFirst();
  int key = 0, value = 0, entries = 0;
  while (map.getNext(key, value)) ++entries;
  std::printf("kivrel %s: %d items, %d ranges\n", KIVREL_VERSION_STRING, list.getCount(), entries);
  return entries == 2 ? 0 : 1;
}

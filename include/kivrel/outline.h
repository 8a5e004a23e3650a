// The outline a run produces: items and the list that owns them.
#ifndef KIVREL_OUTLINE_H_
#define KIVREL_OUTLINE_H_

#include <unicode/unistr.h>

#include <vector>

#include "kivrel/export.h"

namespace Kivrel {

using icu::UnicodeString;

// One heading: page number (from 1), point (higher is more important), text
// and the position of its paragraph.
class KIVREL_EXPORT KivOutlineItem {
 public:
  // cx and cy are truncated toward zero.
  KivOutlineItem(int pageNo, int point, UnicodeString& text, float cx, float cy);
  KivOutlineItem(const KivOutlineItem& other);
  KivOutlineItem& operator=(const KivOutlineItem& other);
  ~KivOutlineItem();

  int getPageNo();
  int getPoint();
  UnicodeString getString();
  long getCx();
  long getCy();

  int pageNo;
  int point;
  UnicodeString text;
  long cx;
  long cy;
};

// Items in the order they were appended. The list owns its items; copies are
// deep.
class KIVREL_EXPORT KivOutlineList {
 public:
  KivOutlineList();
  KivOutlineList(const KivOutlineList& other);
  KivOutlineList& operator=(const KivOutlineList& other);
  ~KivOutlineList();

  int getCount();
  // Null when index is outside [0, getCount()). The list keeps ownership.
  KivOutlineItem* getAt(int index);

  std::vector<KivOutlineItem*> items;
};

}  // namespace Kivrel

#endif  // KIVREL_OUTLINE_H_

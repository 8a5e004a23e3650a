// Adding a newly made object to a list of the objects it owns.
#ifndef KIVREL_MODEL_LIST_NEW_H_
#define KIVREL_MODEL_LIST_NEW_H_

#include "model/paragraph_list.h"

namespace Kivrel::internal {

// Lists the object make() returns at the end of list: the list grows first,
// so that running out of memory at either step leaves nothing unlisted, and
// so nothing that only the list would end (an arena's objects are never
// deleted).
template <class List, class Make>
auto listNew(List& list, Make make) {
  list.push_back(nullptr);
  try {
    list.back() = make();
  } catch (...) {
    list.pop_back();
    throw;
  }
  return list.back();
}

// A page's list makes room before the paragraph is made: a null listed
// alone for the while would cost it a heap block.
template <class Make>
MPParagraph* listNew(ParagraphList& list, Make make) {
  list.reserveOneMore();
  MPParagraph* p = make();
  list.push_back(p);
  return p;
}

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_LIST_NEW_H_

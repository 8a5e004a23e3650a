// Adding a newly made object to a list of the objects it owns.
#ifndef KIVREL_MODEL_LIST_NEW_H_
#define KIVREL_MODEL_LIST_NEW_H_

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

}  // namespace Kivrel::internal

#endif  // KIVREL_MODEL_LIST_NEW_H_

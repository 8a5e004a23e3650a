// Appending to a host's outline list all or nothing.
#ifndef KIVREL_INTERFACE_ALL_OR_NOTHING_H_
#define KIVREL_INTERFACE_ALL_OR_NOTHING_H_

#include <cstddef>

#include "kivrel/outline.h"

namespace Kivrel::internal {

// Runs append(), which adds items to result. Where it throws, the items it
// added are deleted before the exception leaves, so that a failed run
// leaves the host's list as a stopped one does.
template <class Append>
auto appendAllOrNothing(KivOutlineList& result, Append append) -> decltype(append()) {
  const std::size_t before = result.items.size();
  try {
    return append();
  } catch (...) {
    for (std::size_t i = before; i < result.items.size(); ++i) delete result.items[i];
    result.items.resize(before);  // shrinking a vector cannot throw
    throw;
  }
}

}  // namespace Kivrel::internal

#endif  // KIVREL_INTERFACE_ALL_OR_NOTHING_H_

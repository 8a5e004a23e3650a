// Style-table entries made by hand, with the fields the outline passes read.
#ifndef KIVREL_TESTS_SUPPORT_STYLE_ENTRY_H_
#define KIVREL_TESTS_SUPPORT_STYLE_ENTRY_H_

#include <cstdint>
#include <memory>

#include "model/model.h"

namespace Kivrel::testing {

inline std::unique_ptr<StyleEntry> makeStyleEntry(std::int32_t size, bool bold = false,
                                                  std::uint32_t value56 = 0) {
  auto entry = std::make_unique<StyleEntry>();
  entry->format.flag = bold ? charformat::kBoldFlag : 0;
  entry->format.charSize = size;
  entry->format.value56 = value56;
  return entry;
}

}  // namespace Kivrel::testing

#endif  // KIVREL_TESTS_SUPPORT_STYLE_ENTRY_H_

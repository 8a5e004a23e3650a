// The extraction run: set-up, passes, level assignment, output.
#include "kivrel/kivrant.h"
#include "model/model.h"

namespace Kivrel {

int Kivrant::extractMain(std::istream& input, KivOutlineList& /*result*/,
                         KivSettings* /*settings*/) {
  analyzePages(input);
  return 0;
}

}  // namespace Kivrel

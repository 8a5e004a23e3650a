// The extractor facade: lifecycle, setters and the run's release of its model.
#include "kivrel/kivrant.h"

#include <stdexcept>

#include "interface/all_or_nothing.h"
#include "interface/kivrant_internals.h"
#include "model/model.h"
#include "model/model_release.h"
#include "outline/point_info_map.h"
#include "outline/scan_cache.h"

namespace Kivrel {

namespace {

// Releases the per-run model when the run ends, also when an exception leaves
// it, so the extractor is idle for the next run either way.
class RunScope {
 public:
  explicit RunScope(Kivrant& k) : k_(k) {}
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;
  ~RunScope() { internal::releaseModel(k_); }

 private:
  Kivrant& k_;
};

// Throws unless k is idle: a copy of a running extractor would own its pages
// a second time.
const Kivrant& checkIdle(const Kivrant& k) {
  if (KivrantInternals::holdsRunData(k)) {
    throw std::logic_error("Kivrel::Kivrant: an extractor cannot be copied while it runs");
  }
  return k;
}

}  // namespace

Kivrant::Kivrant()
    : logStream(nullptr), progressHandler(nullptr), pageCount(0), verdictHandler(nullptr) {}

// Member by member, containers as pointers: an idle extractor holds none.
// Spelled out so that per-run members added later are not shared by copies.
Kivrant::Kivrant(const Kivrant& other)
    : logStream(checkIdle(other).logStream),
      progressHandler(other.progressHandler),
      pageCount(other.pageCount),
      pages(other.pages),
      styleTable(other.styleTable),
      verdictHandler(other.verdictHandler) {}

Kivrant& Kivrant::operator=(const Kivrant& other) {
  checkIdle(*this);
  checkIdle(other);
  logStream = other.logStream;
  progressHandler = other.progressHandler;
  pageCount = other.pageCount;
  pages = other.pages;
  styleTable = other.styleTable;
  verdictHandler = other.verdictHandler;
  return *this;
}

// The containers are empty between runs; the log stream and the handlers
// belong to the host.
// A scan memo or point statistics only outlive a run when a pass was called
// outside extract.
Kivrant::~Kivrant() {
  internal::deleteScanCache(scanCache);
  delete pointInfoMap;
}

void Kivrant::setLogStream(std::ostream* log) { logStream = log; }

void Kivrant::setProgressHandler(KivProgressHandler* handler) { progressHandler = handler; }

void Kivrant::setVerdictHandler(KivVerdictHandler* handler) { verdictHandler = handler; }

int Kivrant::extract(std::istream& input, KivOutlineList& result, KivSettings* settings) {
  RunScope scope(*this);
  return internal::appendAllOrNothing(result,
                                      [&] { return extractMain(input, result, settings); });
}

}  // namespace Kivrel

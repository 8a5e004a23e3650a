// Host callback classes: nothing to copy, nothing to release.
#include "kivrel/progress.h"

namespace Kivrel {

KivProgressHandler::KivProgressHandler() = default;

KivProgressHandler::KivProgressHandler(const KivProgressHandler&) = default;

KivProgressHandler& KivProgressHandler::operator=(const KivProgressHandler&) = default;

KivProgressHandler::~KivProgressHandler() = default;

KivVerdictHandler::~KivVerdictHandler() = default;

}  // namespace Kivrel

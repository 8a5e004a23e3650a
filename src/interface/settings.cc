// Options of one extraction run.
#include "kivrel/settings.h"

namespace Kivrel {

namespace {
constexpr int kDefaultMaxLength = 80;
constexpr int kDefaultFlags = kKeepCommas | kDetectTitle | kIndentRefinement;  // 522
constexpr int kDefaultPageOffset = 0;
}  // namespace

KivSettings::KivSettings()
    : maxLength(kDefaultMaxLength), flags(kDefaultFlags), pageOffset(kDefaultPageOffset) {}

KivSettings::KivSettings(const KivSettings& other) = default;

KivSettings& KivSettings::operator=(const KivSettings& other) = default;

KivSettings::~KivSettings() = default;

}  // namespace Kivrel

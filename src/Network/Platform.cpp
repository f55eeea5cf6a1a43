#include "Platform.h"

namespace BRIVO {

namespace {
const Platform* current = nullptr;
}

const Platform& platform() { return current ? *current : systemPlatform(); }

PlatformOverride::PlatformOverride(const Platform& replacement) : previous(current) {
    current = &replacement;
}

PlatformOverride::~PlatformOverride() { current = previous; }

}  // namespace BRIVO

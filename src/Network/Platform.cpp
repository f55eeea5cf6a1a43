#include "Network/Platform.h"

namespace BRIVO {

namespace {
const Platform* current = nullptr;
}

const Platform& platform() { return current ? *current : systemPlatform(); }

bool complete(const Platform& table) {
#define BRIVO_PLATFORM_HAS(entry) &&table.entry != nullptr
    return true BRIVO_PLATFORM_ENTRIES(BRIVO_PLATFORM_HAS);
#undef BRIVO_PLATFORM_HAS
}

long receiveWaitingOneByOne(int (*waitReadable)(Handle, WaitTime),
                            long (*receiveFrom)(Handle, void*, size_t, AddressV4&), Handle h, DatagramSlot* slots,
                            size_t count) {
    size_t taken = 0;
    for (; taken < count; ++taken) {
        if (waitReadable(h, WaitTime{0, 0}) != 1) break;
        long n = receiveFrom(h, slots[taken].data, slots[taken].capacity, slots[taken].from);
        // A failure after some datagrams is reported by the next call.
        if (n < 0) return taken ? static_cast<long>(taken) : -1;
        slots[taken].length = n;
    }
    return static_cast<long>(taken);
}

PlatformOverride::PlatformOverride(const Platform& replacement) : previous(current) { current = &replacement; }

PlatformOverride::~PlatformOverride() { current = previous; }

}  // namespace BRIVO

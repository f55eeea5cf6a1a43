#include "DatagramBatch.h"

#include <cstring>

namespace BRIVO {

namespace {
constexpr size_t SLOT_BYTES = 1500;
}

DatagramBatch::DatagramBatch(size_t count) : storage(count * SLOT_BYTES), slots(count) {
    for (size_t i = 0; i < count; ++i) slots[i] = DatagramSlot{storage.data() + i * SLOT_BYTES, SLOT_BYTES, 0, {}};
}

bool DatagramBatch::deliverable(size_t i) const {
    return slots[i].length > 0 && static_cast<size_t>(slots[i].length) <= SLOT_BYTES;
}

void DatagramBatch::source(size_t i, IPAddress& source) const {
    static const uint8_t mappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    std::memcpy(source.address, mappedPrefix, sizeof mappedPrefix);
    std::memcpy(source.address + 12, slots[i].from.address, 4);
}

uint16_t DatagramBatch::sourcePort(size_t i) const {
    return static_cast<uint16_t>((slots[i].from.port[0] << 8) | slots[i].from.port[1]);
}

}  // namespace BRIVO

#include "Network/DatagramBatch.h"

#include "Network/Socket.h"

namespace BRIVO {

namespace {
constexpr size_t SLOT_BYTES = MAX_DATAGRAM_SIZE;
}

DatagramBatch::DatagramBatch(size_t count) : storage(count * SLOT_BYTES), slots(count) {
    for (size_t i = 0; i < count; ++i) slots[i] = DatagramSlot{storage.data() + i * SLOT_BYTES, SLOT_BYTES, 0, {}};
}

bool DatagramBatch::deliverable(size_t i) const {
    return slots[i].length > 0 && static_cast<size_t>(slots[i].length) <= SLOT_BYTES;
}

void DatagramBatch::source(size_t i, IPAddress& source) const { source.setMappedV4(slots[i].from.address); }

uint16_t DatagramBatch::sourcePort(size_t i) const { return hostPort(slots[i].from); }

}  // namespace BRIVO

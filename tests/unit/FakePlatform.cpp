#include "FakePlatform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using BRIVO::AddressV4;
using BRIVO::Handle;

FakePlatform* FakePlatform::active = nullptr;

namespace {
namespace entries {

FakePlatform& fake() { return *FakePlatform::active; }

std::string hexBytes(const void* data, int length) {
    std::string s;
    char two[4];
    for (int i = 0; i < length; ++i) {
        std::snprintf(two, sizeof two, "%02X", static_cast<const uint8_t*>(data)[i]);
        if (i) s += ' ';
        s += two;
    }
    return s;
}

std::string describe(const AddressV4& a) {
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u port %02X %02X", a.address[0], a.address[1], a.address[2],
                  a.address[3], a.port[0], a.port[1]);
    return text;
}

// Every call as one line, unless a long run asked for none.
void record(std::string line) {
    if (fake().recording) fake().calls.push_back(std::move(line));
}

std::string h(Handle handle) { return std::to_string(static_cast<long long>(handle)); }

int startup() {
    record("startup");
    return fake().startupResult;
}
void cleanup() { record("cleanup"); }
int registerAtExit(void (*)()) {
    record("atexit");
    if (fake().atExitResult == 0) ++fake().registeredHandlers;
    return fake().atExitResult;
}
Handle socket(BRIVO::SocketStyle style) {
    record(style == BRIVO::SocketStyle::STREAM ? "socket STREAM" : "socket DATAGRAM");
    return fake().socketFails ? BRIVO::INVALID_HANDLE : fake().nextHandle++;
}
int bind(Handle handle, const AddressV4& local) {
    record("bind " + h(handle) + " " + describe(local));
    return fake().bindResult;
}
int setOption(Handle handle, BRIVO::SocketOption option, const void* value, int length) {
    const char* names[] = {"BROADCAST",       "ADD_MEMBERSHIP", "MULTICAST_INTERFACE", "RECEIVE_BUFFER",
                           "DROP_MEMBERSHIP", "REUSE_ADDRESS",  "PACKET_INFO",         "RECEIVE_TIME",
                           "JOIN_ON",         "LEAVE_ON",       "UNREACHABLE_REPORTS"};
    record("setOption " + h(handle) + " " + names[static_cast<int>(option)] + " " + hexBytes(value, length));
    switch (option) {
    case BRIVO::SocketOption::BROADCAST: return fake().broadcastResult;
    case BRIVO::SocketOption::ADD_MEMBERSHIP: return fake().membershipResult;
    case BRIVO::SocketOption::MULTICAST_INTERFACE: return fake().interfaceResult;
    case BRIVO::SocketOption::RECEIVE_BUFFER:
    case BRIVO::SocketOption::DROP_MEMBERSHIP:
    case BRIVO::SocketOption::REUSE_ADDRESS:
    case BRIVO::SocketOption::PACKET_INFO:
    case BRIVO::SocketOption::RECEIVE_TIME:
    case BRIVO::SocketOption::UNREACHABLE_REPORTS:
    case BRIVO::SocketOption::LEAVE_ON: return 0;
    case BRIVO::SocketOption::JOIN_ON: return fake().membershipResult;
    }
    return -1;
}
int setNonBlocking(Handle handle, uint32_t on) {
    record("nonBlocking " + h(handle) + " " + std::to_string(on));
    return fake().nonBlockingResult;
}
long sendTo(Handle handle, const void* data, size_t length, const AddressV4& to) {
    record("sendTo " + h(handle) + " " + std::to_string(length) + " " + describe(to));
    if (fake().recording) {
        fake().sent.emplace_back(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + length);
        fake().sendTimes.push_back(fake().now);
    }
    long result = static_cast<long>(length);
    if (!fake().sendResults.empty()) {
        result = fake().sendResults.front();
        fake().sendResults.pop_front();
    }
    if (result >= 0 && fake().onSend)
        fake().onSend(BRIVO::Buffer(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + length));
    return result;
}
// The wait itself, once logged.
int waitFor(BRIVO::WaitTime limit, bool wakeable) {
    if (fake().waitFails) return -1;
    uint64_t limitMs = limit.seconds * 1000ull + limit.microseconds / 1000u;
    // A wake that comes before anything else ends the wait.
    if (wakeable && fake().wakeAt && fake().wakeAt <= fake().now + limitMs &&
        (fake().arrivals.empty() || fake().now + fake().arrivals.front().afterMs > fake().wakeAt)) {
        const uint64_t waited = fake().wakeAt > fake().now ? fake().wakeAt - fake().now : 0;
        if (!fake().arrivals.empty()) fake().arrivals.front().afterMs -= waited;
        fake().now += waited;
        fake().wakeAt = 0;
        return 2;
    }
    if (!fake().arrivals.empty() && fake().arrivals.front().afterMs <= limitMs) {
        fake().now += fake().arrivals.front().afterMs;
        fake().arrivals.front().afterMs = 0;  // waiting now
        return 1;
    }
    if (!fake().arrivals.empty()) fake().arrivals.front().afterMs -= limitMs;
    fake().now += limitMs;
    return 0;
}
int waitReadable(Handle handle, BRIVO::WaitTime limit) {
    record("wait " + h(handle) + " " + std::to_string(limit.seconds) + "s " + std::to_string(limit.microseconds) +
           "us");
    return waitFor(limit, false);
}
int waitEither(Handle handle, Handle wake, BRIVO::WaitTime limit) {
    record("wait " + h(handle) + " or " + h(wake) + " " + std::to_string(limit.seconds) + "s " +
           std::to_string(limit.microseconds) + "us");
    if (handle == BRIVO::INVALID_HANDLE) {
        // Nothing but the wake: arrivals wait.
        std::deque<FakePlatform::Arrival> held;
        held.swap(fake().arrivals);
        const uint64_t before = fake().now;
        int r = waitFor(limit, true);
        held.swap(fake().arrivals);
        if (!fake().arrivals.empty())
            fake().arrivals.front().afterMs -= std::min(fake().arrivals.front().afterMs, fake().now - before);
        return r;
    }
    return waitFor(limit, true);
}
long receiveFrom(Handle handle, void* data, size_t capacity, AddressV4& from) {
    record("receiveFrom " + h(handle) + " " + std::to_string(capacity));
    if (fake().arrivals.empty()) return -1;
    FakePlatform::Arrival arrival = fake().arrivals.front();
    fake().arrivals.pop_front();
    if (!arrival.bytes.empty()) std::memcpy(data, arrival.bytes.data(), std::min(capacity, arrival.bytes.size()));
    from = arrival.from;
    return arrival.length;
}
long receiveArrival(Handle handle, void* data, size_t capacity, AddressV4& from, BRIVO::Arrival& where) {
    record("receiveArrival " + h(handle) + " " + std::to_string(capacity));
    if (fake().arrivals.empty()) return -1;
    FakePlatform::Arrival arrival = fake().arrivals.front();
    fake().arrivals.pop_front();
    if (!arrival.bytes.empty()) std::memcpy(data, arrival.bytes.data(), std::min(capacity, arrival.bytes.size()));
    from = arrival.from;
    where = arrival.where;
    return arrival.length;
}
int localAddress(Handle handle, AddressV4& local) {
    record("localAddress " + h(handle));
    local = fake().boundTo;
    return 0;
}
int shutdown(Handle handle) {
    record("shutdown " + h(handle));
    return 0;
}
int close(Handle handle) {
    record("close " + h(handle));
    return 0;
}
int32_t interfaceTable(BRIVO::InterfaceTable* table, uint32_t* size) {
    uint32_t needed =
        static_cast<uint32_t>(sizeof(uint32_t) + fake().tableAddresses.size() * sizeof(BRIVO::InterfaceRow));
    if (!table) {
        record("interfaceTable size " + std::to_string(*size));
        *size = needed;
        return fake().tableSizeResult;
    }
    record("interfaceTable " + std::to_string(*size));
    if (fake().tableResult != BRIVO::TABLE_NO_ERROR) return fake().tableResult;
    table->count = static_cast<uint32_t>(fake().tableAddresses.size());
    for (size_t i = 0; i < fake().tableAddresses.size(); ++i) table->rows[i].address = fake().tableAddresses[i];
    return BRIVO::TABLE_NO_ERROR;
}
void sleepMs(uint32_t ms) {
    record("sleep " + std::to_string(ms));
    fake().now += ms;
}
uint64_t nowMs() { return fake().now; }
// Arrivals due at once (afterMs 0) are the ones already waiting.
long receiveWaiting(Handle handle, BRIVO::DatagramSlot* slots, size_t count) {
    record("receiveWaiting " + h(handle) + " " + std::to_string(count));
    size_t taken = 0;
    while (taken < count && !fake().arrivals.empty() && fake().arrivals.front().afterMs == 0) {
        FakePlatform::Arrival arrival = fake().arrivals.front();
        // A failure is reported on its own call, after what came before it.
        if (arrival.length < 0 && taken) break;
        fake().arrivals.pop_front();
        if (arrival.length < 0) return -1;
        if (!arrival.bytes.empty())
            std::memcpy(slots[taken].data, arrival.bytes.data(), std::min(slots[taken].capacity, arrival.bytes.size()));
        slots[taken].from = arrival.from;
        slots[taken].length = arrival.length;
        ++taken;
    }
    return static_cast<long>(taken);
}

std::vector<BRIVO::LocalInterface> localInterfaces() {
    record("localInterfaces");
    return fake().interfaces;
}

int routeSource(const AddressV4& to, uint8_t (&source)[4]) {
    record("routeSource " + describe(to));
    if (!fake().hasRoute) return -1;
    std::memcpy(source, fake().routeSourceAddress, 4);
    return 0;
}

// The socket (bit 0) as waitReadable sees it, the interface watch (its
// bit) when news wait.
int waitAny(const Handle* handles, size_t count, BRIVO::WaitTime limit) {
    std::string line = "waitAny";
    int news = 0;
    for (size_t i = 0; i < count; ++i) {
        line += " " + h(handles[i]);
        if (handles[i] == fake().interfaceWatch && fake().interfaceNews) news |= 1 << i;
    }
    record(line + " " + std::to_string(limit.seconds) + "s " + std::to_string(limit.microseconds) + "us");
    if (news) return news;
    const int r = waitFor(limit, false);
    return r < 0 ? -1 : r;
}
Handle openInterfaceWatch() {
    record("openInterfaceWatch");
    return fake().interfaceWatch;
}
int takeInterfaceEvents(Handle watch) {
    record("takeInterfaceEvents " + h(watch));
    const int news = fake().interfaceNews ? 1 : 0;
    fake().interfaceNews = false;
    return news;
}
void closeInterfaceWatch(Handle watch) { record("closeInterfaceWatch " + h(watch)); }
BRIVO::NeighbourState neighbourState(uint32_t index, const uint8_t (&address)[4]) {
    const uint32_t a = uint32_t(address[0]) << 24 | uint32_t(address[1]) << 16 | uint32_t(address[2]) << 8 | address[3];
    record("neighbourState " + std::to_string(index) + " " + std::to_string(address[0]) + "." +
           std::to_string(address[1]) + "." + std::to_string(address[2]) + "." + std::to_string(address[3]));
    auto found = fake().neighbours.find(a);
    return found == fake().neighbours.end() ? BRIVO::NeighbourState::REACHABLE : found->second;
}

long takeUnreachable(Handle handle, uint8_t (&to)[4]) {
    record("takeUnreachable " + h(handle));
    if (fake().unreachable.empty()) return BRIVO::NOTHING_WAITING;
    const uint32_t a = fake().unreachable.front();
    fake().unreachable.pop_front();
    for (int i = 0; i < 4; ++i) to[i] = static_cast<uint8_t>(a >> (24 - 8 * i));
    return a == 0 ? 0 : 1;
}

size_t sendBatch(Handle handle, const BRIVO::OutgoingDatagram* datagrams, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* from = datagrams[i].source;
        record("sendBatch from " + describe(AddressV4{{0, 0}, {from[0], from[1], from[2], from[3]}}));
        if (sendTo(handle, datagrams[i].data, datagrams[i].length, datagrams[i].to) < 0) return i;
    }
    return count;
}

int connectTo(Handle handle, const AddressV4& to, BRIVO::WaitTime) {
    record("connectTo " + h(handle) + " " + describe(to));
    return fake().connectResult;
}

uint32_t interfaceIndex(const std::string& name) {
    record("interfaceIndex " + name);
    for (const BRIVO::LocalInterface& i : fake().interfaces)
        if (i.name == name) return i.index;
    for (const std::string& other : fake().addressless)
        if (other == name) return 99;
    return 0;
}

BRIVO::SocketError lastError() { return fake().error; }

}  // namespace entries

BRIVO::Platform fakeTable() {
    BRIVO::Platform table{};
    BRIVO_PLATFORM_ENTRIES(BRIVO_PLATFORM_FILL)
    return table;
}

}  // namespace

FakePlatform::FakePlatform() { active = this; }
FakePlatform::~FakePlatform() { active = nullptr; }

const BRIVO::Platform& FakePlatform::table() const {
    static const BRIVO::Platform table = fakeTable();
    return table;
}

AddressV4 addressV4(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t port) {
    return AddressV4{{static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port & 0xFF)}, {a, b, c, d}};
}

#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Network/Buffer.h"
#include "Network/Platform.h"
#include "Network/Socket.h"

// A recording stand-in for the operating system. Every call is logged as one
// readable line; results are scripted through the public fields. Time is
// virtual: waits and sleeps advance `now` instead of passing.
class FakePlatform {
public:
    struct Arrival {
        long length;          // what receiveFrom answers (-1 fails, >1500 oversized)
        BRIVO::Buffer bytes;  // copied into the caller's buffer
        BRIVO::AddressV4 from;
        uint64_t afterMs = 0;    // virtual time before it becomes readable
        BRIVO::Arrival where{};  // what receiveArrival says of it
    };

    FakePlatform();
    ~FakePlatform();

    std::vector<std::string> calls;

    int startupResult = 0;
    int atExitResult = 0;
    int registeredHandlers = 0;
    bool socketFails = false;
    BRIVO::Handle nextHandle = 7;
    int bindResult = 0;
    int broadcastResult = 0;
    int membershipResult = 0;
    int interfaceResult = 0;
    int nonBlockingResult = 0;
    // Results of successive sends; a send beyond the list sends everything.
    std::deque<long> sendResults;
    // When set, every wait fails.
    bool waitFails = false;
    std::deque<Arrival> arrivals;
    std::vector<BRIVO::Buffer> sent;
    std::vector<uint64_t> sendTimes;  // `now` at each send
    // When set, called with each datagram sent: a test's simulated devices
    // answer it by adding to `arrivals`.
    std::function<void(const BRIVO::Buffer& sent)> onSend;
    // False: calls, sends and their times are not recorded (long runs).
    bool recording = true;

    int32_t tableSizeResult = BRIVO::TABLE_INSUFFICIENT_BUFFER;
    int32_t tableResult = BRIVO::TABLE_NO_ERROR;
    std::vector<uint32_t> tableAddresses;
    std::vector<BRIVO::LocalInterface> interfaces;
    std::vector<std::string> addressless;  // interfaces there without an IPv4 address
    int connectResult = 0;                 // what connectTo() answers
    // What takeUnreachable() takes, in turn: a port unreachable for each
    // address (host order), another error for 0.
    std::deque<uint32_t> unreachable;
    bool hasRoute = true;
    uint8_t routeSourceAddress[4] = {192, 168, 1, 5};

    // What localAddress() answers.
    BRIVO::AddressV4 boundTo{};

    uint64_t now = 1000;
    // When set, the virtual time at which the wake descriptor becomes readable.
    uint64_t wakeAt = 0;
    // What lastError() answers.
    BRIVO::SocketError error;

    // The interface watch: its handle (INVALID_HANDLE: none on this
    // system), and whether news wait to be taken.
    BRIVO::Handle interfaceWatch = 90;
    bool interfaceNews = false;
    // The neighbour table by address (host order); an address not in it
    // is REACHABLE.
    std::map<uint32_t, BRIVO::NeighbourState> neighbours;

    const BRIVO::Platform& table() const;
    static FakePlatform* active;
};

// Shorthand for an address as the platform sees it.
BRIVO::AddressV4 addressV4(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t port);

// Installs the fake with the socket layer already started, as it is after the
// first socket of a process. The real flag is restored afterwards, so that
// real sockets in later tests still start the real socket layer.
class FakePlatformTest : public testing::Test {
protected:
    FakePlatformTest() : use(fake.table()) { BRIVO::socketLayerStarted = true; }
    ~FakePlatformTest() override { BRIVO::socketLayerStarted = realStarted; }

    const bool realStarted = BRIVO::socketLayerStarted;
    FakePlatform fake;
    BRIVO::PlatformOverride use;
};

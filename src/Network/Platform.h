#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace BRIVO {

// The one place that knows which operating system we are on. The socket classes
// (and the tool, for the interface list and the clock) call only through the
// table returned by platform(); the default table is the real OS
// (PlatformPosix.cpp or PlatformWindows.cpp, chosen by CMake), and tests
// install a recording fake with PlatformOverride.

// A socket handle: SOCKET on Windows (pointer-wide), a descriptor on POSIX.
using Handle = uintptr_t;
constexpr Handle INVALID_HANDLE = ~Handle(0);

// An IPv4 socket address, family AF_INET implied; both fields in network order.
struct AddressV4 {
    uint8_t port[2];
    uint8_t address[4];
};

// The port of an address in host order.
inline uint16_t hostPort(const AddressV4& a) { return static_cast<uint16_t>(a.port[0] << 8 | a.port[1]); }

enum class SocketStyle { STREAM, DATAGRAM };

// Options the library sets. The platform maps each to its own level and name:
// BROADCAST = SOL_SOCKET/SO_BROADCAST (int), ADD_MEMBERSHIP = IPPROTO_IP/
// IP_ADD_MEMBERSHIP (ip_mreq: group, interface), MULTICAST_INTERFACE =
// IPPROTO_IP/IP_MULTICAST_IF (4-byte address), RECEIVE_BUFFER = SOL_SOCKET/
// SO_RCVBUF (int bytes); and for a listener that answers on several
// interfaces: DROP_MEMBERSHIP = IPPROTO_IP/IP_DROP_MEMBERSHIP (ip_mreq),
// REUSE_ADDRESS = SOL_SOCKET/SO_REUSEADDR (int: others may bind the port
// too), PACKET_INFO = IPPROTO_IP/IP_PKTINFO (int: receives say where each
// datagram arrived), RECEIVE_TIME = SOL_SOCKET/SO_TIMESTAMPNS (int: receives
// say how long each datagram waited in the queue; refused where the system
// keeps no such time); JOIN_ON and LEAVE_ON = IPPROTO_IP/IP_ADD_MEMBERSHIP and
// IP_DROP_MEMBERSHIP by interface number (GroupOnInterface: ip_mreqn on
// Linux, an ip_mreq whose interface is 0.0.0.N on Windows), which a change of
// the interface's address leaves as it is. UNREACHABLE_REPORTS =
// IPPROTO_IP/IP_RECVERR (int: an ICMP error for a datagram sent is queued
// for takeUnreachable, and the next receive fails with REFUSED or another
// error once; refused where the system keeps no such queue).
enum class SocketOption {
    BROADCAST,
    ADD_MEMBERSHIP,
    MULTICAST_INTERFACE,
    RECEIVE_BUFFER,
    DROP_MEMBERSHIP,
    REUSE_ADDRESS,
    PACKET_INFO,
    RECEIVE_TIME,
    JOIN_ON,
    LEAVE_ON,
    UNREACHABLE_REPORTS,
};

// The value of JOIN_ON and LEAVE_ON: a group (network order) and the number
// of the interface.
struct GroupOnInterface {
    uint8_t group[4];
    uint32_t interfaceIndex;
};

// A wait limit as select() takes it.
struct WaitTime {
    uint32_t seconds;
    uint32_t microseconds;
};

// One row of the local interface-address table, laid out as MIB_IPADDRROW.
struct InterfaceRow {
    uint32_t address;  // network order
    uint32_t index;
    uint32_t mask;
    uint32_t broadcast;
    uint32_t reassemblySize;
    uint16_t unused1;
    uint16_t type;
};
// The table, laid out as MIB_IPADDRTABLE: a count, then that many rows.
struct InterfaceTable {
    uint32_t count;
    InterfaceRow rows[1];
};
constexpr int32_t TABLE_NO_ERROR = 0;
constexpr int32_t TABLE_INSUFFICIENT_BUFFER = 122;

// What kind of link an interface is, as far as the system tells.
enum class InterfaceKind {
    HARDWARE,  // a network card
    WIRELESS,  // a Wi-Fi card
    LOOPBACK,
    BRIDGE,          // a software bridge (containers, virtual machines)
    TUNNEL,          // a tunnel or VPN (tun, tap, WireGuard, GRE, ...)
    POINT_TO_POINT,  // PPP and other links to a single peer
    VIRTUAL,         // another software interface (a veth pair, a dummy)
    UNKNOWN,
};

// A local interface with an IPv4 address, as the system lists it (one entry
// per address).
struct LocalInterface {
    std::string name;    // UTF-8 (on Windows the adapter's friendly name)
    uint8_t address[4];  // network order
    uint8_t mask[4];     // network order
    bool up;
    bool multicast;
    bool loopback;
    InterfaceKind kind;
    bool carrier = true;  // a link is there (a cable, an associated Wi-Fi, a bridge port)
    uint32_t index = 0;   // the system's number for it, as an arrival names it; 0: unknown
};

// Where a datagram arrived, as a receive with PACKET_INFO on tells: the
// destination address of its IP header (a group's, or one of this host's),
// network order, and the number of the interface it came in on; with
// RECEIVE_TIME on, how long it waited in the socket's queue before it was
// read (0 where the system did not say).
struct Arrival {
    uint8_t destination[4];
    uint32_t interfaceIndex;
    uint32_t waitedMs = 0;
};

// What this host's neighbour table holds for an address on one link, as far
// as a sender cares: whether a datagram to it goes at once (REACHABLE: also
// delayed, probing, permanent, or a link without neighbour resolution),
// makes the system check the entry again (STALE), makes it look the address
// up (NONE), waits behind a look-up already under way (INCOMPLETE), or will
// fail (FAILED: nobody answered the last look-up). UNKNOWN where the system
// cannot be asked.
enum class NeighbourState { UNKNOWN, NONE, INCOMPLETE, REACHABLE, STALE, FAILED };

// Why the last socket call that failed on this thread failed: the system's
// code, what it means for the caller, and the system's words for it.
struct SocketError {
    // WOULD_BLOCK: a call on a handle that never waits could not be done at
    // once (a send whose queue is full). REFUSED: an earlier datagram of
    // this socket's was answered "port unreachable" (with
    // UNREACHABLE_REPORTS on, the next receive or send says so once).
    enum Kind { NONE, OTHER, NO_ROUTE, ADDRESS_IN_USE, ACCESS_DENIED, WOULD_BLOCK, REFUSED };
    Kind kind = NONE;
    int32_t code = 0;  // errno, or the Winsock error
    std::string text;
};

// One slot of a batch receive: the caller's storage, and what arrived in it.
struct DatagramSlot {
    uint8_t* data;
    size_t capacity;
    long length;  // as receiveFrom answers it (greater than capacity: too long)
    AddressV4 from;
};

// One datagram of a batch send: its bytes, where it goes, and the local
// address it leaves from (network order; 0.0.0.0: the one the system
// chooses).
struct OutgoingDatagram {
    const uint8_t* data;
    size_t length;
    AddressV4 to;
    uint8_t source[4];
};

struct Platform {
    // Start the socket layer (Winsock 2.0); 0 on success, non-zero otherwise.
    int (*startup)();
    // Stop the socket layer; registered to run at process exit.
    void (*cleanup)();
    // Register a handler to run at exit, as atexit(): 0 on success.
    int (*registerAtExit)(void (*handler)());
    // Create an AF_INET socket, protocol 0; INVALID_HANDLE on failure.
    Handle (*socket)(SocketStyle style);
    // Bind to the address; 0 on success, -1 on failure.
    int (*bind)(Handle h, const AddressV4& local);
    // Set an option with the raw value bytes; 0 on success, negative on failure.
    int (*setOption)(Handle h, SocketOption option, const void* value, int length);
    // Blocking mode, as ioctlsocket(FIONBIO): 0 = blocking; 0 on success.
    int (*setNonBlocking)(Handle h, uint32_t nonBlocking);
    // Send one datagram; the number of bytes sent, or -1 on failure.
    long (*sendTo)(Handle h, const void* data, size_t length, const AddressV4& to);
    // Receive one datagram into at most `capacity` bytes; the datagram's full
    // length (greater than `capacity` when it did not fit: the excess is lost),
    // or -1 on failure. Does not wait beyond the datagram being there when the
    // caller has seen the handle readable.
    long (*receiveFrom)(Handle h, void* data, size_t capacity, AddressV4& from);
    // Wait until the handle is readable: 1 readable, 0 timed out, -1 failed.
    int (*waitReadable)(Handle h, WaitTime limit);
    // As waitReadable, but also ends when `wake` (a descriptor that a signal
    // handler writes to; INVALID_HANDLE for none) is readable: 2 then. `h`
    // may be INVALID_HANDLE too, to wait for `wake` alone. Where the system
    // has no such descriptors, `wake` is never readable.
    int (*waitEither)(Handle h, Handle wake, WaitTime limit);
    // Shut down both directions; 0 on success.
    int (*shutdown)(Handle h);
    // Close the handle; 0 on success.
    int (*close)(Handle h);
    // Interface table, as GetIpAddrTable(table, &size, FALSE): with a null table
    // it stores the needed size and answers TABLE_INSUFFICIENT_BUFFER; with a
    // block of `size` bytes it fills it and answers TABLE_NO_ERROR, or another
    // code on failure.
    int32_t (*interfaceTable)(InterfaceTable* table, uint32_t* size);
    // Suspend the calling thread.
    void (*sleepMs)(uint32_t milliseconds);
    // A monotonic clock in milliseconds.
    uint64_t (*nowMs)();
    // Takes up to `count` datagrams that are already waiting, without waiting:
    // the number taken (0 when none was waiting), or -1 on failure.
    long (*receiveWaiting)(Handle h, DatagramSlot* slots, size_t count);
    // As receiveFrom, and where the datagram arrived (with PACKET_INFO on;
    // `arrival` is all zero when the system did not say); NOTHING_WAITING
    // when no datagram was there after all (one the system dropped after a
    // wait saw it), where receiveFrom answers 0.
    long (*receiveArrival)(Handle h, void* data, size_t capacity, AddressV4& from, Arrival& arrival);
    // The address the handle is bound to, as getsockname(); 0 on success,
    // -1 on failure.
    int (*localAddress)(Handle h, AddressV4& local);
    // Every IPv4 address of every interface, in the system's order; empty
    // when the list cannot be read.
    std::vector<LocalInterface> (*localInterfaces)();
    // The local address a datagram to `to` would leave from, as the routing
    // table chooses it; 0 with `source` filled, -1 when there is no route.
    // Sends nothing.
    int (*routeSource)(const AddressV4& to, uint8_t (&source)[4]);
    // Waits until one of `count` handles (INVALID_HANDLE ones left out) is
    // readable: a bit set for each that is (bit i for handles[i]), 0 when
    // the time ran out, -1 on failure. On Windows only sockets can be waited
    // for; other handles there are left out.
    int (*waitAny)(const Handle* handles, size_t count, WaitTime limit);
    // A handle that becomes readable when this host's interfaces or their
    // IPv4 addresses change (netlink on Linux; NotifyIpInterfaceChange and
    // NotifyUnicastIpAddressChange on Windows); INVALID_HANDLE where the
    // system tells of no such change.
    Handle (*openInterfaceWatch)();
    // Takes what the watch has told, without waiting: 1 when something
    // changed (or news were lost: look again), 0 when nothing, -1 when the
    // watch failed.
    int (*takeInterfaceEvents)(Handle watch);
    // Ends the watch and releases the handle.
    void (*closeInterfaceWatch)(Handle watch);
    // What the neighbour table holds for `address` (network order) on the
    // interface numbered `index`; asks, sends nothing.
    NeighbourState (*neighbourState)(uint32_t index, const uint8_t (&address)[4]);
    // The system's number for the interface named `name` (UTF-8), whether it
    // has an address or not; 0 when there is none of that name.
    uint32_t (*interfaceIndex)(const std::string& name);
    // Connects a stream socket to `to`, waiting at most `limit`: 0 when
    // connected, -1 when refused or failed, -2 when the time ran out.
    int (*connectTo)(Handle h, const AddressV4& to, WaitTime limit);
    // Takes one error the system queued for a datagram this handle sent
    // (UNREACHABLE_REPORTS on), without waiting: 1 when it was a "port
    // unreachable" for `to` (network order), 0 for another error,
    // NOTHING_WAITING when none is queued, -1 on failure.
    long (*takeUnreachable)(Handle h, uint8_t (&to)[4]);
    // Sends `count` datagrams in order, each from its own local address: one
    // socket answers for several of this host's addresses. In as few system
    // calls as the system allows, waiting for room on a socket that waits.
    // The number sent before the first one refused (lastError says why; the
    // caller may go on after it), or `count`.
    size_t (*sendBatch)(Handle h, const OutgoingDatagram* datagrams, size_t count);
    // The error of the last call above that failed on this thread (shutdown
    // and close, which run on failure paths, leave it as it is).
    SocketError (*lastError)();
};

// receiveArrival's answer when nothing was there to read.
constexpr long NOTHING_WAITING = -2;

// Every entry of the table, once. Each table (the system's, the tests'
// fake) is filled from this list: BRIVO_PLATFORM_FILL(entry), within a
// function that has a Platform named `table`, sets each entry to the
// function of the same name in a namespace `entries` of its own, so that a
// forgotten function is a compile error.
// clang-format off
#define BRIVO_PLATFORM_ENTRIES(X)                                                                            \
    X(startup) X(cleanup) X(registerAtExit) X(socket) X(bind) X(setOption) X(setNonBlocking) X(sendTo)     \
    X(receiveFrom) X(waitReadable) X(waitEither) X(shutdown) X(close) X(interfaceTable) X(sleepMs) X(nowMs) \
    X(receiveWaiting) X(receiveArrival) X(localAddress) X(localInterfaces) X(routeSource) X(waitAny)          \
    X(openInterfaceWatch) X(takeInterfaceEvents) X(closeInterfaceWatch) X(neighbourState) X(interfaceIndex)    \
    X(connectTo) X(takeUnreachable) X(sendBatch) X(lastError)
// clang-format on
#define BRIVO_PLATFORM_FILL(entry) table.entry = entries::entry;

// True when every entry of the table is filled in (a table made some other
// way, or one changed since).
bool complete(const Platform& table);

// For socket layers without a batch receive: a zero-time wait and one receive
// per datagram, made of the given table entries.
long receiveWaitingOneByOne(int (*waitReadable)(Handle, WaitTime),
                            long (*receiveFrom)(Handle, void*, size_t, AddressV4&), Handle h, DatagramSlot* slots,
                            size_t count);

// The table in force.
const Platform& platform();
// The operating system's own table.
const Platform& systemPlatform();

// Installs another table for its own lifetime (tests).
class PlatformOverride {
public:
    explicit PlatformOverride(const Platform& replacement);
    ~PlatformOverride();
    PlatformOverride(const PlatformOverride&) = delete;
    PlatformOverride& operator=(const PlatformOverride&) = delete;

private:
    const Platform* previous;
};

}  // namespace BRIVO

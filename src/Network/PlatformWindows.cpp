// The Winsock 2 and IP Helper socket layer behind the Platform table.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <mstcpip.h>
#include <mswsock.h>
#include <windows.h>

#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "Network/Platform.h"

// Older MinGW-w64 headers lack it; the value is Windows' own.
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace BRIVO {

static_assert(sizeof(InterfaceRow) == sizeof(MIB_IPADDRROW), "rows are laid out as MIB_IPADDRROW");
static_assert(offsetof(InterfaceTable, rows) == offsetof(MIB_IPADDRTABLE, table),
              "table is laid out as MIB_IPADDRTABLE");
static_assert(INVALID_HANDLE == static_cast<Handle>(INVALID_SOCKET), "same 'no socket' value");

namespace {
namespace entries {

sockaddr_in toSockaddr(const AddressV4& a) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    std::memcpy(&sa.sin_port, a.port, sizeof a.port);
    std::memcpy(&sa.sin_addr, a.address, sizeof a.address);
    return sa;
}

void fromSockaddr(const sockaddr_in& sa, AddressV4& a) {
    std::memcpy(a.port, &sa.sin_port, sizeof a.port);
    std::memcpy(a.address, &sa.sin_addr, sizeof a.address);
}

SOCKET s(Handle h) { return static_cast<SOCKET>(h); }

// The Winsock error of the last call that failed, kept before a close on the
// way out can change it.
thread_local int lastWsaError = 0;

// Records the Winsock error and answers `result` (the call's failure value).
template <typename T>
T failed(T result) {
    lastWsaError = WSAGetLastError();
    return result;
}

// The system's words for a Winsock error, without the line break at its end.
std::string errorText(int code) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.')) --length;
    if (length == 0) return "Winsock error " + std::to_string(code);
    return std::string(text, length) + " (" + std::to_string(code) + ")";
}

SocketError lastError() {
    SocketError e;
    e.code = lastWsaError;
    if (lastWsaError == 0) return e;
    e.text = errorText(lastWsaError);
    switch (lastWsaError) {
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH: e.kind = SocketError::NO_ROUTE; break;
    case WSAEADDRINUSE: e.kind = SocketError::ADDRESS_IN_USE; break;
    case WSAECONNRESET:
    case WSAECONNREFUSED: e.kind = SocketError::REFUSED; break;
    case WSAEACCES: e.kind = SocketError::ACCESS_DENIED; break;
    case WSAEWOULDBLOCK: e.kind = SocketError::WOULD_BLOCK; break;
    default: e.kind = SocketError::OTHER;
    }
    return e;
}

// Version word 0x0002: major 2 in the low byte, minor 0: Winsock 2.0.
int startup() {
    WSADATA reply;
    return WSAStartup(0x0002, &reply);
}

// atexit() wants a cdecl function taking nothing; WSACleanup is stdcall and
// returns int, so it is called through this.
void cleanup() { WSACleanup(); }

int registerAtExit(void (*handler)()) { return std::atexit(handler); }

Handle socket(SocketStyle style) {
    SOCKET h = ::socket(AF_INET, style == SocketStyle::STREAM ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (h == INVALID_SOCKET) return failed(INVALID_HANDLE);
    // Not inherited: no program we start (a browser) may keep it.
    SetHandleInformation(reinterpret_cast<HANDLE>(h), HANDLE_FLAG_INHERIT, 0);
    if (style == SocketStyle::DATAGRAM) {
        // Otherwise an ICMP port-unreachable for any earlier send makes the
        // next receive fail with WSAECONNRESET: a stray ICMP message from the
        // network must not end the run.
        BOOL report = FALSE;
        DWORD returned = 0;
        WSAIoctl(h, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    }
    return static_cast<Handle>(h);
}

int bind(Handle h, const AddressV4& local) {
    sockaddr_in sa = toSockaddr(local);
    return ::bind(s(h), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR ? failed(-1) : 0;
}

// An interface's first IPv4 address (network order), for a membership:
// Windows also takes the number as 0.0.0.N, but Wine passes that on as an
// address no interface has. 0.0.0.N where the number has no address.
ULONG addressOfInterface(uint32_t index) {
    ULONG bytes = 0;
    std::vector<unsigned char> table;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    for (int tries = 0; tries < 3 && result == ERROR_INSUFFICIENT_BUFFER; ++tries) {
        table.resize(bytes ? bytes : 1);
        result = GetIpAddrTable(reinterpret_cast<PMIB_IPADDRTABLE>(table.data()), &bytes, FALSE);
    }
    if (result == NO_ERROR) {
        const auto* rows = reinterpret_cast<const MIB_IPADDRTABLE*>(table.data());
        for (DWORD i = 0; i < rows->dwNumEntries; ++i)
            if (rows->table[i].dwIndex == index && rows->table[i].dwAddr != 0) return rows->table[i].dwAddr;
    }
    return htonl(index);
}

int applyOption(Handle h, SocketOption option, const void* value, int length) {
    const char* v = static_cast<const char*>(value);
    switch (option) {
    case SocketOption::BROADCAST: return ::setsockopt(s(h), SOL_SOCKET, SO_BROADCAST, v, length);
    case SocketOption::ADD_MEMBERSHIP: return ::setsockopt(s(h), IPPROTO_IP, IP_ADD_MEMBERSHIP, v, length);
    case SocketOption::MULTICAST_INTERFACE: return ::setsockopt(s(h), IPPROTO_IP, IP_MULTICAST_IF, v, length);
    case SocketOption::RECEIVE_BUFFER: return ::setsockopt(s(h), SOL_SOCKET, SO_RCVBUF, v, length);
    case SocketOption::DROP_MEMBERSHIP: return ::setsockopt(s(h), IPPROTO_IP, IP_DROP_MEMBERSHIP, v, length);
    case SocketOption::REUSE_ADDRESS: return ::setsockopt(s(h), SOL_SOCKET, SO_REUSEADDR, v, length);
    case SocketOption::PACKET_INFO: return ::setsockopt(s(h), IPPROTO_IP, IP_PKTINFO, v, length);
    // Winsock keeps no receive time for a datagram socket.
    case SocketOption::RECEIVE_TIME: WSASetLastError(WSAENOPROTOOPT); return -1;
    // The ICMP errors are not queued by address here (SIO_UDP_CONNRESET is
    // off: one would end a receive without saying for which datagram).
    case SocketOption::UNREACHABLE_REPORTS: WSASetLastError(WSAENOPROTOOPT); return -1;
    // An interface of 0.0.0.N is the interface numbered N.
    case SocketOption::JOIN_ON:
    case SocketOption::LEAVE_ON: {
        if (length != sizeof(GroupOnInterface)) {
            WSASetLastError(WSAEINVAL);
            return -1;
        }
        GroupOnInterface g;
        std::memcpy(&g, value, sizeof g);
        ip_mreq request{};
        std::memcpy(&request.imr_multiaddr, g.group, 4);
        request.imr_interface.s_addr = addressOfInterface(g.interfaceIndex);
        return ::setsockopt(s(h), IPPROTO_IP, option == SocketOption::JOIN_ON ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP,
                            reinterpret_cast<const char*>(&request), sizeof request);
    }
    }
    return -1;
}

int setOption(Handle h, SocketOption option, const void* value, int length) {
    int result = applyOption(h, option, value, length);
    return result < 0 ? failed(result) : result;
}

int setNonBlocking(Handle h, uint32_t nonBlocking) {
    u_long argument = nonBlocking;
    return ioctlsocket(s(h), FIONBIO, &argument) == SOCKET_ERROR ? failed(-1) : 0;
}

long sendTo(Handle h, const void* data, size_t length, const AddressV4& to) {
    sockaddr_in sa = toSockaddr(to);
    int n = ::sendto(s(h), static_cast<const char*>(data), static_cast<int>(length), 0,
                     reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    return n == SOCKET_ERROR ? failed(-1L) : n;
}

long receiveFrom(Handle h, void* data, size_t capacity, AddressV4& from) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    int length = sizeof sa;
    int n = ::recvfrom(s(h), static_cast<char*>(data), static_cast<int>(capacity), 0, reinterpret_cast<sockaddr*>(&sa),
                       &length);
    if (n == SOCKET_ERROR) {
        // Winsock fails the call for a datagram that does not fit (and drops
        // it); that is a datagram too long, not a broken socket.
        if (WSAGetLastError() == WSAEMSGSIZE) return static_cast<long>(capacity) + 1;
        // On a socket that never waits, nothing there: reported as empty.
        if (WSAGetLastError() == WSAEWOULDBLOCK) return 0;
        return failed(-1L);
    }
    fromSockaddr(sa, from);
    return n;
}

int localAddress(Handle h, AddressV4& local) {
    sockaddr_in sa{};
    int length = sizeof sa;
    if (::getsockname(s(h), reinterpret_cast<sockaddr*>(&sa), &length) == SOCKET_ERROR) return failed(-1);
    fromSockaddr(sa, local);
    return 0;
}

// WSARecvMsg, the one receive that says where a datagram arrived: Winsock
// hands it out as an extension, once per process.
LPFN_WSARECVMSG recvMsgOf(SOCKET socket) {
    static LPFN_WSARECVMSG function = nullptr;
    if (!function) {
        GUID id = WSAID_WSARECVMSG;
        DWORD bytes = 0;
        WSAIoctl(socket, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &function, sizeof function, &bytes,
                 nullptr, nullptr);
    }
    return function;
}

long receiveArrival(Handle h, void* data, size_t capacity, AddressV4& from, Arrival& arrival) {
    arrival = Arrival{};
    LPFN_WSARECVMSG recvMsg = recvMsgOf(s(h));
    if (!recvMsg) {
        const long n = receiveFrom(h, data, capacity, from);
        return n == 0 && WSAGetLastError() == WSAEWOULDBLOCK ? NOTHING_WAITING : n;
    }
    sockaddr_in sa{};
    WSABUF buffer{static_cast<ULONG>(capacity), static_cast<char*>(data)};
    char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    WSAMSG msg{};
    msg.name = reinterpret_cast<sockaddr*>(&sa);
    msg.namelen = sizeof sa;
    msg.lpBuffers = &buffer;
    msg.dwBufferCount = 1;
    msg.Control = WSABUF{sizeof control, control};
    DWORD received = 0;
    if (recvMsg(s(h), &msg, &received, nullptr, nullptr) == SOCKET_ERROR) {
        // As receiveFrom: a datagram that does not fit is one too long.
        if (WSAGetLastError() == WSAEMSGSIZE) return static_cast<long>(capacity) + 1;
        if (WSAGetLastError() == WSAEWOULDBLOCK) return NOTHING_WAITING;
        return failed(-1L);
    }
    fromSockaddr(sa, from);
    for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&msg); c; c = WSA_CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
        IN_PKTINFO info{};
        std::memcpy(&info, WSA_CMSG_DATA(c), sizeof info);
        std::memcpy(arrival.destination, &info.ipi_addr, 4);
        arrival.interfaceIndex = info.ipi_ifindex;
    }
    if (msg.dwFlags & MSG_TRUNC) return static_cast<long>(capacity) + 1;
    return static_cast<long>(received);
}

// One datagram from its own source: WSASendMsg names it in IN_PKTINFO.
bool sendOneFrom(SOCKET socket, const OutgoingDatagram& d) {
    sockaddr_in sa = toSockaddr(d.to);
    WSABUF buffer{static_cast<ULONG>(d.length), reinterpret_cast<char*>(const_cast<uint8_t*>(d.data))};
    char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    WSAMSG msg{};
    msg.name = reinterpret_cast<sockaddr*>(&sa);
    msg.namelen = sizeof sa;
    msg.lpBuffers = &buffer;
    msg.dwBufferCount = 1;
    msg.Control = WSABUF{sizeof control, control};
    WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = WSA_CMSG_LEN(sizeof(IN_PKTINFO));
    IN_PKTINFO info{};
    std::memcpy(&info.ipi_addr, d.source, 4);
    std::memcpy(WSA_CMSG_DATA(c), &info, sizeof info);
    DWORD sent = 0;
    return ::WSASendMsg(socket, &msg, 0, &sent, nullptr, nullptr) != SOCKET_ERROR;
}

// Winsock sends one datagram a call.
size_t sendBatch(Handle h, const OutgoingDatagram* datagrams, size_t count) {
    static constexpr uint8_t SYSTEM_CHOOSES[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < count; ++i) {
        const OutgoingDatagram& d = datagrams[i];
        const bool sent = std::memcmp(d.source, SYSTEM_CHOOSES, 4) == 0
                              ? sendTo(h, d.data, d.length, d.to) == static_cast<long>(d.length)
                              : sendOneFrom(s(h), d);
        if (!sent) return failed(i);
    }
    return count;
}

int waitReadable(Handle h, WaitTime limit) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s(h), &readable);
    timeval tv{static_cast<long>(limit.seconds), static_cast<long>(limit.microseconds)};
    // The first argument is ignored by Winsock; kept as the BSD call has it.
    int r = ::select(static_cast<int>(s(h) + 1), &readable, nullptr, nullptr, &tv);
    if (r == SOCKET_ERROR) return failed(-1);
    return FD_ISSET(s(h), &readable) ? 1 : 0;
}

// Windows has no descriptor a console handler could wake a wait with: the
// tool waits in short steps there instead.
int waitEither(Handle h, Handle, WaitTime limit) {
    if (h != INVALID_HANDLE) return waitReadable(h, limit);
    Sleep(limit.seconds * 1000u + limit.microseconds / 1000u);
    return 0;
}

int waitAny(const Handle* handles, size_t count, WaitTime limit) {
    fd_set readable;
    FD_ZERO(&readable);
    bool any = false;
    for (size_t i = 0; i < count && i < 8; ++i)
        if (handles[i] != INVALID_HANDLE) {
            FD_SET(s(handles[i]), &readable);
            any = true;
        }
    if (!any) {
        Sleep(limit.seconds * 1000u + limit.microseconds / 1000u);
        return 0;
    }
    timeval tv{static_cast<long>(limit.seconds), static_cast<long>(limit.microseconds)};
    if (::select(0, &readable, nullptr, nullptr, &tv) == SOCKET_ERROR) return failed(-1);
    int ready = 0;
    for (size_t i = 0; i < count && i < 8; ++i)
        if (handles[i] != INVALID_HANDLE && FD_ISSET(s(handles[i]), &readable)) ready |= 1 << i;
    return ready;
}

// The system tells of changes through callbacks on threads of its own; each
// sends one byte to a loopback socket of the watch's, which a wait can see.
struct InterfaceWatch {
    SOCKET receiver = INVALID_SOCKET;
    SOCKET sender = INVALID_SOCKET;
    sockaddr_in to{};
    HANDLE interfaces = nullptr;
    HANDLE addresses = nullptr;
};

std::mutex watchesLock;
std::vector<InterfaceWatch*> watches;

void poke(InterfaceWatch* watch) {
    const char byte = 1;
    ::sendto(watch->sender, &byte, 1, 0, reinterpret_cast<const sockaddr*>(&watch->to), sizeof watch->to);
}
VOID WINAPI interfaceChanged(PVOID context, PMIB_IPINTERFACE_ROW, MIB_NOTIFICATION_TYPE) {
    poke(static_cast<InterfaceWatch*>(context));
}
VOID WINAPI addressChanged(PVOID context, PMIB_UNICASTIPADDRESS_ROW, MIB_NOTIFICATION_TYPE) {
    poke(static_cast<InterfaceWatch*>(context));
}

void release(InterfaceWatch* watch) {
    if (watch->interfaces) CancelMibChangeNotify2(watch->interfaces);
    if (watch->addresses) CancelMibChangeNotify2(watch->addresses);
    if (watch->receiver != INVALID_SOCKET) ::closesocket(watch->receiver);
    if (watch->sender != INVALID_SOCKET) ::closesocket(watch->sender);
    delete watch;
}

Handle openInterfaceWatch() {
    // Wine takes the registrations but never calls back: there, as where
    // nothing tells, the caller reads the interfaces now and then.
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) return INVALID_HANDLE;
    auto* watch = new InterfaceWatch;
    watch->receiver = ::socket(AF_INET, SOCK_DGRAM, 0);
    watch->sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    watch->to.sin_family = AF_INET;
    watch->to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof watch->to;
    u_long nonBlocking = 1;
    if (watch->receiver == INVALID_SOCKET || watch->sender == INVALID_SOCKET ||
        ::bind(watch->receiver, reinterpret_cast<const sockaddr*>(&watch->to), sizeof watch->to) == SOCKET_ERROR ||
        ::getsockname(watch->receiver, reinterpret_cast<sockaddr*>(&watch->to), &length) == SOCKET_ERROR ||
        ioctlsocket(watch->receiver, FIONBIO, &nonBlocking) == SOCKET_ERROR ||
        NotifyIpInterfaceChange(AF_INET, interfaceChanged, watch, FALSE, &watch->interfaces) != NO_ERROR ||
        NotifyUnicastIpAddressChange(AF_INET, addressChanged, watch, FALSE, &watch->addresses) != NO_ERROR) {
        release(watch);
        return INVALID_HANDLE;
    }
    SetHandleInformation(reinterpret_cast<HANDLE>(watch->receiver), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(reinterpret_cast<HANDLE>(watch->sender), HANDLE_FLAG_INHERIT, 0);
    std::lock_guard<std::mutex> hold(watchesLock);
    watches.push_back(watch);
    return static_cast<Handle>(watch->receiver);
}

int takeInterfaceEvents(Handle h) {
    int changed = 0;
    for (;;) {
        char bytes[64];
        const int n = ::recv(s(h), bytes, sizeof bytes, 0);
        if (n >= 0) {
            changed = 1;
            continue;
        }
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) return changed;
        if (error == WSAEMSGSIZE || error == WSAECONNRESET) continue;
        return failed(-1);
    }
}

void closeInterfaceWatch(Handle h) {
    InterfaceWatch* watch = nullptr;
    {
        std::lock_guard<std::mutex> hold(watchesLock);
        for (auto it = watches.begin(); it != watches.end(); ++it)
            if (static_cast<Handle>((*it)->receiver) == h) {
                watch = *it;
                watches.erase(it);
                break;
            }
    }
    if (watch) release(watch);
}

NeighbourState stateOf(const MIB_IPNET_ROW2& row) {
    switch (row.State) {
    case NlnsUnreachable: return NeighbourState::FAILED;
    case NlnsIncomplete: return NeighbourState::INCOMPLETE;
    case NlnsStale: return NeighbourState::STALE;
    case NlnsProbe:
    case NlnsDelay:
    case NlnsReachable:
    case NlnsPermanent: return NeighbourState::REACHABLE;
    default: return NeighbourState::UNKNOWN;
    }
}

long takeUnreachable(Handle, uint8_t (&)[4]) { return NOTHING_WAITING; }

// GetIpNetEntry2 asks for one entry; where it is missing (Wine), the whole
// table is read instead. Both are looked up at run time, so that a system
// without them still runs.
NeighbourState neighbourState(uint32_t index, const uint8_t (&address)[4]) {
    using GetEntry = DWORD(WINAPI*)(PMIB_IPNET_ROW2);
    using GetTable = DWORD(WINAPI*)(ADDRESS_FAMILY, PMIB_IPNET_TABLE2*);
    using FreeTable = VOID(WINAPI*)(PVOID);
    static const HMODULE helper = GetModuleHandleA("iphlpapi.dll");
    static const auto getEntry =
        reinterpret_cast<GetEntry>(reinterpret_cast<void (*)()>(GetProcAddress(helper, "GetIpNetEntry2")));
    static const auto getTable =
        reinterpret_cast<GetTable>(reinterpret_cast<void (*)()>(GetProcAddress(helper, "GetIpNetTable2")));
    static const auto freeTable =
        reinterpret_cast<FreeTable>(reinterpret_cast<void (*)()>(GetProcAddress(helper, "FreeMibTable")));
    if (getEntry) {
        MIB_IPNET_ROW2 row{};
        row.Address.si_family = AF_INET;
        std::memcpy(&row.Address.Ipv4.sin_addr, address, 4);
        row.InterfaceIndex = index;
        const DWORD result = getEntry(&row);
        if (result == ERROR_NOT_FOUND || result == ERROR_FILE_NOT_FOUND) return NeighbourState::NONE;
        return result == NO_ERROR ? stateOf(row) : NeighbourState::UNKNOWN;
    }
    PMIB_IPNET_TABLE2 table = nullptr;
    if (!getTable || !freeTable || getTable(AF_INET, &table) != NO_ERROR || !table) return NeighbourState::UNKNOWN;
    NeighbourState state = NeighbourState::NONE;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPNET_ROW2& row = table->Table[i];
        if (row.InterfaceIndex == index && std::memcmp(&row.Address.Ipv4.sin_addr, address, 4) == 0) {
            state = stateOf(row);
            break;
        }
    }
    freeTable(table);
    return state;
}

int connectTo(Handle h, const AddressV4& to, WaitTime limit) {
    u_long nonBlocking = 1;
    if (ioctlsocket(s(h), FIONBIO, &nonBlocking) == SOCKET_ERROR) return failed(-1);
    sockaddr_in sa = toSockaddr(to);
    if (::connect(s(h), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return 0;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return failed(-1);
    fd_set writable, failing;
    FD_ZERO(&writable);
    FD_ZERO(&failing);
    FD_SET(s(h), &writable);
    FD_SET(s(h), &failing);
    timeval tv{static_cast<long>(limit.seconds), static_cast<long>(limit.microseconds)};
    const int r = ::select(0, nullptr, &writable, &failing, &tv);
    if (r == 0) return -2;
    if (r == SOCKET_ERROR) return failed(-1);
    if (FD_ISSET(s(h), &failing)) {
        int error = 0;
        int size = sizeof error;
        getsockopt(s(h), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        lastWsaError = error;
        return -1;
    }
    return 0;
}

// By the adapter's friendly name, as localInterfaces() gives it.
uint32_t interfaceIndex(const std::string& name) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, nullptr, 0);
    if (length <= 0) return 0;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, &wide[0], length);
    NET_LUID luid{};
    NET_IFINDEX index = 0;
    if (ConvertInterfaceAliasToLuid(wide.c_str(), &luid) != NO_ERROR ||
        ConvertInterfaceLuidToIndex(&luid, &index) != NO_ERROR)
        return 0;
    return index;
}

int shutdown(Handle h) { return ::shutdown(s(h), SD_BOTH) == SOCKET_ERROR ? -1 : 0; }

int close(Handle h) { return ::closesocket(s(h)) == SOCKET_ERROR ? -1 : 0; }

int32_t interfaceTable(InterfaceTable* table, uint32_t* size) {
    ULONG bytes = *size;
    DWORD result = GetIpAddrTable(reinterpret_cast<PMIB_IPADDRTABLE>(table), &bytes, FALSE);
    *size = bytes;
    return static_cast<int32_t>(result);
}

// One datagram per call: a zero-time select, then recvfrom.
long receiveWaiting(Handle h, DatagramSlot* slots, size_t count) {
    return receiveWaitingOneByOne(waitReadable, receiveFrom, h, slots, count);
}

void sleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

uint64_t nowMs() { return GetTickCount64(); }

std::string utf8(const wchar_t* text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string out(static_cast<size_t>(length - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], length, nullptr, nullptr);
    return out;
}

InterfaceKind kindOf(IFTYPE type) {
    switch (type) {
    case IF_TYPE_ETHERNET_CSMACD: return InterfaceKind::HARDWARE;
    case IF_TYPE_IEEE80211: return InterfaceKind::WIRELESS;
    case IF_TYPE_SOFTWARE_LOOPBACK: return InterfaceKind::LOOPBACK;
    case IF_TYPE_TUNNEL: return InterfaceKind::TUNNEL;
    case IF_TYPE_PPP: return InterfaceKind::POINT_TO_POINT;
    case IF_TYPE_PROP_VIRTUAL: return InterfaceKind::VIRTUAL;
    default: return InterfaceKind::UNKNOWN;
    }
}

// A connected datagram socket knows its route; connect() sends nothing.
int routeSource(const AddressV4& to, uint8_t (&source)[4]) {
    SOCKET h = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (h == INVALID_SOCKET) return -1;
    sockaddr_in sa = toSockaddr(to);
    sockaddr_in local{};
    int length = sizeof local;
    int result = ::connect(h, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 &&
                         ::getsockname(h, reinterpret_cast<sockaddr*>(&local), &length) == 0
                     ? 0
                     : -1;
    ::closesocket(h);
    if (result == 0) std::memcpy(source, &local.sin_addr, 4);
    return result;
}

// GetAdaptersAddresses, not GetIpAddrTable: it has the names and the kinds.
std::vector<LocalInterface> localInterfaces() {
    std::vector<LocalInterface> found;
    ULONG size = 16384;
    std::vector<unsigned char> block;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        block.resize(size);
        result = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_DNS_SERVER, nullptr,
                                      reinterpret_cast<PIP_ADAPTER_ADDRESSES>(block.data()), &size);
    }
    if (result != NO_ERROR) return found;
    for (auto* a = reinterpret_cast<PIP_ADAPTER_ADDRESSES>(block.data()); a; a = a->Next) {
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
            if (!u->Address.lpSockaddr || u->Address.lpSockaddr->sa_family != AF_INET) continue;
            LocalInterface entry{};
            entry.name = utf8(a->FriendlyName);
            std::memcpy(entry.address, &reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr)->sin_addr, 4);
            ULONG mask = 0;
            ConvertLengthToIpv4Mask(u->OnLinkPrefixLength, &mask);
            std::memcpy(entry.mask, &mask, 4);
            entry.up = a->OperStatus == IfOperStatusUp;
            entry.multicast = (a->Flags & IP_ADAPTER_NO_MULTICAST) == 0;
            entry.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
            entry.carrier = entry.up;
            entry.kind = kindOf(a->IfType);
            entry.index = a->IfIndex;
            found.push_back(entry);
        }
    }
    return found;
}

}  // namespace entries

Platform windowsTable() {
    Platform table{};
    BRIVO_PLATFORM_ENTRIES(BRIVO_PLATFORM_FILL)
    return table;
}

}  // namespace

const Platform& systemPlatform() {
    static const Platform table = windowsTable();
    return table;
}

}  // namespace BRIVO

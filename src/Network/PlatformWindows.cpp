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
#include <string>

#include "Network/Platform.h"

// Older MinGW-w64 headers lack it; the value is Windows' own.
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace BRIVO {

static_assert(sizeof(InterfaceRow) == sizeof(MIB_IPADDRROW), "rows are laid out as MIB_IPADDRROW");
static_assert(offsetof(InterfaceTable, rows) == offsetof(MIB_IPADDRTABLE, table), "table is laid out as MIB_IPADDRTABLE");
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
    case WSAEACCES: e.kind = SocketError::ACCESS_DENIED; break;
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
    int n = ::recvfrom(s(h), static_cast<char*>(data), static_cast<int>(capacity), 0,
                       reinterpret_cast<sockaddr*>(&sa), &length);
    if (n == SOCKET_ERROR) {
        // Winsock fails the call for a datagram that does not fit (and drops
        // it); that is a datagram too long, not a broken socket.
        if (WSAGetLastError() == WSAEMSGSIZE) return static_cast<long>(capacity) + 1;
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
    if (!recvMsg) return receiveFrom(h, data, capacity, from);
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

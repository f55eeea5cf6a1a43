#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "Interfaces.h"

namespace {

std::string utf8(const wchar_t* text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string out(static_cast<size_t>(length - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], length, nullptr, nullptr);
    return out;
}

}  // namespace

std::vector<NetInterface> listInterfaces() {
    std::vector<NetInterface> found;
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
            NetInterface entry{};
            entry.name = utf8(a->FriendlyName);
            std::memcpy(entry.address, &reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr)->sin_addr, 4);
            entry.up = a->OperStatus == IfOperStatusUp;
            entry.multicast = (a->Flags & IP_ADAPTER_NO_MULTICAST) == 0;
            entry.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
            found.push_back(entry);
        }
    }
    return found;
}

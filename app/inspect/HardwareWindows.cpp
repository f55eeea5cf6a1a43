#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/inspect/Hardware.h"

namespace webfind {

namespace {

std::string macText(const unsigned char* p) {
    char mac[18];
    std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", p[0], p[1], p[2], p[3], p[4], p[5]);
    return mac;
}

// This host's own addresses, with their adapter's hardware address: no
// neighbour table lists them.
void addOwn(std::map<Address, std::string>& found) {
    ULONG size = 16384;
    std::vector<unsigned char> block;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        block.resize(size);
        result =
            GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                 nullptr, reinterpret_cast<PIP_ADAPTER_ADDRESSES>(block.data()), &size);
    }
    if (result != NO_ERROR) return;
    for (auto* a = reinterpret_cast<PIP_ADAPTER_ADDRESSES>(block.data()); a; a = a->Next) {
        if (a->PhysicalAddressLength != 6) continue;
        const std::string mac = macText(a->PhysicalAddress);
        if (mac == "00:00:00:00:00:00") continue;
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
            if (!u->Address.lpSockaddr || u->Address.lpSockaddr->sa_family != AF_INET) continue;
            Address address;
            std::memcpy(address.bytes.data(), &reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr)->sin_addr,
                        4);
            found[address] = mac;
        }
    }
}

}  // namespace

// Windows' neighbour table (GetIpNetTable2), IPv4 entries with a link-layer
// address, and this host's own addresses.
std::map<Address, std::string> neighbourTable() {
    std::map<Address, std::string> found;
    addOwn(found);
    PMIB_IPNET_TABLE2 table = nullptr;
    if (GetIpNetTable2(AF_INET, &table) != NO_ERROR || !table) return found;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPNET_ROW2& row = table->Table[i];
        if (row.PhysicalAddressLength != 6 || row.State == NlnsUnreachable || row.State == NlnsIncomplete) continue;
        Address address;
        std::memcpy(address.bytes.data(), &row.Address.Ipv4.sin_addr, 4);
        const std::string mac = macText(row.PhysicalAddress);
        if (mac != "00:00:00:00:00:00") found[address] = mac;
    }
    FreeMibTable(table);
    return found;
}

// Windows has no copy of the IEEE registry to index.
std::string vendorIndexPath() { return ""; }

bool makeFoldersFor(const std::string&) { return false; }

}  // namespace webfind

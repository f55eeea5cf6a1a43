#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <cstdio>
#include <cstring>

#include "app/inspect/Hardware.h"

namespace webfind {

// Windows' neighbour table (GetIpNetTable2), IPv4 entries with a link-layer
// address.
std::map<Address, std::string> neighbourTable() {
    std::map<Address, std::string> found;
    PMIB_IPNET_TABLE2 table = nullptr;
    if (GetIpNetTable2(AF_INET, &table) != NO_ERROR || !table) return found;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPNET_ROW2& row = table->Table[i];
        if (row.PhysicalAddressLength != 6 || row.State == NlnsUnreachable || row.State == NlnsIncomplete) continue;
        Address address;
        std::memcpy(address.bytes.data(), &row.Address.Ipv4.sin_addr, 4);
        char mac[18];
        const unsigned char* p = row.PhysicalAddress;
        std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", p[0], p[1], p[2], p[3], p[4], p[5]);
        if (std::strcmp(mac, "00:00:00:00:00:00") != 0) found[address] = mac;
    }
    FreeMibTable(table);
    return found;
}

}  // namespace webfind

#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "app/base/Address.h"

namespace webfind {

// What a device announced in its first valid answer.
struct Device {
    std::string name;
    std::string url;
};

// Forged source addresses must not be able to exhaust memory: a table of
// devices holds at most this many, whose names and URLs take at most this
// many bytes; answers from further new addresses are left out (and counted).
constexpr size_t MAX_DEVICES = 65536;
constexpr size_t MAX_DEVICE_BYTES = 32 << 20;

// What a table of devices may hold.
struct TableLimits {
    size_t devices = MAX_DEVICES;
    size_t bytes = MAX_DEVICE_BYTES;
};

// The devices found, one per address, in address order. A run's table only
// ever grows: a device's first answer stays. A watch's also changes and
// forgets devices. A table refuses devices beyond its capacity, in devices
// and in bytes (what its names and URLs take, with each entry's own share of
// the table's housekeeping).
class DeviceTable {
public:
    using Entries = std::map<Address, Device>;
    using const_iterator = Entries::const_iterator;

    explicit DeviceTable(size_t capacity = static_cast<size_t>(-1), size_t byteCapacity = static_cast<size_t>(-1))
        : capacity(capacity), byteCapacity(byteCapacity) {}
    explicit DeviceTable(const TableLimits& limits) : DeviceTable(limits.devices, limits.bytes) {}

    enum class Added { ADDED, PRESENT, FULL };
    Added add(const Address& address, const std::string& name, const std::string& url);
    // Gives the device at `address` another name and URL; false, and the
    // device as it was, when they do not fit.
    bool change(const Address& address, const std::string& name, const std::string& url);
    void remove(const Address& address);
    // The device at `address`; null when there is none.
    const Device* find(const Address& address) const;

    // The bytes an entry of this name and URL is counted at.
    static size_t cost(const std::string& name, const std::string& url);
    size_t bytes() const { return used; }

    bool contains(const Address& address) const { return entries.count(address) != 0; }
    size_t size() const { return entries.size(); }
    bool empty() const { return entries.empty(); }
    const_iterator begin() const { return entries.begin(); }
    const_iterator end() const { return entries.end(); }

private:
    size_t capacity;
    size_t byteCapacity;
    size_t used = 0;
    Entries entries;
};

// What became of fetching a device's page (with --check).
struct PageCheck {
    enum Outcome {
        NONE,         // no check was made
        NOT_ALLOWED,  // the URL may not be fetched (another host, ...): `error` says why
        NOT_CHECKED,  // it could have been, but the check ended first (its time ran out, a stop): `error` says why
        UNREACHABLE,  // refused, timed out, reset, no route: the URL is not opened
        FAILED,       // reached, but no page came back (a TLS handshake that failed, ...)
        ANSWERED,     // the page answered: `status` and what came with it
    };
    Outcome outcome = NONE;
    int status = -1;  // the HTTP status; -1: none
    bool hasTitle = false;
    std::string title;  // the first <title>, decoded, at most 200 bytes
    bool hasLocation = false;
    std::string location;  // a redirect's Location
    std::string tls;       // "": plain HTTP; "valid", "self-signed", "expired", "name-mismatch", "untrusted"
    std::string error;     // why it was not fetched, or the connection's or TLS's failure, in short words

    bool done() const { return outcome != NONE; }
    bool answered() const { return outcome == ANSWERED; }
    bool unreachable() const { return outcome == UNREACHABLE; }
    // A connection was tried: the page answered, or what failed is known.
    bool tried() const { return outcome == UNREACHABLE || outcome == FAILED || outcome == ANSWERED; }
};

// What webfind found out about a device beyond its answer.
struct DeviceFacts {
    std::string mac;     // "3c:2a:f4:01:02:03"; empty: not in the neighbour table
    std::string vendor;  // from the IEEE registry; empty: not known
    // No MAC address although the device is on a link of this host's: it is
    // not in the neighbour table yet (nothing has been sent to it).
    bool notInNeighbours = false;
    PageCheck check;
};
using FactsTable = std::map<Address, DeviceFacts>;

}  // namespace webfind

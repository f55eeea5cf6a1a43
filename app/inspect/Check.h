#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/base/Device.h"

namespace webfind {

// How a device's page is fetched (with --check).
struct CheckSettings {
    size_t parallel = 64;                       // at most this many at a time (fewer where descriptors are few)
    std::chrono::milliseconds connect{2000};    // to connect
    std::chrono::milliseconds total{3000};      // for all of one page
    std::chrono::milliseconds deadline{10000};  // for the whole check, whatever the pages and the resolver do
    std::chrono::milliseconds lookup{3000};     // for the URLs' host names to resolve, within the deadline
    size_t maxBytes = 64 << 10;                 // read at most this much of a page
    std::string userAgent = "webfind";          // webfind/<version>
    // Asked at least every 100 ms; true ends the check at once, what is
    // left reported as not checked.
    std::function<bool()> stopRequested;
};

// How the tool checks pages: as it is, as webfind/<version>.
CheckSettings checkSettings();

// The reasons of a page that was not checked.
extern const char* const CHECK_TIME_RAN_OUT;  // the whole check's time passed first
extern const char* const CHECK_STOPPED;       // a stop was asked for

// What fetching a URL needs, once the safety rule let it through.
struct FetchRequest {
    std::string url;
    std::string host;  // as the URL has it
    uint16_t port = 0;
    bool https = false;
    Address address;  // the answering device: the one place to connect to
};

// The first half of the safety rule, from the URL alone: it must be safe to
// open, http or https, without a user name, with a port that is a port and
// a host that is a plain name or IPv4 address (letters, digits, '-', '.'
// and '_'): nothing a URL parser could decode into another host (a
// percent-encoded byte, a name beyond ASCII). False, with the reason, when
// it may not be fetched whatever its host resolves to; otherwise `request`
// holds all but the address.
bool readFetchUrl(const std::string& url, FetchRequest& request, std::string& why);

// The IPv4 address that `host` spells as an address of its own, in the one
// spelling a dotted quad has; false for a name.
bool literalAddress(const std::string& host, Address& address);

// The second half: the host is the device itself, by its address or by a
// name whose addresses (`found`) are exactly the device's. False, with the
// reason, otherwise.
bool hostIsDevice(const std::vector<Address>& found, const Address& device, std::string& why);

// The safety rule whole: a device's URL is fetched only when it may be (as
// readFetchUrl) and its host is the device itself, by its IPv4 address or
// by a name that resolves to that address alone. The fetch then connects to
// that address whatever the URL says. False, with the reason, otherwise: a
// device must not make webfind connect to a third party, a cloud metadata
// address or the internet.
using Resolver = std::function<std::vector<Address>(const std::string& host)>;
bool planFetch(const std::string& url, const Address& device, const Resolver& resolve, FetchRequest& request,
               std::string& why);

using CheckClock = std::chrono::steady_clock;

// The platform's fetches (libcurl, or WinHTTP), all of them, at most
// `settings.parallel` at a time: status, Location, title, TLS verdict, or
// what failed. Every connection goes to the request's address. Those not
// done by `until`, or when a stop is asked for, are NOT_CHECKED.
void fetchAll(const std::vector<FetchRequest>& requests, std::vector<PageCheck>& results, const CheckSettings& settings,
              CheckClock::time_point until);

// The system's resolver: the IPv4 addresses of `host`.
std::vector<Address> resolveHost(const std::string& host);

// Resolves every name side by side, until `until` or a stop: for each
// name, its addresses, or false where it had not resolved by then (the
// look-ups left behind end on their own and are forgotten).
std::vector<std::pair<bool, std::vector<Address>>> resolveAll(const std::vector<std::string>& names,
                                                              const Resolver& resolve, CheckClock::time_point until,
                                                              const std::function<bool()>& stopRequested);

// Checks the page of every device in `devices`: each one's `check` in
// `facts` says what became of it. Ends within `settings.deadline` (and
// within 100 ms of a stop request).
void checkPages(const DeviceTable& devices, FactsTable& facts, const CheckSettings& settings,
                const Resolver& resolve = resolveHost);

// A TLS failure as the check names it, from the library's words for it.
std::string tlsVerdict(const std::string& failure);

}  // namespace webfind

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
    size_t parallel = 16;                            // at most this many at a time
    std::chrono::milliseconds connect{2000};         // to connect
    std::chrono::milliseconds total{3000};           // for all of it
    size_t maxBytes = 64 << 10;                      // read at most this much of a page
    std::string userAgent = "webfind";               // webfind/<version>
};

// What fetching a URL needs, once the safety rule let it through.
struct FetchRequest {
    std::string url;
    std::string host;   // as the URL has it
    uint16_t port = 0;
    bool https = false;
    Address address;    // the answering device: the one place to connect to
};

// The safety rule: a device's URL is fetched only when it is safe to open
// and its host is the device itself, by its IPv4 address or by a name that
// resolves to that address alone (resolved once here; the fetch then
// connects to that address). False, with the reason, otherwise: a device
// must not make webfind connect to a third party, a cloud metadata address
// or the internet.
using Resolver = std::function<std::vector<Address>(const std::string& host)>;
bool planFetch(const std::string& url, const Address& device, const Resolver& resolve, FetchRequest& request,
               std::string& why);

// The platform's fetches (libcurl, or WinHTTP), all of them, at most
// `settings.parallel` at a time: status, Location, title, TLS verdict, or
// what failed.
void fetchAll(const std::vector<FetchRequest>& requests, std::vector<PageCheck>& results,
              const CheckSettings& settings);

// The system's resolver: the IPv4 addresses of `host`.
std::vector<Address> resolveHost(const std::string& host);

// Checks the page of every device in `devices`: each one's `check` in
// `facts` says what became of it.
void checkPages(const DeviceTable& devices, FactsTable& facts, const CheckSettings& settings,
                const Resolver& resolve = resolveHost);

// A TLS failure as the check names it, from the library's words for it.
std::string tlsVerdict(const std::string& failure);

}  // namespace webfind

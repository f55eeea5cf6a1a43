#include "app/inspect/Check.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "app/base/Address.h"
#include "app/base/Text.h"

namespace webfind {

const char* const CHECK_TIME_RAN_OUT = "the check's time ran out first";
const char* const CHECK_STOPPED = "the check was stopped";

namespace {

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// What a host may hold: a name or an address, nothing a URL parser would
// decode first (%41) or turn into another name (IDN).
bool plainHost(const std::string& host) {
    return std::all_of(host.begin(), host.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '.' || c == '_'; });
}

bool stopped(const std::function<bool()>& stopRequested) { return stopRequested && stopRequested(); }

}  // namespace

CheckSettings checkSettings() {
    CheckSettings settings;
    settings.userAgent = "webfind/" WEBFIND_VERSION;
    return settings;
}

bool literalAddress(const std::string& host, Address& address) {
    return parseDottedQuad(host, address) && address.text() == host;
}

bool readFetchUrl(const std::string& url, FetchRequest& request, std::string& why) {
    if (!safeToOpen(url)) {
        why = "the URL holds characters a URL never holds unescaped";
        return false;
    }
    const bool https = url.rfind("https://", 0) == 0;
    if (!https && url.rfind("http://", 0) != 0) {
        why = "not an http or https URL";
        return false;
    }
    const size_t start = https ? 8 : 7;
    const size_t end = url.find_first_of("/?#", start);
    const std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (authority.find('@') != std::string::npos) {
        why = "the URL carries a user name";
        return false;
    }
    std::string host = authority;
    uint16_t port = https ? 443 : 80;
    if (!host.empty() && host[0] == '[') {
        why = "host is not the answering device";  // an IPv6 address: the device answered over IPv4
        return false;
    }
    const size_t colon = host.find(':');
    if (colon != std::string::npos) {
        const std::string digits = host.substr(colon + 1);
        char* stop = nullptr;
        long value = digits.empty() ? -1 : std::strtol(digits.c_str(), &stop, 10);
        if (digits.empty() || *stop || value < 1 || value > 65535 ||
            !std::isdigit(static_cast<unsigned char>(digits[0]))) {
            why = "the URL's port is not a port";
            return false;
        }
        port = static_cast<uint16_t>(value);
        host.erase(colon);
    }
    if (host.empty()) {
        why = "the URL has no host";
        return false;
    }
    if (!plainHost(host)) {
        why = "the URL's host is not a plain name or address (it holds an escape or a character beyond ASCII)";
        return false;
    }
    request = FetchRequest{url, host, port, https, Address()};
    return true;
}

bool hostIsDevice(const std::vector<Address>& found, const Address& device, std::string& why) {
    if (found.empty()) {
        why = "host is not the answering device (its name does not resolve)";
        return false;
    }
    for (const Address& a : found)
        if (a != device) {
            why = "host is not the answering device (its name resolves to " + a.text() + ")";
            return false;
        }
    return true;
}

bool planFetch(const std::string& url, const Address& device, const Resolver& resolve, FetchRequest& request,
               std::string& why) {
    if (!readFetchUrl(url, request, why)) return false;
    Address literal;
    if (literalAddress(request.host, literal)) {
        if (literal != device) {
            why = "host is not the answering device";
            return false;
        }
    } else if (!hostIsDevice(resolve(lowered(request.host)), device, why)) {
        return false;
    }
    // Resolved once: the fetch connects to this address, whatever a second
    // lookup might say.
    request.address = device;
    return true;
}

namespace {

// The look-ups of one check, shared with the threads that make them: a
// thread still waiting for the resolver when the check has gone on keeps
// them alive until it returns.
struct Lookups {
    Resolver resolve;
    std::vector<std::string> names;
    std::vector<std::pair<bool, std::vector<Address>>> found;
    size_t next = 0, finished = 0;
    std::mutex lock;
    std::condition_variable progress;

    void work() {
        std::unique_lock<std::mutex> held(lock);
        while (next < names.size()) {
            const size_t i = next++;
            const std::string name = names[i];
            held.unlock();
            std::vector<Address> addresses = resolve(name);
            held.lock();
            found[i] = {true, std::move(addresses)};
            ++finished;
            progress.notify_all();
        }
    }
};

// A resolver that never answers must not hold up more than its own names.
constexpr size_t LOOKUP_THREADS = 16;

}  // namespace

std::vector<std::pair<bool, std::vector<Address>>> resolveAll(const std::vector<std::string>& names,
                                                              const Resolver& resolve, CheckClock::time_point until,
                                                              const std::function<bool()>& stopRequested) {
    if (names.empty()) return {};
    auto lookups = std::make_shared<Lookups>();
    lookups->resolve = resolve;
    lookups->names = names;
    lookups->found.resize(names.size());
    std::vector<std::thread> threads;
    for (size_t t = 0; t < std::min(LOOKUP_THREADS, names.size()); ++t)
        threads.emplace_back([lookups] { lookups->work(); });
    std::unique_lock<std::mutex> held(lookups->lock);
    while (lookups->finished < names.size() && !stopped(stopRequested) && CheckClock::now() < until)
        lookups->progress.wait_until(held, std::min(until, CheckClock::now() + std::chrono::milliseconds(100)));
    const bool all = lookups->finished == names.size();
    lookups->next = names.size();  // what is not started is not started any more
    std::vector<std::pair<bool, std::vector<Address>>> found = lookups->found;
    held.unlock();
    for (std::thread& t : threads) {
        if (all)
            t.join();
        else
            t.detach();
    }
    return found;
}

void checkPages(const DeviceTable& devices, FactsTable& facts, const CheckSettings& settings, const Resolver& resolve) {
    const CheckClock::time_point until = CheckClock::now() + settings.deadline;
    std::vector<FetchRequest> requests;
    std::vector<Address> owners;
    std::map<std::string, std::vector<std::pair<Address, FetchRequest>>> byName;
    for (const auto& entry : devices) {
        PageCheck& check = facts[entry.first].check;
        check = PageCheck();
        FetchRequest request;
        Address literal;
        if (!readFetchUrl(entry.second.url, request, check.error)) {
            check.outcome = PageCheck::NOT_ALLOWED;
        } else if (!literalAddress(request.host, literal)) {
            byName[lowered(request.host)].emplace_back(entry.first, std::move(request));
        } else if (literal != entry.first) {
            check.outcome = PageCheck::NOT_ALLOWED;
            check.error = "host is not the answering device";
        } else {
            request.address = entry.first;
            requests.push_back(std::move(request));
            owners.push_back(entry.first);
        }
    }
    // Names are looked up side by side, within their own time.
    std::vector<std::string> names;
    for (const auto& n : byName) names.push_back(n.first);
    const auto found =
        resolveAll(names, resolve, std::min(until, CheckClock::now() + settings.lookup), settings.stopRequested);
    for (size_t i = 0; i < names.size(); ++i) {
        for (auto& asked : byName[names[i]]) {
            PageCheck& check = facts[asked.first].check;
            if (!found[i].first) {
                check.outcome = PageCheck::NOT_CHECKED;
                check.error = stopped(settings.stopRequested) ? CHECK_STOPPED : "its host name did not resolve in time";
            } else if (!hostIsDevice(found[i].second, asked.first, check.error)) {
                check.outcome = PageCheck::NOT_ALLOWED;
            } else {
                asked.second.address = asked.first;
                requests.push_back(std::move(asked.second));
                owners.push_back(asked.first);
            }
        }
    }
    byName.clear();
    std::vector<PageCheck> results(requests.size());
    if (!stopped(settings.stopRequested)) fetchAll(requests, results, settings, until);
    for (size_t i = 0; i < requests.size(); ++i) {
        PageCheck& check = facts[owners[i]].check;
        check = std::move(results[i]);
        if (check.outcome == PageCheck::NONE) {
            check.outcome = PageCheck::NOT_CHECKED;
            check.error = stopped(settings.stopRequested) ? CHECK_STOPPED : CHECK_TIME_RAN_OUT;
        }
    }
}

std::string tlsVerdict(const std::string& failure) {
    const std::string text = lowered(failure);
    if (text.find("self-signed") != std::string::npos || text.find("self signed") != std::string::npos)
        return "self-signed";
    if (text.find("expired") != std::string::npos) return "expired";
    if (text.find("subject name") != std::string::npos || text.find("does not match") != std::string::npos ||
        text.find("name mismatch") != std::string::npos || text.find("cn_invalid") != std::string::npos)
        return "name-mismatch";
    return "untrusted";
}

}  // namespace webfind

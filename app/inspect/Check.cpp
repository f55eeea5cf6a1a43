#include "app/inspect/Check.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "app/base/Address.h"
#include "app/base/Text.h"

namespace webfind {

namespace {

// Only the address's own spelling: no leading zeros, spaces or signs.
bool dottedQuadAddress(const std::string& text, Address& address) {
    return parseDottedQuad(text, address) && address.text() == text;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

bool planFetch(const std::string& url, const Address& device, const Resolver& resolve, FetchRequest& request,
               std::string& why) {
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
        if (digits.empty() || *stop || value < 1 || value > 65535) {
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
    Address literal;
    if (dottedQuadAddress(host, literal)) {
        if (literal != device) {
            why = "host is not the answering device";
            return false;
        }
    } else {
        // Resolved once: the fetch connects to this address, whatever a
        // second lookup might say.
        const std::vector<Address> found = resolve(lowered(host));
        if (found.empty()) {
            why = "host is not the answering device (its name does not resolve)";
            return false;
        }
        for (const Address& a : found)
            if (a != device) {
                why = "host is not the answering device (its name resolves to " + a.text() + ")";
                return false;
            }
    }
    request = FetchRequest{url, host, port, https, device};
    return true;
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

void checkPages(const DeviceTable& devices, FactsTable& facts, const CheckSettings& settings,
                const Resolver& resolve) {
    std::vector<FetchRequest> requests;
    std::vector<Address> owners;
    for (const auto& entry : devices) {
        PageCheck& check = facts[entry.first].check;
        check = PageCheck();
        check.done = true;
        FetchRequest request;
        if (!planFetch(entry.second.url, entry.first, resolve, request, check.error)) continue;
        check.fetched = true;
        requests.push_back(request);
        owners.push_back(entry.first);
    }
    std::vector<PageCheck> results(requests.size());
    fetchAll(requests, results, settings);
    for (size_t i = 0; i < requests.size(); ++i) {
        PageCheck& check = facts[owners[i]].check;
        check = results[i];
        check.done = check.fetched = true;
    }
}

}  // namespace webfind

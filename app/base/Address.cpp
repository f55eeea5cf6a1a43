#include "app/base/Address.h"

namespace webfind {

std::string dottedQuad(const uint8_t* a) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}

std::string Address::text() const { return dottedQuad(bytes.data()); }

bool parseDottedQuad(const std::string& text, Address& address) {
    // By hand: sscanf's %u would take signs, spaces and numbers that wrap.
    size_t at = 0;
    for (size_t part = 0; part < 4; ++part) {
        if (part > 0 && (at == text.size() || text[at++] != '.')) return false;
        unsigned value = 0;
        size_t digits = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4; ++at, ++digits)
            value = value * 10 + static_cast<unsigned>(text[at] - '0');
        if (digits == 0 || value > 255) return false;
        address.bytes[part] = static_cast<uint8_t>(value);
    }
    return at == text.size();
}

bool parseRange(const std::string& text, Address& network, int& prefix) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos || !parseDottedQuad(text.substr(0, slash), network)) return false;
    const std::string bits = text.substr(slash + 1);
    if (bits.empty() || bits.size() > 2 || bits.find_first_not_of("0123456789") != std::string::npos) return false;
    prefix = std::stoi(bits);
    if (prefix > 32) return false;
    network = Address::of(network.number() & maskOf(prefix));
    return true;
}

}  // namespace webfind

#include "app/diagnosis/RulesetText.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "app/base/Address.h"

namespace webfind::ruleset {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool ipv4(const std::string& text, uint32_t& address) {
    Address parsed;
    if (!parseDottedQuad(text, parsed)) return false;
    address = 0;
    for (uint8_t byte : parsed.bytes) address = address << 8 | byte;
    return true;
}

std::pair<uint32_t, uint32_t> prefixRange(uint32_t address, int length) {
    if (length <= 0) return {0, 0xFFFFFFFF};
    uint32_t mask = length >= 32 ? 0xFFFFFFFF : ~(0xFFFFFFFFu >> length);
    return {address & mask, (address & mask) | ~mask};
}

bool addressRange(const std::string& text, std::pair<uint32_t, uint32_t>& range) {
    size_t slash = text.find('/');
    uint32_t address = 0;
    if (!ipv4(text.substr(0, slash), address)) return false;
    if (slash == std::string::npos) {
        range = {address, address};
        return true;
    }
    const std::string length = text.substr(slash + 1);
    uint32_t mask = 0;
    if (ipv4(length, mask)) {
        int bits = 0;
        while (bits < 32 && (mask & (0x80000000u >> bits))) ++bits;
        range = prefixRange(address, bits);
        return true;
    }
    char* end = nullptr;
    long bits = std::strtol(length.c_str(), &end, 10);
    if (length.empty() || *end || bits < 0 || bits > 32) return false;
    range = prefixRange(address, static_cast<int>(bits));
    return true;
}

Condition opaque() { return Condition{}; }

Condition condition(Condition::Field field, bool negated) {
    Condition c;
    c.field = field;
    c.negated = negated;
    return c;
}

bool goesOn(const std::string& target) {
    static const char* const onward[] = {"LOG",     "NFLOG",     "ULOG",   "MARK",  "CONNMARK",    "CT",
                                         "NOTRACK", "TRACE",     "TCPMSS", "AUDIT", "CLASSIFY",    "DSCP",
                                         "TOS",     "TTL",       "SET",    "LED",   "CONNSECMARK", "SECMARK",
                                         "HMARK",   "IDLETIMER", "RATEEST"};
    return std::find(std::begin(onward), std::end(onward), target) != std::end(onward);
}

}  // namespace webfind::ruleset

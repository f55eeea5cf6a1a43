// The JSON listing always parses back, and valid UTF-8 comes back unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "app/output/Listing.h"

using namespace webfind;

namespace {
// Well-formed UTF-8 as RFC 3629 defines it: no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool validUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t extra;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else
            return false;
        if (i + extra >= s.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = cp << 6 | (d & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Input: name, a 0 byte, URL; both strings may hold anything else.
    std::string all(reinterpret_cast<const char*>(data), size);
    size_t cut = all.find('\0');
    std::string name = all.substr(0, cut);
    std::string url = cut == std::string::npos ? std::string() : all.substr(cut + 1);
    DeviceTable devices;
    devices.add(Address{{10, 0, 0, 1}}, name, url);
    devices.add(Address{{10, 0, 0, 2}}, url, name);
    std::ostringstream out;
    writeJson(out, devices);
    nlohmann::json parsed = nlohmann::json::parse(out.str());  // throws, and so fails, on invalid JSON
    if (!parsed.is_array() || parsed.size() != 2) std::abort();
    if (parsed[0]["address"] != "10.0.0.1") std::abort();
    if (validUtf8(name) && parsed[0]["name"] != name) std::abort();
    if (validUtf8(url) && parsed[0]["url"] != url) std::abort();
    return 0;
}

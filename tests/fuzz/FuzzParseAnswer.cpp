// parseAnswer on any datagram: never crashes, and what it accepts is exactly
// what the acceptance rules describe.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Network/Socket.h"
#include "app/wire/Messages.h"

using namespace webfind;

namespace {
void check(bool condition) {
    if (!condition) std::abort();
}
bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(BRIVO::MAX_DATAGRAM_SIZE))
        return 0;  // the receive limit: nothing longer reaches the parser
    BRIVO::Buffer datagram(data, data + size);
    std::string name, url;
    const bool accepted = parseAnswer(datagram, name, url);
    std::string name2, url2;
    check(accepted == (judgeAnswer(DatagramBytes{data, size}, name2, url2) == AnswerVerdict::ACCEPTED));

    if (accepted) {
        const size_t k = name.size();
        check(name.find('\0') == std::string::npos);
        check(16 + k < size && data[16 + k] == 0);  // the name ends before a 0 inside the datagram
        check(name == std::string(reinterpret_cast<const char*>(data) + 16, k));
        check(url.find('\0') == std::string::npos);
        check(startsWith(url, "http://") || startsWith(url, "https://"));
        check(17 + k + url.size() <= size);
        check(url == std::string(reinterpret_cast<const char*>(data) + 17 + k, url.size()));
        check(17 + k + url.size() == size || data[17 + k + url.size()] == 0);
    }

    // Bytes 8 to 15 carry nothing: changing them changes nothing.
    if (size >= 16) {
        BRIVO::Buffer changed = datagram;
        for (size_t i = 8; i < 16; ++i) changed[i] = static_cast<uint8_t>(~changed[i]);
        std::string name3, url3;
        check(parseAnswer(changed, name3, url3) == accepted);
        if (accepted) check(name3 == name && url3 == url);
    }
    return 0;
}

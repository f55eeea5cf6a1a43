#include "Run.h"

#include "Buffer.h"
#include "Clock.h"
#include "Discovery.h"
#include "Platform.h"
#include "UDPV4.h"

namespace {

using BRIVO::Buffer;
using BRIVO::IPAddress;
using BRIVO::UDPV4;

void say(std::ostream& out, const char* message) { out << message << '\n' << std::flush; }

bool setUp(UDPV4& endpoint, std::ostream& out) {
    if (!endpoint.open(BRIVO::SocketV4::UDP_BROADCAST)) {
        say(out, "Socket Open Err");
        return false;
    }
    if (!endpoint.bindV4(IPAddress())) {
        say(out, "Socket Bind Err");
        return false;
    }
    return true;
}

bool sendProbes(UDPV4& endpoint, Buffer& buffer, std::ostream& out) {
    buildProbe(buffer);
    for (uint32_t i = 0; i < PROBE_COUNT; ++i) {
        if (!endpoint.sendTo(buffer, DISCOVERY_GROUP, DISCOVERY_PORT)) {
            say(out, "Socket Send Err");
            return false;
        }
        if (i + 1 < PROBE_COUNT) BRIVO::platform().sleepMs(PROBE_PAUSE_MS);
    }
    return true;
}

// Receives until a quiet wait passes with nothing, or the collecting limit is
// reached. False when a receive failed.
bool collect(UDPV4& endpoint, Buffer& buffer, DeviceTable& devices, const RunSettings& settings,
             std::ostream& out) {
    const BRIVO::Platform& os = BRIVO::platform();
    const uint64_t deadline = os.nowMs() + settings.collectLimitMs;
    IPAddress source;
    uint16_t sourcePort = 0;
    std::string name, url;
    for (;;) {
        uint64_t now = os.nowMs();
        if (now >= deadline) return true;
        uint64_t leftUs = (deadline - now) * 1000u;
        BRIVO::Clock wait(leftUs < settings.quietWaitUs ? static_cast<uint32_t>(leftUs)
                                                        : settings.quietWaitUs);
        switch (endpoint.receiveFrom(buffer, source, sourcePort, wait)) {
        case BRIVO::FAIL:
            say(out, "Socket Receive Err");
            return false;
        case BRIVO::TIMEOUT:
            // Only a full quiet wait ends collecting; a wait cut short by the
            // limit ends it through the deadline check above.
            if (wait.microseconds == settings.quietWaitUs) return true;
            break;
        case BRIVO::DISCARDED:
            break;  // an empty or oversized datagram is ignored like any rejected one
        case BRIVO::RECEIVED:
            if (devices.count(source) == 0 && parseAnswer(buffer, name, url))
                devices.emplace(source, std::make_pair(name, url));
            break;
        }
    }
}

void present(const DeviceTable& devices, std::ostream& out, std::ostream& err,
             const UrlOpener& openUrl) {
    for (const auto& device : devices) {
        const std::string& name = device.second.first;
        const std::string& url = device.second.second;
        std::string why;
        // The device is listed whether or not the desktop could take its URL.
        if (!openUrl(url, why))
            err << "webfind: could not open " << escapeForTerminal(url) << ": " << why << '\n'
                << std::flush;
        out << "Name:" << escapeForTerminal(name) << " URL:" << escapeForTerminal(url) << '\n'
            << std::flush;
    }
}

}  // namespace

std::string escapeForTerminal(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string safe;
    safe.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            safe += "\\x";
            safe += hex[c >> 4];
            safe += hex[c & 0xF];
        } else {
            safe += static_cast<char>(c);
        }
    }
    return safe;
}

int runDiscovery(const RunSettings& settings, std::ostream& out, std::ostream& err,
                 const UrlOpener& openUrl) {
    UDPV4 endpoint;
    if (!setUp(endpoint, out)) return EXIT_SOCKET_FAILURE;
    Buffer buffer;
    if (!sendProbes(endpoint, buffer, out)) return EXIT_SOCKET_FAILURE;
    DeviceTable devices;
    if (!collect(endpoint, buffer, devices, settings, out)) return EXIT_SOCKET_FAILURE;
    present(devices, out, err, openUrl);
    return EXIT_DONE;
}

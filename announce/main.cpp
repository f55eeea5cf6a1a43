// webfind-announce: makes this host findable by webfind.

#include <iostream>

#include "Network/Platform.h"
#include "announce/Announcer.h"
#include "announce/Host.h"
#include "announce/Options.h"
#include "app/base/Text.h"
#include "app/system/Console.h"

namespace webfind::announce {
namespace {

// Interfaces that come, go or change are followed this often.
constexpr uint64_t LOOK_EVERY_MS = 2000;
// A stop request is seen within this (and at once where a wake handle
// ends the wait).
constexpr uint32_t WAIT_MS = 200;

int usage(const std::string& problem) {
    std::cerr << "webfind-announce: " << escapeForTerminal(problem) << " (see 'webfind-announce --help')\n";
    return 2;
}

int run(int argc, char** argv) {
    Options options = parseOptions(argc, argv);
    switch (options.action) {
    case Options::HELP: std::cout << HELP_TEXT; return 0;
    case Options::VERSION: std::cout << "webfind-announce " WEBFIND_VERSION "\n"; return 0;
    case Options::USAGE_ERROR: return usage(options.problem);
    case Options::ANNOUNCE: break;
    }
    AnnounceSettings& settings = options.settings;
    settings.host = hostName();
    if (settings.host.empty() && !options.nameGiven)
        return usage("this host has no name to announce: give one with --name");
    std::string why;
    if (!checkAnnouncement(settings, why)) return usage(why);

    catchStopRequests();
    Announcer announcer(settings, std::cerr);
    if (!announcer.open(why)) {
        std::cerr << "webfind-announce: " << why << '\n';
        return 1;
    }
    const BRIVO::Platform& os = BRIVO::platform();
    announcer.refresh(os.localInterfaces());
    uint64_t lastLook = os.nowMs();
    while (!stopRequested()) {
        if (os.nowMs() - lastLook >= LOOK_EVERY_MS) {
            announcer.refresh(os.localInterfaces());
            lastLook = os.nowMs();
        }
        if (!announcer.serve(WAIT_MS)) {
            std::cerr << "webfind-announce: could not receive: " << os.lastError().text << '\n';
            return 1;
        }
    }
    std::cerr << "webfind-announce: stopped; " << announcer.summary() << '\n';
    return 0;
}

}  // namespace
}  // namespace webfind::announce

int main(int argc, char** argv) { return webfind::announce::run(argc, argv); }

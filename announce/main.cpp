// webfind-announce: makes this host findable by webfind.

#include <algorithm>
#include <iostream>

#include "Network/Platform.h"
#include "announce/Announcer.h"
#include "announce/Options.h"
#include "announce/SelfCheck.h"
#include "app/diagnosis/Announcing.h"
#include "app/base/Text.h"
#include "app/system/Console.h"
#include "app/system/ErrorLog.h"
#include "app/system/HostName.h"
#include "app/system/ServiceManager.h"
#include "app/system/SingleInstance.h"
#include "app/system/SystemService.h"

namespace webfind::announce {
namespace {

// Where the system tells of no interface changes, interfaces are read
// again this often.
constexpr uint64_t LOOK_EVERY_MS = 2000;
// Where no handle wakes a wait on a stop request, it is seen within this.
constexpr uint64_t STOP_SEEN_MS = 200;
// With nothing to do, a wait ends only when something happens.
constexpr uint64_t IDLE_MS = 3600 * 1000;
// News of interface changes come in bursts (an address taken away and
// another given): the interfaces are read once they have been quiet this
// long, so that a renumbered interface is told as one change.
constexpr uint64_t SETTLE_MS = 100;
// The summary at exit may wait this long for standard error to take it.
constexpr uint32_t LAST_LINE_MS = 1000;

int usage(const std::string& problem) {
    std::cerr << "webfind-announce: " << escapeForTerminal(problem) << " (see 'webfind-announce --help')\n";
    return 2;
}

// The system's news of interface changes, for as long as the program runs.
class InterfaceWatch {
public:
    InterfaceWatch() : handle(BRIVO::platform().openInterfaceWatch()) {}
    ~InterfaceWatch() { BRIVO::platform().closeInterfaceWatch(handle); }
    InterfaceWatch(const InterfaceWatch&) = delete;
    InterfaceWatch& operator=(const InterfaceWatch&) = delete;
    const BRIVO::Handle handle;
};

int run(int argc, char** argv);

// Under the Service Control Manager, with the options kept for it.
int serve() {
    std::string problem;
    const int status = runAsSystemService(
        "webfind-announce",
        [](const std::vector<std::string>& words) {
            std::vector<std::string> kept = {"webfind-announce"};
            kept.insert(kept.end(), words.begin(), words.end());
            if (std::find(kept.begin(), kept.end(), "--service") != kept.end())
                return usage("--service cannot be among the service's own options");
            std::vector<char*> argv;
            for (std::string& w : kept) argv.push_back(&w[0]);
            argv.push_back(nullptr);
            return run(static_cast<int>(kept.size()), argv.data());
        },
        problem);
    if (status < 0) return usage(problem);
    return status;
}

int run(int argc, char** argv) {
    Options options = parseOptions(argc, argv);
    switch (options.action) {
    case Options::HELP: std::cout << HELP_TEXT; return 0;
    case Options::VERSION: std::cout << "webfind-announce " WEBFIND_VERSION "\n"; return 0;
    case Options::USAGE_ERROR: return usage(options.problem);
    case Options::SERVICE: return serve();
    case Options::ANNOUNCE: break;
    }
    AnnounceSettings& settings = options.settings;
    settings.host = hostName();
    if (settings.host.empty() && !options.nameGiven)
        return usage("this host has no name to announce: give one with --name");
    std::string why;
    if (!checkAnnouncement(settings, why)) return usage(why);

    // One announcer a host: a second would answer every probe again.
    SingleInstance only;
    std::string holder;
    if (!only.take("webfind-announce", holder)) {
        std::cerr << "webfind-announce: another webfind-announce answers on this host already"
                  << (holder.empty() ? "" : " (" + holder + ")") << "; one is enough\n";
        return 1;
    }
    catchStopRequests();
    catchReloadRequests();
    detectJournal();
    ErrorLog log("webfind-announce");
    Announcer announcer(settings, log.stream());
    if (!announcer.open(why)) {
        std::cerr << "webfind-announce: " << why << '\n';
        return 1;
    }
    const BRIVO::Platform& os = BRIVO::platform();
    const InterfaceWatch watch;
    announcer.refresh(os.localInterfaces());
    SelfCheck check(
        [](const std::vector<Link>& links) {
            std::vector<BRIVO::LocalInterface> interfaces;
            for (const Link& l : links) {
                BRIVO::LocalInterface i{};
                i.name = l.name;
                const Address mask = Address::of(l.mask);
                std::copy(l.address.bytes.begin(), l.address.bytes.end(), i.address);
                std::copy(mask.bytes.begin(), mask.bytes.end(), i.mask);
                i.up = true;
                i.index = l.index;
                interfaces.push_back(i);
            }
            return checkProbesAdmitted(interfaces);
        },
        somethingListens);
    auto lookAtSelf = [&]() {
        for (const SelfCheck::Line& line :
             check.look(announcer.links(), [&](const Link& l) { return announcer.urlOn(l); }))
            log.stream() << withPriority(line.warning ? Priority::WARNING : Priority::NOTICE,
                                         "webfind-announce: " + line.text + (line.text.back() == '\n' ? "" : "\n"))
                         << std::flush;
    };
    lookAtSelf();
    uint64_t lastLook = os.nowMs();
    const BRIVO::Handle wake =
        stopWakeHandle() < 0 ? BRIVO::INVALID_HANDLE : static_cast<BRIVO::Handle>(stopWakeHandle());
    bool watching = watch.handle != BRIVO::INVALID_HANDLE;
    uint64_t lookAt = 0;  // when the interfaces are to be read, after news; 0: no news
    auto failed = [&](const std::string& what) {
        log.last("webfind-announce: " + what + ": " + os.lastError().text + "\n", LAST_LINE_MS);
        return 1;
    };
    while (!stopRequested()) {
        if (takeReloadRequest()) {
            log.stream() << "webfind-announce: SIGHUP: reading this host's name and interfaces again\n" << std::flush;
            announcer.reload(hostName(), os.localInterfaces());
            lastLook = os.nowMs();
            lookAtSelf();
        }
        const uint64_t now = os.nowMs();
        const uint64_t turn = announcer.nextTurn(now);
        uint64_t waitMs = turn ? (turn > now ? turn - now : 0) : IDLE_MS;
        if (lookAt) waitMs = std::min(waitMs, lookAt > now ? lookAt - now : 0);
        if (!watching) waitMs = std::min(waitMs, lastLook + LOOK_EVERY_MS - std::min(now, lastLook + LOOK_EVERY_MS));
        if (wake == BRIVO::INVALID_HANDLE) waitMs = std::min(waitMs, STOP_SEEN_MS);
        const BRIVO::Handle handles[] = {announcer.handle(), watching ? watch.handle : BRIVO::INVALID_HANDLE, wake};
        const int ready = os.waitAny(
            handles, 3,
            BRIVO::WaitTime{static_cast<uint32_t>(waitMs / 1000), static_cast<uint32_t>(waitMs % 1000 * 1000)});
        if (ready < 0) return failed("could not wait for probes");
        // Links first: a probe on a link that just came is judged by it.
        int news = (ready & 2) ? os.takeInterfaceEvents(watch.handle) : 0;
        if (news < 0) {
            // The system stopped telling: interfaces are read now and then.
            log.stream() << "webfind-announce: the system no longer tells of interface changes (" << os.lastError().text
                         << "); reading them every " << LOOK_EVERY_MS / 1000 << " s\n"
                         << std::flush;
            watching = false;
        }
        if (news != 0) lookAt = os.nowMs() + SETTLE_MS;
        if ((lookAt && os.nowMs() >= lookAt) || (!watching && os.nowMs() - lastLook >= LOOK_EVERY_MS)) {
            // A renamed host is told with its links.
            const bool changed = announcer.reload(hostName(), os.localInterfaces());
            lastLook = os.nowMs();
            lookAt = 0;
            if (changed) lookAtSelf();
        }
        if ((ready & 1) && !announcer.receive()) return failed("could not receive");
        announcer.attend();
    }
    announcer.leaveAll();
    const uint64_t lost = log.dropped();
    log.last("webfind-announce: stopped; " + announcer.summary() +
                 (lost ? "; " + std::to_string(lost) + " lines of this log could not be written" : "") + "\n",
             LAST_LINE_MS);
    return 0;
}

}  // namespace
}  // namespace webfind::announce

int main(int argc, char** argv) { return webfind::announce::run(argc, argv); }

#include "app/Run.h"

#include "app/Patterns.h"
#include "app/Session.h"

namespace webfind {

int runDiscovery(const RunSettings& settings, std::ostream& out, const Presenter& present, RunReport* report) {
    DeviceTable devices;
    // With stopAtFirst: the first device whose name matches, alone.
    DeviceTable first;
    AnswerHandler handler{
        // The first valid answer from an address wins; repeats change nothing.
        [&](const BRIVO::IPAddress& source) { return devices.find(source) == devices.end(); },
        [&](const BRIVO::IPAddress& source, const std::string& name, const std::string& url) {
            if (devices.size() >= settings.maxDevices) return Take::FULL;
            devices.emplace(source, std::make_pair(name, url));
            if (!settings.stopAtFirst || !nameMatches(name, settings.patterns)) return Take::KEPT;
            first.emplace(source, std::make_pair(name, url));
            return Take::DONE;
        }};
    Session session(settings, handler);
    bool completed = session.open() && session.probe() && (session.finished() || session.collectUntilQuiet());
    if (report) *report = session.report();
    if (!completed) {
        out << failureMessage(session.report().failed) << '\n' << std::flush;
        return EXIT_SOCKET_FAILURE;
    }
    if (devices.empty()) session.note("no device answered (probed " + session.probedVia() + ")");
    if (report) report->devices = devices.size();
    present(settings.stopAtFirst ? first : devices);
    return EXIT_DONE;
}

}  // namespace webfind

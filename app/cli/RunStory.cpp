#include "app/cli/RunStory.h"

#include <algorithm>
#include <future>
#include <ostream>

#include "app/desktop/Present.h"
#include "app/inspect/Check.h"
#include "app/inspect/Hardware.h"
#include "app/output/Listing.h"

namespace webfind {
namespace {

std::string plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What the targets said: how many answered, said nothing listens there, or
// were silent; and the answers from elsewhere that were turned away.
std::string targetsNote(const RunSettings& settings, const RunReport& report) {
    const size_t targets = settings.session.targets.size();
    const size_t silent = targets - std::min(targets, report.targetsAnswered + report.targetsRefused);
    std::string note = "webfind: " + std::to_string(report.targetsAnswered) + " of " +
                       plural(targets, "target", "targets") + " answered";
    if (report.targetsRefused > 0)
        note += "; " + std::to_string(report.targetsRefused) + " said nothing listens there (port unreachable)";
    if (silent > 0)
        note += "; " + std::to_string(silent) + (silent == 1 ? " was" : " were") +
                " silent: nothing answers there, or a router or firewall on the path drops the probes or the "
                "answers (UDP port 3576 out, the answers back to this host's port)";
    if (report.notTargets > 0)
        note += "; " + plural(report.notTargets, "datagram", "datagrams") + " from addresses not probed turned away";
    return note + "\n";
}

// When a person reads along: why nothing answered, or, when patterns left
// every device out, how many there were.
void explain(const Options& options, const RunSettings& settings, const RunReport& report, ExitStatus status,
             const Telling& telling) {
    if (!explaining(options, telling) || report.failedStep != SocketStep::NONE) return;
    const bool targetsAlone = !settings.session.targets.empty() && settings.session.interfaces.empty();
    if (!settings.session.targets.empty() && (report.answered == 0 || options.verbose))
        telling.err << targetsNote(settings, report) << std::flush;
    if (report.answered == 0 && targetsAlone) return;
    if (report.answered == 0) {
        telling.err << diagnoseNothingFound(contextOf(options, settings, report)) << std::flush;
    } else if (status == ExitStatus::NO_MATCH && telling.errIsTerminal) {
        telling.err << "webfind: no device matched; " << report.answered
                    << (report.answered == 1 ? " device answered" : " devices answered")
                    << " (webfind -n without patterns lists them all)\n"
                    << std::flush;
    }
}

// Devices on this host's links whose MAC address is not known yet, and how
// to learn it.
void noteMissingNeighbours(const FactsTable& facts, std::ostream& err) {
    std::string missing;
    size_t count = 0;
    for (const auto& f : facts)
        if (f.second.notInNeighbours && count++ < 5) missing += (missing.empty() ? "" : ", ") + f.first.text();
    if (count == 0) return;
    err << "webfind: " << (count == 1 ? "1 device" : std::to_string(count) + " devices") << " on this host's links "
        << (count == 1 ? "is" : "are") << " not in the neighbour table yet (" << missing << (count > 5 ? ", ..." : "")
        << "): no MAC address or vendor for " << (count == 1 ? "it" : "them")
        << "; any packet to a device puts it there, such as the request webfind --check sends\n";
}

// What else is known of the devices found: their hardware from the
// neighbour table (no packet sent) where it is shown, and with --check,
// their pages. `links`, when valid, holds this host's links as read while
// the probes were out.
FactsTable inspect(const Options& options, const DeviceTable& devices, std::future<OnLink>& links, std::ostream& err) {
    FactsTable facts;
    const bool hardware = hardwareShown(options, devices.size());
    OnLink onLink;
    if (hardware) {
        onLink = links.valid() ? links.get() : directlyConnected();
        addHardware(devices, facts, onLink);
    }
    if (options.check) {
        checkPages(devices, facts, checkSettings());
        // Its requests put the devices on this host's links in the table.
        if (hardware) addHardware(devices, facts, onLink);
    }
    if (options.verbose) noteMissingNeighbours(facts, err);
    return facts;
}

}  // namespace

bool hardwareShown(const Options& options, size_t devices) {
    return options.json || options.longListing || options.verbose ||
           (options.open && (options.page || devices > MAX_OPENED_URLS));
}

ExitStatus tellRun(const Options& options, const RunSettings& settings, const Telling& telling) {
    // Many targets take a while: said before they begin. A target that
    // answers is not asked again, so three rounds are the longest.
    const size_t targets = settings.session.targets.size();
    const uint64_t roundMs = uint64_t(targets) * 1000 / std::max<uint32_t>(1, settings.session.rate);
    const bool lengthy = roundMs * 3 >= 2000;
    if (lengthy)
        telling.err << "webfind: probing " << targets << " targets at most " << settings.session.rate
                    << " a second: " << (roundMs + 999) / 1000 << " s, up to " << (roundMs * 3 + 999) / 1000
                    << " s when they do not answer\n"
                    << std::flush;
    // On a terminal, a line that counts them, rewritten in place.
    RunSettings told = settings;
    if (lengthy && telling.errIsTerminal)
        told.session.progress = [&telling](size_t sent, size_t total) {
            telling.err << "\rwebfind: " << sent << " of " << total << " probes sent (" << sent * 100 / total << "%)"
                        << std::flush;
        };
    // This host's links, for the hardware shown, are read while the probes
    // are out rather than after the answers.
    std::future<OnLink> links;
    if (hardwareShown(options, 0)) links = std::async(std::launch::async, [] { return OnLink(directlyConnected()); });
    // The socket stays open until the devices are listed.
    Discovery discovery(told);
    const RunResult found = discovery.run();
    if (told.session.progress) telling.err << "\r\033[K" << std::flush;
    if (found.failed()) return tellFailure(options, settings, found.report, telling);
    // Patterns and --first ask for particular devices: none found is a
    // result of its own, with nothing on standard output but, for a
    // script that reads JSON, the empty array.
    ExitStatus status = ExitStatus::NO_MATCH;
    if (!found.devices.empty() || !(settings.filter.selective() || settings.stopAtFirst)) {
        const FactsTable facts = inspect(options, found.devices, links, telling.err);
        if (options.json)
            writeJson(telling.out, found.devices, &facts);
        else
            listDevices(found.devices, telling.out, telling.err, options.open ? telling.desktop : nullptr, options.page,
                        &facts, options.longListing);
        status = ExitStatus::DONE;
    } else if (options.json) {
        writeJson(telling.out, found.devices);
    }
    if (found.report.leftOut > 0)
        telling.err << leftOutNote(found.report.leftOut, found.report.leftOutAtLeast, settings.limits, false)
                    << std::flush;
    explain(options, settings, found.report, status, telling);
    return status;
}

}  // namespace webfind

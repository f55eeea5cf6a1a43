#include "app/discovery/Discovery.h"

#include <algorithm>

#include <set>

#include "app/discovery/Intake.h"
#include "app/discovery/Session.h"

namespace webfind {

namespace {

// The devices of a single run: the first valid answer from an address wins,
// and repeats change nothing. Addresses whose names the filter leaves out
// are remembered too, so that their repeats are not judged again, and so are
// those left out for want of room, to be counted once each.
class Collector : public Keeper {
public:
    Collector(const TableLimits& limits, bool stopAtFirst)
        : devices(limits), maxDevices(limits.devices), stopAtFirst(stopAtFirst) {}

    bool wanted(const Address& source) const override {
        return !devices.contains(source) && passedOver.count(source) == 0 && refused.count(source) == 0;
    }
    Take keep(const Address& source, const std::string& name, const std::string& url) override {
        if (answered() >= maxDevices || devices.add(source, name, url) == DeviceTable::Added::FULL)
            return refuse(source);
        return stopAtFirst ? Take::DONE : Take::KEPT;
    }
    Take passOver(const Address& source) override {
        if (answered() >= maxDevices) return refuse(source);
        passedOver.insert(source);
        return Take::KEPT;
    }
    size_t answered() const { return devices.size() + passedOver.size(); }
    size_t leftOut() const { return refused.size(); }
    bool leftOutAtLeast() const { return uncounted; }

    DeviceTable devices;

private:
    // Left out, and counted as far as counting costs little.
    Take refuse(const Address& source) {
        if (refused.size() < maxDevices)
            refused.insert(source);
        else
            uncounted = true;
        return Take::FULL;
    }

    size_t maxDevices;
    bool stopAtFirst;
    std::set<Address> passedOver, refused;
    bool uncounted = false;
};

}  // namespace

struct Discovery::State {
    explicit State(RunSettings s)
        : settings(std::move(s)),
          log(settings.log),
          collector(settings.limits, settings.stopAtFirst),
          intake(settings.filter, settings.limits, collector, log),
          session(settings.session, intake, log) {
        if (!settings.session.targets.empty())
            intake.expectFrom([this](const Address& source) { return session.probed(source); });
    }

    RunSettings settings;
    VerboseLog log;
    Collector collector;
    Intake intake;
    Session session;
};

Discovery::Discovery(RunSettings settings) : state(new State(std::move(settings))) {}

Discovery::~Discovery() = default;

RunResult Discovery::run() {
    Session& session = state->session;
    const bool completed = session.open() && session.probe() && (session.finished() || session.collectUntilQuiet());
    RunResult result;
    result.report.failedStep = session.failedStep();
    result.report.why = session.failureReason();
    result.report.datagrams = state->intake.datagrams();
    result.report.rejected = state->intake.rejected();
    result.report.answered = state->collector.answered();
    result.report.leftOut = state->collector.leftOut();
    result.report.leftOutAtLeast = state->collector.leftOutAtLeast();
    result.report.notTargets = state->intake.notTargets();
    result.report.targetsRefused = session.refusedByTargets();
    const std::vector<Address>& targets = state->settings.session.targets;
    for (const auto& device : state->collector.devices)
        result.report.targetsAnswered += std::binary_search(targets.begin(), targets.end(), device.first);
    if (!completed) return result;
    if (result.report.answered == 0) state->log.note("no device answered (probed " + session.probedVia() + ")");
    result.devices = std::move(state->collector.devices);
    return result;
}

}  // namespace webfind

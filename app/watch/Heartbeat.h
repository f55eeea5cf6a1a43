#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/system/ServiceManager.h"
#include "app/watch/Watch.h"

namespace webfind {

// A watch run as a service tells its manager how it is, beside what
// `inner` tells: ready once its first round is judged (whether it could
// probe or not), alive at the end of each round, and a status line with the
// devices up (and the failure, while rounds fail). A watchdog shorter than
// two rounds is asked to wait longer.
class Heartbeat : public WatchObserver {
public:
    Heartbeat(WatchObserver& inner, const ServiceManager& manager, Milliseconds interval);

    void event(const WatchEvent& event) override { inner.event(event); }
    void roundFailed(uint64_t round, SocketStep step, const FailureReason& why) override;
    void interfacesChanged(uint64_t round, const std::vector<InterfaceChange>& changes,
                           const std::vector<BRIVO::LocalInterface>& interfaces) override {
        inner.interfacesChanged(round, changes, interfaces);
    }
    void resumed(uint64_t nextRound, Milliseconds gap) override { inner.resumed(nextRound, gap); }
    void roundJudged(uint64_t round, const DeviceTable& up) override;
    void roundEnded(uint64_t round, const RunReport& report, const DeviceTable& up) override;
    void watchEnded(const DeviceTable& up) override { inner.watchEnded(up); }

private:
    std::string status(uint64_t round, const DeviceTable& up) const;

    WatchObserver& inner;
    const ServiceManager& manager;
    bool ready = false;
    uint64_t failedRound = 0;  // the last round that could not probe
    std::string failure;       // and why
};

}  // namespace webfind

#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "app/base/Device.h"
#include "app/discovery/Interfaces.h"
#include "app/inspect/BackgroundChecks.h"
#include "app/inspect/Hardware.h"
#include "app/watch/LivePage.h"
#include "app/watch/MetricsFile.h"
#include "app/watch/Watch.h"

namespace webfind {

// What a watch tells, and how.
struct WatchReporting {
    bool json = false;         // JSON Lines instead of text lines
    bool longListing = false;  // each device's address, MAC address and vendor under its line
    bool explain = false;      // a person reads the notes: after an empty round, why
    TableLimits limits;        // the watch's table, for the note on devices left out
    // With a value, the page of each device that comes up or changes is
    // checked this way, on a thread of its own.
    std::optional<CheckSettings> check;
};

// Why a round found nothing, for the notes; as the diagnosis says it.
using Diagnose = std::function<std::string(const RunReport& report)>;

// Everything a watch tells: its events on `out`, one flushed line each as
// they happen, and with --check each page's verdict once it is known (a
// "checked" event, from the checking thread: each line whole, under one
// lock); notes on `err`; and at each round's end, its page and its metrics
// file. What is known of each device up (its hardware, its page) goes to
// the page and the metrics.
class WatchReporter : public WatchObserver {
public:
    WatchReporter(WatchReporting reporting, std::ostream& out, std::ostream& err, Diagnose diagnose,
                  LivePage* page = nullptr, MetricsFile* metrics = nullptr, HardwareLookup hardware = HardwareLookup());

    void event(const WatchEvent& event) override;
    // A failure is said once, and again only when its reason changes; the
    // round that probes again after it says so.
    void roundFailed(uint64_t round, SocketStep step, const FailureReason& why) override;
    void interfacesChanged(uint64_t round, const std::vector<InterfaceChange>& changes,
                           const std::vector<BRIVO::LocalInterface>& interfaces) override;
    void resumed(uint64_t nextRound, Milliseconds gap) override;
    void roundEnded(uint64_t round, const RunReport& report, const DeviceTable& up) override;
    // Checks still on their way are dropped; the page says the watch has
    // ended.
    void watchEnded(const DeviceTable& up) override;

private:
    using Clock = std::chrono::system_clock;

    bool keepsFacts() const { return page || metrics; }
    void print(const WatchEvent& e);
    void checked(const Address& address, const std::string& url, const PageCheck& check);
    void explainSilence(const RunReport& report);

    const WatchReporting reporting;
    std::ostream& out;
    std::ostream& err;
    const Diagnose diagnose;
    LivePage* const page;
    MetricsFile* const metrics;
    HardwareLookup hardware;
    std::mutex lock;   // `out` and `facts`, shared with the checking thread
    FactsTable facts;  // of the devices up, for the page and the metrics
    // The empty rounds since devices were last up: what had arrived before
    // them, when the devices were last seen, and how many went.
    struct Silence {
        size_t rejectedBefore = 0;
        Clock::time_point lastSeen;
        size_t gone = 0;
    } silence;
    std::chrono::steady_clock::time_point lastLook;
    std::string lastSaid;
    bool leftOutSaid = false;
    std::string failing;  // the failure said last, while rounds fail
    bool failedThisRound = false;
    Subnets links;  // this host's, as last seen
    // Last: stopped before what it calls back into goes.
    std::unique_ptr<BackgroundChecks> checks;
};

}  // namespace webfind

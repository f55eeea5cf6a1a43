// Whole watches on the fake platform's virtual clock: events as they
// happen, how hard a round tries before a device is down, failures that
// never end a watch, a host that sleeps, interfaces that change, patterns,
// the duration and stop requests.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "app/watch/Watch.h"
#include "app/wire/Messages.h"

using namespace webfind;
using BRIVO::Buffer;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

const char* const KINDS[] = {"up", "down", "changed"};

Buffer answer(const std::string& name) {
    Buffer b;
    buildAnswer(b, name, "http://x/");
    return b;
}

// Devices on the fake's network that answer every probe while they are
// alive, 1 ms after it; with `loss`, each probe and each answer is lost
// with that chance, drawn from a fixed seed.
class SimulatedLan {
public:
    explicit SimulatedLan(FakePlatform& fake, double loss = 0) : fake(fake), loss(loss) {
        fake.onSend = [this](const Buffer&) { answerProbe(); };
    }
    ~SimulatedLan() { fake.onSend = nullptr; }

    void add(uint32_t address, const std::string& name) { devices[address] = Device{answer(name), true}; }
    void setAlive(uint32_t address, bool alive) { devices[address].alive = alive; }

private:
    struct Device {
        Buffer answer;
        bool alive;
    };
    bool lost() { return loss > 0 && chance(random) < loss; }
    void answerProbe() {
        if (lost()) return;
        for (const auto& d : devices) {
            if (!d.second.alive || lost()) continue;
            const uint32_t a = d.first;
            fake.arrivals.push_back(
                FakePlatform::Arrival{static_cast<long>(d.second.answer.size()), d.second.answer,
                                      addressV4(uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a), 3576),
                                      fake.arrivals.empty() ? 1u : 0u});
        }
    }

    FakePlatform& fake;
    const double loss;
    std::mt19937 random{20261208};
    std::uniform_real_distribution<double> chance{0, 1};
    std::map<uint32_t, Device> devices;
};

constexpr uint32_t device(uint32_t n) { return 0x0A000000u + n; }  // 10.0.x.y

}  // namespace

class WatchRun : public FakePlatformTest, public WatchObserver {
protected:
    WatchRun() { w.interval = Milliseconds(1000); }
    SocketStep watchFor(Milliseconds duration) {
        w.duration = duration;
        return watch(settings, w, *this).failedStep;
    }
    // Virtual time since the watch started.
    uint64_t at() const { return fake.now - 1000; }
    void event(const WatchEvent& e) override {
        if (e.kind == WatchEvent::DOWN) downs.emplace_back(e.address.text(), at());
        events.push_back(std::string(KINDS[e.kind]) + " " + e.address.text() + " at " + std::to_string(at()) +
                         " round " + std::to_string(e.round));
    }
    void roundFailed(uint64_t round, SocketStep step, const FailureReason& why) override {
        failures.push_back("round " + std::to_string(round) + ": " + failureMessage(step) + " (" + why.text + ")");
    }
    void roundEnded(uint64_t round, const RunReport& report, const DeviceTable& up) override {
        std::string names;
        for (const auto& device : up) names += " " + device.second.name;
        rounds.push_back(std::to_string(round) + ": " + std::to_string(report.answered) + " up" + names);
    }
    void interfacesChanged(uint64_t round, const std::vector<InterfaceChange>& changes,
                           const std::vector<BRIVO::LocalInterface>&) override {
        const char* kinds[] = {"came", "went", "moved", "missing"};
        for (const InterfaceChange& c : changes) {
            std::string line = "round " + std::to_string(round) + ": " + kinds[c.kind] + " " + c.name;
            for (const Address& a : c.addresses) line += " " + a.text();
            interfaceLines.push_back(line);
        }
    }
    void resumed(uint64_t nextRound, Milliseconds gap) override {
        resumes.push_back("round " + std::to_string(nextRound) + " after " + std::to_string(gap.count() / 1000) + " s");
    }
    // The probes sent through each interface address, in order.
    std::vector<std::string> probedThrough() const {
        std::vector<std::string> through;
        for (const std::string& c : fake.calls)
            if (c.find("MULTICAST_INTERFACE") != std::string::npos)
                through.push_back(c.substr(c.rfind("INTERFACE") + 10));
        return through;
    }

    RunSettings settings;
    WatchSettings w;
    std::vector<std::string> events, failures, rounds, interfaceLines, resumes;
    std::vector<std::pair<std::string, uint64_t>> downs;
};

TEST_F(WatchRun, EventsAsTheyHappenAndTheDurationEndsIt) {
    Buffer printer = answer("Printer");
    fake.arrivals = {{static_cast<long>(printer.size()), printer, addressV4(10, 0, 0, 5, 3576), 30}};
    EXPECT_EQ(watchFor(Milliseconds(3500)), SocketStep::NONE);
    // Up at its answer, 30 ms in. Round 2 probes at 1000, then four more
    // times, 100 ms and then 90 ms apart, and calls it down 90 ms after the
    // last; the down event names the last round the device answered in.
    EXPECT_THAT(events, ElementsAre("up 10.0.0.5 at 30 round 1", "down 10.0.0.5 at 1460 round 1"));
    EXPECT_EQ(at(), 3500u) << "ended by the duration";
    EXPECT_THAT(fake.sendTimes, ElementsAre(1000, 1100, 1200, 2000, 2100, 2190, 2280, 2370, 3000, 4000))
        << "three probes in the first round, then one a round, and retries only while a device known is missing";
    EXPECT_THAT(rounds, ElementsAre("1: 1 up Printer", "2: 0 up", "3: 0 up"))
        << "the round the duration cut says nothing";
}

TEST_F(WatchRun, OneProbeARoundWhileEveryDeviceAnswersAndADeadOneIsDownWithin1460ms) {
    SimulatedLan lan(fake);
    for (uint32_t n = 1; n <= 20; ++n) lan.add(device(n), "Device " + std::to_string(n));
    fake.recording = false;
    // Devices die one after another at every offset into a round.
    std::vector<uint64_t> dies;
    for (uint32_t n = 1; n <= 20; ++n) dies.push_back(2000 + n * 1000 + (n * 53) % 1000);
    size_t probes = 0;
    fake.onSend = [&, answerAll = fake.onSend](const Buffer& b) {
        ++probes;
        for (uint32_t n = 1; n <= 20; ++n)
            if (at() >= dies[n - 1]) lan.setAlive(device(n), false);
        answerAll(b);
    };
    EXPECT_EQ(watchFor(Milliseconds(25000)), SocketStep::NONE);
    ASSERT_EQ(downs.size(), 20u);
    for (uint32_t n = 1; n <= 20; ++n) {
        const uint64_t death = dies[n - 1];
        // It answered the last probe before its death; its down comes 1.46 s
        // after that probe at the latest.
        const auto down = std::find_if(downs.begin(), downs.end(), [&](const auto& d) {
            return d.first == Address{{10, 0, 0, static_cast<uint8_t>(n)}}.text();
        });
        ASSERT_NE(down, downs.end());
        EXPECT_GT(down->second, death);
        EXPECT_LE(down->second - death, 1460u) << "device " << n << " died at " << death;
    }
    // 25 rounds: the first three probes, then one a round and five in the
    // 20 rounds in which a device went.
    EXPECT_EQ(probes, 3u + 24u + 20u * 4u);
}

TEST_F(WatchRun, NoFalseDownInAnHourOf1000DevicesAtOnePercentLoss) {
    SimulatedLan lan(fake, 0.01);
    for (uint32_t n = 0; n < 1000; ++n) lan.add(device(0x100 + n), "Device " + std::to_string(n));
    fake.recording = false;
    settings.limits = TableLimits{2000, 1 << 20};
    EXPECT_EQ(watchFor(Milliseconds(3600 * 1000)), SocketStep::NONE);
    EXPECT_EQ(rounds.size(), 3599u);
    EXPECT_TRUE(downs.empty()) << downs.size() << " false downs, the first " << downs.front().first << " at "
                               << downs.front().second;
    EXPECT_EQ(rounds.back().substr(0, 13), "3599: 1000 up");
}

TEST_F(WatchRun, NoNetworkIsARoundFailureNotTheEndOfTheWatch) {
    SimulatedLan lan(fake);
    lan.add(device(5), "Printer");
    // No route for the first three rounds (a boot without network).
    fake.sendResults = {-1, -1, -1};
    fake.error = {BRIVO::SocketError::NO_ROUTE, 101, "Network is unreachable"};
    EXPECT_EQ(watchFor(Milliseconds(4500)), SocketStep::NONE);
    EXPECT_THAT(failures, ElementsAre("round 1: Socket Send Err (Network is unreachable)",
                                      "round 2: Socket Send Err (Network is unreachable)",
                                      "round 3: Socket Send Err (Network is unreachable)"));
    EXPECT_THAT(events, ElementsAre("up 10.0.0.5 at 3001 round 4"));
    EXPECT_EQ(rounds.size(), 4u) << "a failed round still ends, for the page, the metrics and the watchdog";
}

TEST_F(WatchRun, AFailedRoundCallsNoDeviceDownAndTheNextTakesAFreshLook) {
    SimulatedLan lan(fake);
    lan.add(device(5), "Printer");
    // Round 2's probe cannot leave: the printer is not called down for it.
    fake.sendResults = {12, 12, 12, -1};
    fake.error = {BRIVO::SocketError::NO_ROUTE, 101, "Network is unreachable"};
    EXPECT_EQ(watchFor(Milliseconds(3500)), SocketStep::NONE);
    EXPECT_THAT(failures, ElementsAre("round 2: Socket Send Err (Network is unreachable)"));
    EXPECT_THAT(events, ElementsAre("up 10.0.0.5 at 1 round 1"));
    EXPECT_THAT(fake.sendTimes, ElementsAre(1000, 1100, 1200, 2000, 3000, 3100, 3200, 4000))
        << "round 3 probes three times";
}

TEST_F(WatchRun, AfterTheHostSleptNoDeviceIsDownForTheRoundsThatDidNotRun) {
    SimulatedLan lan(fake);
    lan.add(device(1), "Stays");
    lan.add(device(2), "Goes while the host sleeps");
    bool slept = false;
    fake.onSend = [&, answerAll = fake.onSend](const Buffer& b) {
        answerAll(b);
        // In round 3, after its probe: an hour passes at once, as the
        // monotonic clock that counts a suspend sees it.
        if (!slept && at() >= 2000) {
            slept = true;
            fake.now += 3600 * 1000;
            lan.setAlive(device(2), false);
        }
    };
    EXPECT_EQ(watchFor(Milliseconds(3600 * 1000 + 6000)), SocketStep::NONE);
    ASSERT_EQ(resumes.size(), 1u);
    EXPECT_THAT(resumes[0], HasSubstr("round 4 after 3600 s"));
    // Only what differs after the gap: the device that went, once the fresh
    // look has missed it; never the one that stayed.
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].first, "10.0.0.2");
    EXPECT_THAT(events, testing::Not(testing::Contains(HasSubstr("down 10.0.0.1"))));
}

TEST_F(WatchRun, InterfacesThatComeGoAndChangeAreFollowedRoundByRound) {
    auto iface = [](const char* name, uint8_t c, bool up = true) {
        return BRIVO::LocalInterface{
            name, {10, c, 0, 5}, {255, 255, 255, 0}, up, true, false, BRIVO::InterfaceKind::HARDWARE, true, 0};
    };
    w.allInterfaces = true;
    // Round by round: none at all (a boot), eth0, eth0 and eth1, eth1
    // alone, eth1 renumbered.
    const std::vector<std::vector<BRIVO::LocalInterface>> plan = {{},
                                                                  {iface("eth0", 1)},
                                                                  {iface("eth0", 1), iface("eth1", 2)},
                                                                  {iface("eth0", 1, false), iface("eth1", 2)},
                                                                  {iface("eth1", 3)}};
    fake.interfaces = plan[0];
    // They change between rounds, while a round waits for its end.
    w.stopRequested = [&] {
        fake.interfaces = plan[std::min<size_t>(at() / 1000, plan.size() - 1)];
        return false;
    };
    EXPECT_EQ(watchFor(Milliseconds(5500)), SocketStep::NONE);
    EXPECT_THAT(failures, ElementsAre(HasSubstr("round 1: Socket Send Err (no interface is up")));
    EXPECT_THAT(interfaceLines, ElementsAre("round 2: came eth0 10.1.0.5", "round 3: came eth1 10.2.0.5",
                                            "round 4: went eth0", "round 5: moved eth1 10.3.0.5"));
    EXPECT_THAT(probedThrough(), ElementsAre("0A 01 00 05", "0A 01 00 05", "0A 01 00 05",  // round 2, fresh
                                             "0A 01 00 05", "0A 02 00 05",                 // round 3
                                             "0A 02 00 05",                                // round 4
                                             "0A 03 00 05", "0A 03 00 05"));               // rounds 5 and 6
}

TEST_F(WatchRun, AnInterfaceNamedButNotThereYetIsWaitedFor) {
    w.interfaces = {"wlan0"};
    EXPECT_EQ(watchFor(Milliseconds(1500)), SocketStep::NONE);
    EXPECT_THAT(interfaceLines, ElementsAre("round 1: missing wlan0"));
    EXPECT_THAT(failures, ElementsAre(HasSubstr("round 1: Socket Send Err (none of the interfaces to probe through is "
                                                "up with an IPv4 address: wlan0)"),
                                      HasSubstr("round 2")));
    EXPECT_TRUE(fake.sent.empty()) << "never a probe where the routing would send it instead";
}

TEST_F(WatchRun, DevicesThePatternsLeaveOutMakeNoEvents) {
    settings.filter = DeviceFilter({"printer"});
    SimulatedLan lan(fake);
    lan.add(device(4), "Camera");
    lan.add(device(5), "Printer");
    EXPECT_EQ(watchFor(Milliseconds(2500)), SocketStep::NONE);
    EXPECT_THAT(events, ElementsAre("up 10.0.0.5 at 1 round 1"));
}

TEST_F(WatchRun, AStopRequestEndsItWithoutADownForTheRoundItCut) {
    // Asked in the middle of the second round's retries.
    w.stopRequested = [&] { return at() >= 1150; };
    Buffer printer = answer("Printer");
    fake.arrivals = {{static_cast<long>(printer.size()), printer, addressV4(10, 0, 0, 5, 3576), 30}};
    EXPECT_EQ(watchFor(Milliseconds::zero()), SocketStep::NONE);
    EXPECT_THAT(events, ElementsAre("up 10.0.0.5 at 30 round 1"));
}

// What a watch tells: an event line for each event (its hardware with it,
// escaped as the listing is), each page's verdict after it, a metrics file
// written for each round, a failed write said once, the note on devices
// left out once, and the diagnosis of an empty round only when a person
// reads it and only when it says something new.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TempPath.h"
#include "app/system/Files.h"
#include "app/watch/WatchReporter.h"

using namespace webfind;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

namespace {

// The lines of `text` with the time of day (HH:MM:SS) each begins with cut.
std::vector<std::string> untimed(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.size() > 9 && line[2] == ':' && line[5] == ':' ? line.substr(9) : line);
    return lines;
}

// A stream the test may read while the checking thread writes to it.
class SharedText : public std::streambuf {
public:
    std::string text() {
        std::lock_guard<std::mutex> hold(lock);
        return written;
    }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        std::lock_guard<std::mutex> hold(lock);
        written.push_back(traits_type::to_char_type(c));
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::lock_guard<std::mutex> hold(lock);
        written.append(s, static_cast<size_t>(n));
        return n;
    }

private:
    std::mutex lock;
    std::string written;
};

class WatchReporterTest : public testing::Test {
protected:
    WatchReporterTest() : folder(tempPathOfThisTest("webfind-events")) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    ~WatchReporterTest() override { std::filesystem::remove_all(folder); }

    HardwareLookup hardware() {
        return HardwareLookup(
            [this] {
                return std::map<Address, std::string>{{A, "00:00:0c:12:34:56"}};
            },
            folder + "/no-registry.csv");
    }
    WatchReporter printer(MetricsFile* metrics = nullptr) {
        return WatchReporter(
            reporting, out, err, [this](const RunReport&) { return diagnosis[asked++ % diagnosis.size()]; }, nullptr,
            metrics, hardware());
    }
    static WatchEvent up(const Address& a, const std::string& name) {
        return WatchEvent{WatchEvent::UP, a, name, "http://" + a.text() + "/", {}, 1};
    }

    const Address A{{10, 0, 0, 1}}, B{{10, 0, 0, 2}};
    std::string folder;
    WatchReporting reporting;
    std::ostringstream out, err;
    std::vector<std::string> diagnosis{"webfind: nothing here\n"};
    size_t asked = 0;
};

}  // namespace

TEST_F(WatchReporterTest, AnEventLineForEachEventWithWhatIsKnownOfTheDevice) {
    reporting.longListing = true;
    WatchReporter p = printer();
    p.event(up(A, "Switch\x1b[2J"));
    p.event(up(B, "Far"));
    p.event(WatchEvent{WatchEvent::DOWN, B, "Far", "http://10.0.0.2/", {}, 1});
    EXPECT_THAT(
        untimed(out.str()),
        ElementsAre("up 10.0.0.1 Name:Switch\\x1B[2J URL:http://10.0.0.1/",
                    "  device: address=10.0.0.1 mac=00:00:0c:12:34:56 vendor=-",
                    "up 10.0.0.2 Name:Far URL:http://10.0.0.2/", "  device: address=10.0.0.2 mac=- vendor=-",
                    "down 10.0.0.2 Name:Far URL:http://10.0.0.2/", "  device: address=10.0.0.2 mac=- vendor=-"));
}

TEST_F(WatchReporterTest, JsonLinesOneObjectAnEvent) {
    reporting.json = true;
    WatchReporter p = printer();
    p.event(up(A, "Switch"));
    const std::vector<std::string> lines = untimed(out.str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], HasSubstr("\"event\":\"up\""));
    EXPECT_THAT(lines[0], HasSubstr("\"mac\":\"00:00:0c:12:34:56\""));
}

TEST_F(WatchReporterTest, AMetricsFileForEachRoundAndAFailedWriteSaidOnce) {
    const std::string path = folder + "/webfind.prom";
    MetricsFile metrics(path, err);
    WatchReporter p = printer(&metrics);
    p.event(up(A, "Switch"));
    DeviceTable upNow;
    upNow.add(A, "Switch", "http://10.0.0.1/");
    RunReport report;
    report.answered = 1;
    p.roundEnded(1, report, upNow);
    EXPECT_THAT(fileText(path.c_str()), HasSubstr("webfind_rounds_total 1\n"));
    EXPECT_THAT(fileText(path.c_str()), HasSubstr("mac=\"00:00:0c:12:34:56\""));
    p.roundEnded(2, report, upNow);
    EXPECT_THAT(fileText(path.c_str()), HasSubstr("webfind_rounds_total 2\n"));

    // The folder goes: each round's write fails, said once until one succeeds.
    std::filesystem::remove_all(folder);
    for (uint64_t round = 3; round <= 5; ++round) p.roundEnded(round, report, upNow);
    EXPECT_EQ(untimed(err.str()).size(), 1u) << err.str();
    EXPECT_THAT(err.str(), HasSubstr("could not write the metrics"));
    ASSERT_TRUE(std::filesystem::create_directories(folder));
    p.roundEnded(6, report, upNow);
    EXPECT_THAT(fileText(path.c_str()), HasSubstr("webfind_rounds_total 6\n"));
}

TEST_F(WatchReporterTest, NotesOnStandardErrorOnceEach) {
    reporting.explain = true;
    reporting.limits = TableLimits{2, 1 << 20};
    diagnosis = {"webfind: nothing here\n"};
    WatchReporter p = printer();
    RunReport empty, full;
    full.answered = 2;
    full.leftOut = 3;
    p.roundEnded(1, empty, DeviceTable());
    p.roundEnded(2, empty, DeviceTable());
    p.roundEnded(3, full, DeviceTable());
    p.roundEnded(4, full, DeviceTable());
    EXPECT_THAT(untimed(err.str()),
                ElementsAre("webfind: nothing here",
                            "webfind: more devices answered than a watch keeps (2 devices, 1 MiB of names and URLs); "
                            "those are left out"));
}

// A watch left alone for months: a failure is said when it starts and when
// its reason changes, not every round; interfaces and a sleep in one line
// each.
TEST_F(WatchReporterTest, FailuresInterfacesAndGapsAreSaidWhenTheyChange) {
    WatchReporter p = printer();
    const RunReport report;
    const FailureReason noRoute{FailureReason::NO_ROUTE, "Network is unreachable"};
    for (uint64_t round = 1; round <= 3; ++round) {
        p.roundFailed(round, SocketStep::SEND, noRoute);
        p.roundEnded(round, report, DeviceTable());
    }
    p.roundFailed(4, SocketStep::SEND, FailureReason{FailureReason::OTHER, "no interface is up"});
    p.roundEnded(4, report, DeviceTable());
    p.interfacesChanged(5, {{InterfaceChange::CAME, "eth0", {A}}}, {});
    p.roundEnded(5, report, DeviceTable());
    p.roundEnded(6, report, DeviceTable());
    p.interfacesChanged(7, {{InterfaceChange::MOVED, "eth0", {B}}, {InterfaceChange::WENT, "wlan\x1b", {}}}, {});
    p.resumed(8, Milliseconds(3600500));
    EXPECT_THAT(untimed(err.str()),
                ElementsAre("webfind: round 1: Socket Send Err (Network is unreachable); trying again each round",
                            "webfind: round 4: Socket Send Err (no interface is up); trying again each round",
                            "webfind: round 5: probing through eth0 (10.0.0.1)", "webfind: round 5: probing again",
                            "webfind: round 7: eth0 is now 10.0.0.2; probing through it there",
                            "webfind: round 7: wlan\\x1B is gone or down; no probes through it until it is back",
                            "webfind: the watch did not run for 3600 s (the host slept?); round 8 takes a fresh look"));
}

// An empty stretch is judged by what arrived in it: the answers of the
// devices that were up before are no invalid datagrams, and the devices
// that went are said.
TEST_F(WatchReporterTest, AnEmptyStretchIsJudgedByItsOwnCounts) {
    reporting.explain = true;
    std::vector<size_t> judged;
    WatchReporter p(
        reporting, out, err,
        [&](const RunReport& r) {
            judged.push_back(r.datagrams);
            return "webfind: " + std::to_string(r.datagrams) + " invalid datagrams\n";
        },
        nullptr, nullptr, hardware());
    RunReport report;
    report.answered = 3;
    report.datagrams = 12;
    p.roundEnded(1, report, DeviceTable());
    for (uint8_t last = 1; last <= 3; ++last)
        p.event(WatchEvent{WatchEvent::DOWN, Address{{10, 0, 0, last}}, "d", "http://d/", {}, 1});
    report.answered = 0;
    p.roundEnded(2, report, DeviceTable());
    report.datagrams = 14;
    report.rejected = 2;
    p.roundEnded(3, report, DeviceTable());
    ASSERT_EQ(judged, std::vector<size_t>{0}) << "judged again only after a minute";
    const std::vector<std::string> lines = untimed(err.str());
    ASSERT_EQ(lines.size(), 2u) << err.str();
    EXPECT_THAT(lines[0], testing::StartsWith("webfind: the 3 devices seen until "));
    EXPECT_THAT(lines[0], testing::EndsWith(" stopped answering."));
    EXPECT_EQ(lines[1], "webfind: 0 invalid datagrams");
}

TEST_F(WatchReporterTest, NoDiagnosisWhenNoPersonReads) {
    WatchReporter p = printer();
    p.roundEnded(1, RunReport(), DeviceTable());
    EXPECT_EQ(asked, 0u);
    EXPECT_EQ(err.str(), "");
}

// With --check, the event comes at once; the verdict follows from the
// checking thread, once the page has been checked.
TEST_F(WatchReporterTest, APagesVerdictFollowsItsEvent) {
    reporting.check = CheckSettings();
    reporting.check->deadline = std::chrono::milliseconds(2000);
    SharedText shared;
    std::ostream lines(&shared);
    WatchReporter p(
        reporting, lines, err, [](const RunReport&) { return std::string(); }, nullptr, nullptr, hardware());
    // Fetched from this host's own loopback, where nothing listens at port 1.
    const Address self{{127, 0, 0, 1}};
    p.event(WatchEvent{WatchEvent::UP, self, "Self", "http://127.0.0.1:1/", {}, 1});
    // The up line is written before the check starts, so it comes first
    // however quickly the verdict follows.
    ASSERT_FALSE(untimed(shared.text()).empty());
    EXPECT_EQ(untimed(shared.text()).front(), "up 127.0.0.1 Name:Self URL:http://127.0.0.1:1/");
    for (int i = 0; i < 2000 && untimed(shared.text()).size() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    p.watchEnded(DeviceTable());
    EXPECT_THAT(untimed(shared.text()), ElementsAre("up 127.0.0.1 Name:Self URL:http://127.0.0.1:1/",
                                                    "checked 127.0.0.1 URL:http://127.0.0.1:1/",
                                                    testing::StartsWith("  check: unreachable: ")));
}

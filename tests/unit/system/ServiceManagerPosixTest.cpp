// A watch under systemd, with a fake notify socket in place of the manager:
// what the manager hears through libsystemd (ready once the first round is
// judged, alive after each round, the status, a longer watchdog when the
// unit's is too short), and the journal's priority prefixes only when
// standard error is the journal's stream.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TempPath.h"
#include "app/watch/Heartbeat.h"

using namespace webfind;
using testing::ElementsAre;

namespace {

// A Unix datagram socket where the manager's would be, and NOTIFY_SOCKET
// naming it while the test runs.
class FakeNotifySocket {
public:
    explicit FakeNotifySocket(const std::string& path) : path(path) {
        ::unlink(path.c_str());
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
    }
    ~FakeNotifySocket() {
        ::unsetenv("NOTIFY_SOCKET");
        ::unsetenv("WATCHDOG_USEC");
        ::close(fd);
        ::unlink(path.c_str());
    }
    // What arrived, one message each, newlines shown as " | ".
    std::vector<std::string> messages() const {
        std::vector<std::string> all;
        char buffer[4096];
        for (long n; (n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
            std::string m(buffer, static_cast<size_t>(n));
            for (size_t at; (at = m.find('\n')) != std::string::npos;) m.replace(at, 1, " | ");
            all.push_back(m);
        }
        return all;
    }

    bool bound = false;

private:
    std::string path;
    int fd = -1;
};

class Silent : public WatchObserver {
public:
    void event(const WatchEvent&) override {}
    void roundFailed(uint64_t, SocketStep, const FailureReason&) override {}
    void roundEnded(uint64_t, const RunReport&, const DeviceTable&) override {}
};

}  // namespace

TEST(ServiceManagerTest, ReadyAfterTheFirstRoundAliveAfterEachWithTheDevicesUp) {
    FakeNotifySocket manager(tempPathOfThisTest("webfind-notify"));
    ASSERT_TRUE(manager.bound);
    ::setenv("WATCHDOG_USEC", "60000000", 1);
    const ServiceManager told;
    if (!told.listening()) GTEST_SKIP() << "libsystemd.so.0 is not installed: a watch tells no manager";
    Silent inner;
    Heartbeat heartbeat(inner, told, std::chrono::seconds(60));
    DeviceTable up;
    up.add(Address{{10, 0, 0, 1}}, "Printer", "http://10.0.0.1/");
    heartbeat.roundFailed(1, SocketStep::SEND, FailureReason{FailureReason::NO_ROUTE, "Network is unreachable"});
    heartbeat.roundJudged(1, DeviceTable());
    heartbeat.roundEnded(1, RunReport(), DeviceTable());
    heartbeat.roundJudged(2, up);
    heartbeat.roundEnded(2, RunReport(), up);
    EXPECT_THAT(manager.messages(),
                ElementsAre("WATCHDOG_USEC=150000000",
                            "READY=1 | STATUS=0 devices up (round 1); this round could not probe: Socket Send Err "
                            "(Network is unreachable)",
                            "WATCHDOG=1 | STATUS=0 devices up (round 1); this round could not probe: Socket Send Err "
                            "(Network is unreachable)",
                            "WATCHDOG=1 | STATUS=1 device up (round 2)"))
        << "the unit's 60 s is less than two rounds of 60 s: asked for two and 30 s";
}

TEST(ServiceManagerTest, NoManagerNoMessageAndJournalPrefixesOnlyOnTheJournalsStream) {
    ::unsetenv("NOTIFY_SOCKET");
    EXPECT_FALSE(ServiceManager().listening());

    struct stat st {};
    ASSERT_EQ(::fstat(STDERR_FILENO, &st), 0);
    ::setenv("JOURNAL_STREAM", (std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + 1)).c_str(), 1);
    detectJournal();
    EXPECT_FALSE(journalPrefixes()) << "standard error is another file than the one the journal gave";
    ::setenv("JOURNAL_STREAM", (std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino)).c_str(), 1);
    detectJournal();
    EXPECT_TRUE(journalPrefixes());
    EXPECT_EQ(withPriority(Priority::WARNING, "webfind: one\nwebfind: two\n"), "<4>webfind: one\n<4>webfind: two\n");
    std::ostringstream line;
    line << Priority::ERROR << "webfind: x";
    EXPECT_EQ(line.str(), "<3>webfind: x");
    setJournalPrefixes(false);
    ::unsetenv("JOURNAL_STREAM");
    EXPECT_EQ(withPriority(Priority::WARNING, "webfind: one\n"), "webfind: one\n");
}

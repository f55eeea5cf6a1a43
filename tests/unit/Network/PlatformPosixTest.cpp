// The POSIX wait: a signal does not cut it short, and a descriptor that is
// not open fails at once instead of being waited on.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include "Network/Platform.h"
#include "Network/SocketV4.h"
#include "Network/UDPV4.h"

namespace {
void ignoreAlarm(int) {}
}  // namespace

TEST(PosixWait, ASignalDoesNotCutTheWaitShort) {
    BRIVO::UDPV4 s;
    ASSERT_TRUE(s.open(BRIVO::SocketV4::UDP_BROADCAST));
    ASSERT_TRUE(s.bindV4(BRIVO::IPAddress()));
    struct sigaction handler {
    }, previous{};
    handler.sa_handler = ignoreAlarm;  // no SA_RESTART: poll() returns EINTR
    sigemptyset(&handler.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &handler, &previous), 0);
    itimerval every10ms{{0, 10000}, {0, 10000}};
    ASSERT_EQ(setitimer(ITIMER_REAL, &every10ms, nullptr), 0);

    const BRIVO::Platform& os = BRIVO::systemPlatform();
    uint64_t start = os.nowMs();
    int result = os.waitReadable(s.handle(), BRIVO::WaitTime{0, 150000});
    uint64_t waited = os.nowMs() - start;

    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    // A last alarm may still be on its way (late, under valgrind): ignoring
    // the signal drops it before the default action, which ends the
    // process, comes back.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGALRM, &ignore, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_EQ(result, 0) << "a timeout, not a failure";
    EXPECT_GE(waited, 140u) << "the wait resumed after each signal with what was left";
}

// POSIX may wake a wait for a datagram that is then dropped (a bad
// checksum); the receive must not block or fail then.
TEST(PosixWait, AReceiveWithNothingThereIsEmptyNotAFailure) {
    BRIVO::UDPV4 s;
    ASSERT_TRUE(s.open(BRIVO::SocketV4::UDP_BROADCAST));
    ASSERT_TRUE(s.bindV4(BRIVO::IPAddress()));
    uint8_t byte = 0;
    BRIVO::AddressV4 from{};
    EXPECT_EQ(BRIVO::systemPlatform().receiveFrom(s.handle(), &byte, 1, from), 0);
}

TEST(PosixWait, ADescriptorThatIsNotOpenFailsAtOnce) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    close(fds[1]);
    const BRIVO::Platform& os = BRIVO::systemPlatform();
    uint64_t start = os.nowMs();
    EXPECT_EQ(os.waitReadable(static_cast<BRIVO::Handle>(fds[0]), BRIVO::WaitTime{5, 0}), -1);
    EXPECT_LT(os.nowMs() - start, 1000u);
}

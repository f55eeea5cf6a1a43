// A day of --watch=1 on the virtual clock: 86,400 rounds of devices that
// come and go, change their names and come back with other MAC prefixes,
// through everything a long watch keeps (its tracker, its page with the
// devices gone and their strips, the hardware and vendor tables, the
// verdicts of their pages, fetched for real from servers on this host's
// loopback whose answers change; the metrics file keeps nothing between
// rounds, and bench/soak.sh writes it for real). Every change makes exactly
// its event, and once the first hour has filled what is bounded, the heap
// in use stays where the second hour had it.

#include <gtest/gtest.h>

#include <malloc.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FakePlatform.h"
#include "TempPath.h"
#include "app/watch/WatchReporter.h"
#include "app/wire/Messages.h"

using namespace webfind;
using BRIVO::Buffer;

namespace {

constexpr uint32_t DEVICES = 40;
constexpr uint64_t ROUNDS = 86400;

// A stream that keeps nothing but a count of the verdicts of pages, as
// JSON event lines: those fetched, and those that answered 503.
class Discard : public std::streambuf {
public:
    std::atomic<size_t> fetched{0}, busy{0};

protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const std::string line(s, static_cast<size_t>(n));
        if (line.find("\"event\":\"checked\"") != std::string::npos) {
            if (line.find("\"fetched\":true") != std::string::npos) ++fetched;
            if (line.find("\"status\":503") != std::string::npos) ++busy;
        }
        return n;
    }
};

// Each device's web server, on its own loopback address (127.77.0.N, which
// this host answers without any interface of its own): each page it serves
// is in turn a titled 200 and a 503, so the verdicts change all day.
class PageServers {
public:
    PageServers() {
        for (uint32_t i = 0; i < DEVICES; ++i) {
            sockaddr_in at{};
            at.sin_family = AF_INET;
            at.sin_addr.s_addr = htonl(0x7f4d0000u + i + 1);
            const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            socklen_t size = sizeof at;
            if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(s, 8) != 0 ||
                getsockname(s, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
                if (s >= 0) close(s);
                break;
            }
            listening.push_back(pollfd{s, POLLIN, 0});
            ports.push_back(ntohs(at.sin_port));
        }
        serving = std::thread([this] { serve(); });
    }
    ~PageServers() {
        stop = true;
        serving.join();
        for (const pollfd& p : listening) close(p.fd);
    }
    bool ready() const { return ports.size() == DEVICES; }
    // Loopback down (a fresh network namespace): its addresses still bind,
    // but nothing reaches them.
    static bool loopbackDown() {
        ifreq request{};
        std::strcpy(request.ifr_name, "lo");
        const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const bool down = s >= 0 && ioctl(s, SIOCGIFFLAGS, &request) == 0 && !(request.ifr_flags & IFF_UP);
        if (s >= 0) close(s);
        return down;
    }
    std::string url(uint32_t i) const {
        return "http://127.77.0." + std::to_string(i + 1) + ":" + std::to_string(ready() ? ports[i] : 1) + "/";
    }

private:
    void serve() {
        unsigned served = 0;
        while (!stop) {
            if (poll(listening.data(), listening.size(), 50) <= 0) continue;
            for (pollfd& p : listening) {
                if (!(p.revents & POLLIN)) continue;
                const int c = accept4(p.fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c < 0) continue;
                char request[2048];
                (void)!recv(c, request, sizeof request, 0);
                const std::string page = ++served % 2 ? "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                                                        "Connection: close\r\n\r\n<title>Page " +
                                                            std::to_string(served) + "</title>"
                                                      : std::string("HTTP/1.1 503 Busy\r\nConnection: close\r\n\r\n");
                (void)!send(c, page.data(), page.size(), MSG_NOSIGNAL);
                close(c);
            }
        }
    }

    std::vector<pollfd> listening;
    std::vector<uint16_t> ports;
    std::atomic<bool> stop{false};
    std::thread serving;
};

// The devices, changed only as a round begins so that each state lasts a
// whole round and the watch must see every change.
class ChurningLan {
public:
    struct Device {
        bool alive = true;
        unsigned version = 0;
        std::string mac;
        Buffer answer;
    };

    ChurningLan(FakePlatform& fake, const PageServers& pages) : fake(fake), pages(pages) {
        for (uint32_t i = 0; i < DEVICES; ++i) revive(devices[i], i);
        fake.onSend = [this](const Buffer&) { answer(); };
    }
    ~ChurningLan() { fake.onSend = nullptr; }

    std::map<Address, std::string> neighbours() const {
        std::map<Address, std::string> table;
        for (uint32_t i = 0; i < DEVICES; ++i)
            if (devices[i].alive) table[address(i)] = devices[i].mac;
        return table;
    }
    static Address address(uint32_t i) { return Address{{127, 77, 0, static_cast<uint8_t>(i + 1)}}; }

    size_t ups = DEVICES, downs = 0, changes = 0;  // what the watch must say

private:
    void revive(Device& d, uint32_t i) {
        d.alive = true;
        char mac[18];
        std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:00:00:%02x", unsigned(random() & 0xfc),
                      unsigned(random() & 0xff), unsigned(random() & 0x0f), i);
        d.mac = mac;
        rename(d, i);
    }
    void rename(Device& d, uint32_t i) {
        d.answer.clear();
        buildAnswer(d.answer, "Device " + std::to_string(i) + " v" + std::to_string(++d.version), pages.url(i));
    }
    void churn() {
        std::uniform_real_distribution<double> chance(0, 1);
        for (uint32_t i = 0; i < DEVICES; ++i) {
            Device& d = devices[i];
            const double c = chance(random);
            if (d.alive && c < 0.002) {
                d.alive = false;
                ++downs;
            } else if (!d.alive && c < 0.01) {
                revive(d, i);
                ++ups;
            } else if (d.alive && c > 0.999) {
                rename(d, i);
                ++changes;
            }
        }
    }
    void answer() {
        const uint64_t round = (fake.now - 1000) / 1000 + 1;
        if (round > churned) {
            churned = round;
            if (round > 1) churn();
        }
        for (uint32_t i = 0; i < DEVICES; ++i) {
            if (!devices[i].alive) continue;
            const Address a = address(i);
            fake.arrivals.push_back(FakePlatform::Arrival{
                static_cast<long>(devices[i].answer.size()), devices[i].answer,
                addressV4(a.bytes[0], a.bytes[1], a.bytes[2], a.bytes[3], 3576), fake.arrivals.empty() ? 1u : 0u});
        }
    }

    FakePlatform& fake;
    const PageServers& pages;
    std::mt19937 random{86400};
    Device devices[DEVICES];
    uint64_t churned = 0;
};

// Between the watch and its printer: what each device was said to do, in
// order, and the heap in use as rounds end.
class Ledger : public WatchObserver {
public:
    explicit Ledger(WatchObserver& printer) : printer(printer) {}
    void event(const WatchEvent& e) override {
        bool& up = isUp[e.address];
        if ((e.kind == WatchEvent::UP) == up && e.kind != WatchEvent::CHANGED) ++outOfOrder;
        if (e.kind == WatchEvent::CHANGED && !up) ++outOfOrder;
        if (e.kind != WatchEvent::CHANGED) up = e.kind == WatchEvent::UP;
        ++said[e.kind];
        printer.event(e);
    }
    void roundFailed(uint64_t round, SocketStep step, const FailureReason& why) override {
        ++failures;
        printer.roundFailed(round, step, why);
    }
    void roundEnded(uint64_t round, const RunReport& report, const DeviceTable& up) override {
        printer.roundEnded(round, report, up);
        // The heap each minute, and each hour the middle of its minutes: a
        // page being fetched as a minute ends is no growth.
        if (round % 60 == 0) hour.push_back(mallinfo2().uordblks);
        if (round % 3600 == 0) {
            std::nth_element(hour.begin(), hour.begin() + hour.size() / 2, hour.end());
            // The first hour fills what is bounded (the strips, the devices
            // gone); from the second on, nothing may grow.
            if (round > 3600) {
                size_t& kept = round == 7200 ? secondHour : rest;
                kept = std::max(kept, hour[hour.size() / 2]);
            }
            hour.clear();
        }
        rounds = round;
    }
    void watchEnded(const DeviceTable& up) override { printer.watchEnded(up); }

    WatchObserver& printer;
    std::map<Address, bool> isUp;
    size_t said[3] = {0, 0, 0};
    size_t outOfOrder = 0, failures = 0;
    std::vector<size_t> hour;
    size_t secondHour = 0, rest = 0;  // the second hour's median, the largest of the later ones'
    uint64_t rounds = 0;
};

}  // namespace

class Soak : public FakePlatformTest {};

TEST_F(Soak, ADayOfChurnSaysEveryChangeOnceAndItsMemoryStaysFlat) {
    const std::string folder = tempPathOfThisTest("webfind-soak");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    {
        std::ofstream registry(folder + "/oui.csv");
        registry << "Registry,Assignment,Organization Name,Organization Address\n";
        for (int v = 0; v < 64; ++v)
            registry << "MA-L," << std::hex << (v * 4) << "0000,Vendor " << v << ",Somewhere\n";
    }
    fake.recording = false;
    const PageServers pages;
    if (PageServers::loopbackDown()) GTEST_SKIP() << "loopback is down here: no web servers for the devices";
    ASSERT_TRUE(pages.ready()) << "no server on the loopback addresses 127.77.0.N";
    ChurningLan lan(fake, pages);

    std::string lastPage;
    const Desktop desktop{[](std::string&) { return true; }, [](const std::string&, std::string&) { return true; },
                          [&](const PageWriter& write, SavedPage& saved, std::string&, std::string&) {
                              std::ostringstream page;
                              write(page);
                              lastPage = page.str();
                              saved.location = "file:///soak.html";
                              return true;
                          },
                          [](std::ostream&) {},
                          [&](const SavedPage&, const PageWriter& write, std::string&) {
                              std::ostringstream page;
                              write(page);
                              lastPage = page.str();
                              return true;
                          }};
    Discard nothing;
    std::ostream out(&nothing), err(&nothing);
    LivePage page(desktop, false, 1, err);
    ASSERT_TRUE(page.start(LivePage::Time()));
    WatchReporting reporting;
    reporting.json = true;
    reporting.check = CheckSettings();
    WatchReporter printer(
        reporting, out, err, nullptr, &page, nullptr,
        HardwareLookup([&] { return lan.neighbours(); }, folder + "/oui.csv", [](const Address&) { return true; }));
    Ledger ledger(printer);

    RunSettings settings;
    WatchSettings w;
    w.interval = Milliseconds(1000);
    // Where the heap cannot be read (a sanitizer's allocator), two hours
    // check the events: the day is for the memory, and costs minutes there.
    const uint64_t rounds = mallinfo2().uordblks > 0 ? ROUNDS : ROUNDS / 12;
    w.duration = Milliseconds(rounds * 1000);
    EXPECT_EQ(watch(settings, w, ledger).failedStep, SocketStep::NONE);

    EXPECT_EQ(ledger.rounds, rounds - 1) << "the last round is cut by the duration";
    EXPECT_EQ(ledger.failures, 0u);
    EXPECT_EQ(ledger.outOfOrder, 0u) << "an up after an up, a down after a down, or a change of a device gone";
    EXPECT_EQ(ledger.said[WatchEvent::UP], lan.ups);
    EXPECT_EQ(ledger.said[WatchEvent::DOWN], lan.downs);
    EXPECT_EQ(ledger.said[WatchEvent::CHANGED], lan.changes);
    EXPECT_GT(lan.downs, rounds / 1000) << "the day had churn enough to prove something";
    EXPECT_NE(lastPage.find("<svg class=\"strip\""), std::string::npos);
    EXPECT_GT(nothing.busy, 0u) << "the pages' verdicts changed";
    EXPECT_GT(nothing.fetched, nothing.busy);
    if (ledger.secondHour == 0) GTEST_SKIP() << "the heap in use cannot be read here (a sanitizer's allocator)";
    RecordProperty("heap_second_hour", static_cast<int>(ledger.secondHour));
    RecordProperty("heap_later", static_cast<int>(ledger.rest));
    EXPECT_LE(ledger.rest, ledger.secondHour + ledger.secondHour / 10 + (64 << 10))
        << "the heap grew after the second hour: a median of " << ledger.secondHour << " bytes then, of " << ledger.rest
        << " in an hour later";
    std::filesystem::remove_all(folder);
}

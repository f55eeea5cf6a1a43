// webfind-responder: a simulated device (or many) for testing webfind and for
// people who build devices that speak the discovery protocol.

#include <getopt.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "Network/Err.h"
#include "Network/SocketV4.h"
#include "app/base/Address.h"
#include "app/base/Text.h"
#include "app/wire/Messages.h"

namespace {

using webfind::DISCOVERY_GROUP;
using webfind::DISCOVERY_PORT;

// A well-formed answer, as the discovery formats build it.
std::vector<uint8_t> answer(const std::string& name, const std::string& url) {
    BRIVO::Buffer bytes;
    webfind::buildAnswer(bytes, name, url);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> probe() {
    BRIVO::Buffer bytes;
    webfind::buildProbe(bytes);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::string groupText() {
    return webfind::dottedQuad(DISCOVERY_GROUP.address + 12) + ":" + std::to_string(DISCOVERY_PORT);
}

const char* const HELP = R"(Usage: webfind-responder [OPTIONS]

A simulated device for the webfind discovery protocol. It joins the multicast
group 224.0.0.138, listens on UDP port 3576, and answers each discovery probe
it receives with an answer datagram carrying a device name and a URL, sent
back to the probe's source address and port.

Use it to try webfind without real devices, to test a network path, or as a
reference when you build the protocol into a device of your own.

Run it only inside a private network namespace or on a network you own:
it answers every probe that reaches it.

The wire format (all integers are 32-bit little-endian):
  probe   magic 0x207A4673, type 2, then the word 1            (12 bytes)
  answer  magic 0x207A4673, type 3, 8 bytes of anything,
          the device name, a 0 byte, the URL (http:// or https://),
          optionally a 0 byte and more                          (24..1500 bytes)

Options:
  --name NAME         device name to announce (default "Simulated device");
                      "{addr}" in it is replaced by the answering address
  --url URL           URL to announce (default "http://{addr}/")
  --interface ADDR    join the group on the interface with this IPv4 address
                      (default: the interface the system chooses)
  --from ADDR         answer from this local source address (default: the
                      address the system chooses)
  --count N           stand for N devices answering from N consecutive
                      addresses starting at --from (default 1)
  --delay MS          wait a random 0..MS milliseconds before each answer
  --after MS          wait MS milliseconds more before each answer
  --probes K          answer only the first K probes (0: only listen and log)
  --unicast           a probe sent by unicast to one of the --from addresses
                      is answered by that device alone, if any (as webfind
                      --target probes each address); one to the group by all
  --any               answer any datagram, not only valid probes
  --raw FILE          send the bytes of FILE instead of a well-formed answer
                      (for tests of what a hostile network can send)
  --repeat K          send each answer K times (default 1) ...
  --every MS          ... MS milliseconds apart (default 100)
  --hostile N         with each answered probe, also send N hostile datagrams
                      from forged addresses in 127.64.0.0/10: random bytes,
                      truncated answers, empty and oversized (up to 65,507
                      bytes) datagrams, answers with control bytes and unsafe
                      URLs, duplicates, and maximum-length names
  --lifetime S        exit after S seconds (default 60)
  -h, --help          show this help

Output: one line "listening on ..." once it is ready (saying how many of the
devices can answer when --from and --count reach past this host's
addresses), then one line per datagram received: "probe from ADDR:PORT N
bytes: HEX..." (or "datagram from" when it is not a valid probe), and a line
"refused: N sends so far ..." with the reason whenever the system refused
to send answers.
)";

struct Settings {
    std::string name = "Simulated device";
    std::string url = "http://{addr}/";
    webfind::Address interface;  // 0.0.0.0: the system chooses
    webfind::Address from;
    bool fromGiven = false;
    uint32_t count = 1;
    uint32_t delayMs = 0;
    uint32_t afterMs = 0;
    long probes = -1;  // unlimited
    bool any = false;
    bool unicast = false;
    bool raw = false;
    std::vector<uint8_t> rawBytes;
    uint32_t repeat = 1;
    uint32_t everyMs = 100;
    uint32_t lifetimeS = 60;
    uint32_t hostile = 0;
};

struct Pending {
    uint64_t dueMs;
    const std::vector<uint8_t>* bytes;
    webfind::Address source;  // 0.0.0.0: the system chooses
    BRIVO::AddressV4 to;
    uint32_t left;  // sends still to make for this answer
    bool operator>(const Pending& other) const { return dueMs > other.dueMs; }
};

uint64_t nowMs() { return BRIVO::platform().nowMs(); }

[[noreturn]] void usage(const std::string& problem) {
    std::fprintf(stderr, "webfind-responder: %s\nTry 'webfind-responder --help'.\n", problem.c_str());
    std::exit(2);
}

uint32_t number(const char* text, const char* option) {
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(text, &end, 10);
    if (errno || !*text || *end || value > 0xFFFFFFFFul) usage(std::string("bad number for ") + option + ": " + text);
    return static_cast<uint32_t>(value);
}

webfind::Address address(const char* text, const char* option) {
    webfind::Address a;
    if (!webfind::parseDottedQuad(text, a)) usage(std::string("bad IPv4 address for ") + option + ": " + text);
    return a;
}

Settings parse(int argc, char** argv) {
    enum {
        NAME = 256,
        URL,
        INTERFACE,
        FROM,
        COUNT,
        DELAY,
        AFTER,
        PROBES,
        ANY,
        RAW,
        REPEAT,
        EVERY,
        LIFETIME,
        HOSTILE,
        UNICAST
    };
    static const option options[] = {{"name", required_argument, nullptr, NAME},
                                     {"url", required_argument, nullptr, URL},
                                     {"interface", required_argument, nullptr, INTERFACE},
                                     {"from", required_argument, nullptr, FROM},
                                     {"count", required_argument, nullptr, COUNT},
                                     {"delay", required_argument, nullptr, DELAY},
                                     {"after", required_argument, nullptr, AFTER},
                                     {"probes", required_argument, nullptr, PROBES},
                                     {"any", no_argument, nullptr, ANY},
                                     {"raw", required_argument, nullptr, RAW},
                                     {"repeat", required_argument, nullptr, REPEAT},
                                     {"every", required_argument, nullptr, EVERY},
                                     {"lifetime", required_argument, nullptr, LIFETIME},
                                     {"hostile", required_argument, nullptr, HOSTILE},
                                     {"unicast", no_argument, nullptr, UNICAST},
                                     {"help", no_argument, nullptr, 'h'},
                                     {nullptr, 0, nullptr, 0}};
    Settings s;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":h", options, nullptr)) != -1) {
        switch (c) {
        case NAME: s.name = optarg; break;
        case URL: s.url = optarg; break;
        case INTERFACE: s.interface = address(optarg, "--interface"); break;
        case FROM:
            s.from = address(optarg, "--from");
            s.fromGiven = true;
            break;
        case COUNT: s.count = number(optarg, "--count"); break;
        case DELAY: s.delayMs = number(optarg, "--delay"); break;
        case AFTER: s.afterMs = number(optarg, "--after"); break;
        case PROBES: s.probes = number(optarg, "--probes"); break;
        case ANY: s.any = true; break;
        case RAW: {
            std::ifstream in(optarg, std::ios::binary);
            if (!in) usage(std::string("cannot read ") + optarg);
            s.rawBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            s.raw = true;
            break;
        }
        case REPEAT: s.repeat = number(optarg, "--repeat"); break;
        case EVERY: s.everyMs = number(optarg, "--every"); break;
        case LIFETIME: s.lifetimeS = number(optarg, "--lifetime"); break;
        case HOSTILE: s.hostile = number(optarg, "--hostile"); break;
        case UNICAST: s.unicast = true; break;
        case 'h': std::fputs(HELP, stdout); std::exit(0);
        case ':': usage(std::string("missing value for ") + argv[optind - 1]);
        default: usage(std::string("unknown option ") + argv[optind - 1]);
        }
    }
    if (optind < argc) usage(std::string("unexpected argument ") + argv[optind]);
    if (s.count == 0) usage("--count must be at least 1");
    if (s.count > 1 && !s.fromGiven) usage("--count needs --from");
    if (s.repeat == 0) usage("--repeat must be at least 1");
    if (s.unicast && !s.fromGiven) usage("--unicast needs --from");
    return s;
}

std::string replaceAll(std::string text, const std::string& key, const std::string& value) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
    return text;
}

// The address the device numbered `device` answers from, with --from.
webfind::Address deviceAddress(const Settings& s, uint32_t device) {
    return webfind::Address::of(s.from.number() + device);
}

// How many of the devices have an address of this host's to answer from:
// one that a socket can be bound to, and not a subnet's broadcast address
// (which may be bound, but never sends).
uint32_t servable(const Settings& s) {
    const BRIVO::Platform& os = BRIVO::platform();
    std::vector<uint32_t> broadcasts;  // host order
    for (const BRIVO::LocalInterface& i : os.localInterfaces()) {
        const uint32_t m = webfind::hostOrder(i.mask);
        if (m != 0xFFFFFFFFu) broadcasts.push_back(webfind::hostOrder(i.address) | ~m);
    }
    uint32_t count = 0;
    for (uint32_t d = 0; d < s.count; ++d) {
        const webfind::Address at = deviceAddress(s, d);
        if (std::find(broadcasts.begin(), broadcasts.end(), at.number()) != broadcasts.end()) continue;
        const BRIVO::Handle probe = os.socket(BRIVO::SocketStyle::DATAGRAM);
        if (probe == BRIVO::INVALID_HANDLE) return s.count;  // cannot tell: assume all
        const BRIVO::AddressV4 local{{0, 0}, {at.bytes[0], at.bytes[1], at.bytes[2], at.bytes[3]}};
        count += os.bind(probe, local) == 0 ? 1 : 0;
        os.close(probe);
    }
    return count;
}

std::vector<uint8_t> answerFor(const Settings& s, const webfind::Address& at) {
    if (s.raw) return s.rawBytes;
    const std::string text = at.text();
    return answer(replaceAll(s.name, "{addr}", text), replaceAll(s.url, "{addr}", text));
}

// Sends the answers that are due, in batches, so that thousands of simulated
// devices answer about as fast as thousands of real ones. One socket answers
// for every device: each datagram names its source address.
class Sender {
public:
    explicit Sender(BRIVO::Handle socket) : socket(socket) {}

    void send(const std::vector<Pending>& due) {
        batch.clear();
        for (const Pending& p : due) {
            BRIVO::OutgoingDatagram d{p.bytes->data(), p.bytes->size(), p.to, {}};
            std::memcpy(d.source, p.source.bytes.data(), 4);
            batch.push_back(d);
        }
        const BRIVO::Platform& os = BRIVO::platform();
        for (size_t start = 0; start < batch.size();) {
            start += os.sendBatch(socket, batch.data() + start, batch.size() - start);
            if (start == batch.size()) break;
            ++refusals;  // the datagram the system refused is skipped, and counted
            lastRefusal = os.lastError().text;
            ++start;
        }
    }

    // Datagrams the system would not send, and why the last one was not.
    uint64_t refused() const { return refusals; }
    const std::string& lastError() const { return lastRefusal; }

private:
    BRIVO::Handle socket;
    std::vector<BRIVO::OutgoingDatagram> batch;
    uint64_t refusals = 0;
    std::string lastRefusal;
};

std::string hex(const uint8_t* data, size_t length) {
    std::string s;
    for (size_t i = 0; i < length; ++i) {
        if (i) s += ' ';
        s += webfind::hexDigit(data[i] >> 4);
        s += webfind::hexDigit(data[i]);
    }
    return s;
}

// What a hostile network sends: a mix of every malformed or abusive datagram
// kind, from forged source addresses.
class Hostile {
public:
    struct Datagram {
        const std::vector<uint8_t>* bytes;
        webfind::Address source;
    };

    Hostile(uint32_t count, std::mt19937& random) : random(random) {
        if (count == 0) return;
        for (int i = 0; i < 32; ++i) {
            std::vector<uint8_t> noise(1 + random() % BRIVO::MAX_DATAGRAM_SIZE);
            for (auto& b : noise) b = static_cast<uint8_t>(random());
            kinds[RANDOM].push_back(noise);
        }
        std::vector<uint8_t> valid = answer("Truncated", "http://truncated/");
        for (size_t n = 8; n < 24; ++n)
            kinds[TRUNCATED].emplace_back(valid.begin(), valid.begin() + static_cast<long>(n));
        kinds[EMPTY].emplace_back();
        kinds[OVERSIZED].emplace_back(65507, 'A');
        for (int i = 0; i < 15; ++i) kinds[OVERSIZED].emplace_back(BRIVO::MAX_DATAGRAM_SIZE + 1 + random() % 2500, 'B');
        for (const char* url : {"http://evil/\" onmouseover=x", "http://a b/", "http://x/\x1b[2J", "https://x/`id`",
                                "http://x/{a|b}", "http://x/<script>", "http://x/\\share", "http://x/^"})
            kinds[UNSAFE].push_back(answer("\x1b[2J\x1b]0;pwned\x07\nName:fake\r", url));
        kinds[DUPLICATE].push_back(answer("Duplicate", "http://duplicate/"));
        kinds[LONG_NAME].push_back(answer(std::string(1476, 'N'), "http://"));
        std::vector<uint8_t> wrongMagic = answer("Wrong magic", "http://wrong/");
        wrongMagic[0] ^= 0xFF;
        kinds[WRONG].push_back(wrongMagic);
        kinds[WRONG].push_back(probe());
    }

    const Datagram& pick(uint32_t i) {
        Kind kind = static_cast<Kind>(i % KINDS);
        const auto& pool = kinds[kind];
        // One in 50 oversized datagrams is the largest UDP allows.
        size_t which =
            kind == OVERSIZED ? (i / KINDS % 50 == 0 ? 0 : 1 + random() % (pool.size() - 1)) : random() % pool.size();
        // Duplicates come again and again from a few addresses; the rest from
        // anywhere in 127.64.0.0/10.
        uint32_t host = kind == DUPLICATE ? (0x7F400001u + random() % 4) : (0x7F400000u | (random() & 0x003FFFFFu));
        last = Datagram{&pool[which], webfind::Address::of(host)};
        return last;
    }

private:
    enum Kind { RANDOM, TRUNCATED, EMPTY, OVERSIZED, UNSAFE, DUPLICATE, LONG_NAME, WRONG, KINDS };

    std::mt19937& random;
    std::vector<std::vector<uint8_t>> kinds[KINDS];
    Datagram last{};
};

// The socket every device listens and answers on: the discovery port, the
// group joined on --interface, and where each probe was sent (--unicast).
// Says why and ends the program when it cannot be had.
void openDevices(BRIVO::SocketV4& socket, const Settings& s) {
    const std::string port = std::to_string(DISCOVERY_PORT);
    auto fail = [](const std::string& step) {
        std::fprintf(stderr, "webfind-responder: %s: %s\n", step.c_str(), BRIVO::platform().lastError().text.c_str());
        std::exit(1);
    };
    if (!socket.open(BRIVO::SocketV4::UDP_BROADCAST)) fail("socket");
    socket.shareAddress();  // several devices on one host
    if (!socket.bindV4(BRIVO::IPAddress(0, 0, 0, 0, DISCOVERY_PORT))) fail("bind port " + port);
    if (s.unicast && !socket.reportArrival()) fail("cannot learn where probes arrive");
    uint8_t on[4];
    std::memcpy(on, s.interface.bytes.data(), 4);
    if (!socket.joinGroup(DISCOVERY_GROUP, on)) fail("join " + groupText());
}

}  // namespace

int main(int argc, char** argv) {
    Settings s = parse(argc, argv);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    const BRIVO::Platform& os = BRIVO::platform();
    std::optional<BRIVO::SocketV4> socket;
    try {
        socket.emplace();
    } catch (const BRIVO::Err&) {
        std::fprintf(stderr, "webfind-responder: the socket layer could not be started\n");
        return 1;
    }
    openDevices(*socket, s);
    const BRIVO::Handle fd = socket->handle();

    // Without --from, the address an answer leaves from (its {addr}) is the
    // one the system routes it from: one answer for each such address.
    std::map<uint32_t, std::vector<uint8_t>> answersFrom;
    auto systemChosen = [&](const BRIVO::AddressV4& to) -> const std::vector<uint8_t>& {
        webfind::Address at = s.interface;
        uint8_t source[4];
        if (os.routeSource(to, source) == 0) at = webfind::Address::from(source);
        auto known = answersFrom.find(at.number());
        if (known == answersFrom.end()) known = answersFrom.emplace(at.number(), answerFor(s, at)).first;
        return known->second;
    };
    std::mt19937 random(static_cast<uint32_t>(nowMs() ^ std::random_device{}()));
    std::vector<std::vector<uint8_t>> answers;
    for (uint32_t d = 0; s.fromGiven && d < s.count; ++d) answers.push_back(answerFor(s, deviceAddress(s, d)));
    const std::string fromText = s.fromGiven ? s.from.text() : "system-chosen";
    // A range that runs past this host's addresses has devices that can
    // never answer: said now, not found out from a count that comes short.
    const uint32_t serves = s.fromGiven ? servable(s) : s.count;
    std::printf("listening on %s as %s (%u device%s", groupText().c_str(), fromText.c_str(), s.count,
                s.count == 1 ? "" : "s");
    if (serves < s.count) std::printf("; only %u can answer: the other addresses are not this host's", serves);
    std::printf(")\n");
    std::fflush(stdout);
    uint64_t refusedSaid = 0;

    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> pending;
    const uint64_t end = nowMs() + s.lifetimeS * 1000ull;
    long answered = 0;
    std::vector<uint8_t> datagram(65536);
    Sender sender(fd);
    Hostile hostile(s.hostile, random);

    for (;;) {
        uint64_t now = nowMs();
        if (now >= end) break;
        std::vector<Pending> due;
        while (!pending.empty() && pending.top().dueMs <= now) {
            due.push_back(pending.top());
            pending.pop();
        }
        sender.send(due);
        if (sender.refused() > refusedSaid) {
            refusedSaid = sender.refused();
            std::printf("refused: %s sends so far (%s)\n", std::to_string(refusedSaid).c_str(),
                        sender.lastError().c_str());
            std::fflush(stdout);
        }
        for (Pending& p : due) {
            if (--p.left > 0) {
                p.dueMs = now + s.everyMs;
                pending.push(p);
            }
        }
        const uint64_t until = pending.empty() ? end : std::min(end, pending.top().dueMs);
        const uint64_t waitMs = until > now ? until - now : 0;
        const BRIVO::WaitTime wait{static_cast<uint32_t>(waitMs / 1000), static_cast<uint32_t>(waitMs % 1000 * 1000)};
        if (os.waitReadable(fd, wait) <= 0) continue;

        BRIVO::AddressV4 peer{};
        BRIVO::Arrival arrival{};
        const long n = os.receiveArrival(fd, datagram.data(), datagram.size(), peer, arrival);
        if (n < 0) continue;
        const size_t length = std::min(static_cast<size_t>(n), datagram.size());
        // --unicast: the one device at the address the probe was sent to.
        uint32_t first = 0, last = s.count;
        const uint32_t to = webfind::hostOrder(arrival.destination);
        if (s.unicast && to != 0 && to >> 28 != 0xE) {
            first = to - s.from.number() < s.count ? to - s.from.number() : s.count;
            last = std::min(first + 1, s.count);
        }
        bool probe = webfind::isProbe(webfind::DatagramBytes{datagram.data(), length});
        std::printf("%s from %s:%u %s bytes: %s\n", probe ? "probe" : "datagram",
                    webfind::dottedQuad(peer.address).c_str(), BRIVO::hostPort(peer), std::to_string(length).c_str(),
                    hex(datagram.data(), length).c_str());
        std::fflush(stdout);

        if (!probe && !s.any) continue;
        if (s.probes >= 0 && answered >= s.probes) continue;
        ++answered;
        uint64_t base = nowMs() + s.afterMs;
        for (uint32_t d = first; d < last; ++d) {
            uint64_t jitter = s.delayMs ? random() % (s.delayMs + 1) : 0;
            const webfind::Address source = s.fromGiven ? deviceAddress(s, d) : webfind::Address{};
            pending.push(
                Pending{base + jitter, s.fromGiven ? &answers[d] : &systemChosen(peer), source, peer, s.repeat});
        }
        for (uint32_t i = 0; i < s.hostile; ++i) {
            const Hostile::Datagram& h = hostile.pick(i);
            uint64_t jitter = s.delayMs ? random() % (s.delayMs + 1) : 0;
            pending.push(Pending{base + jitter, h.bytes, h.source, peer, 1});
        }
    }
    return 0;
}

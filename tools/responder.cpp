// webfind-responder: a simulated device (or many) for testing webfind and for
// people who build devices that speak the discovery protocol.

#include <arpa/inet.h>
#include <errno.h>
#include <getopt.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <algorithm>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "Network/Socket.h"
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
    in_addr interface { htonl(INADDR_ANY) };
    in_addr from{htonl(INADDR_ANY)};
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
    in_addr source;  // INADDR_ANY: the system chooses
    sockaddr_in to;
    uint32_t left;  // sends still to make for this answer
    bool operator>(const Pending& other) const { return dueMs > other.dueMs; }
};

uint64_t nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

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

in_addr address(const char* text, const char* option) {
    in_addr a{};
    if (inet_pton(AF_INET, text, &a) != 1) usage(std::string("bad IPv4 address for ") + option + ": " + text);
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

// Without --from the system picks the source; --interface is then the best
// guess of the address the answers leave from.
in_addr deviceAddress(const Settings& s, uint32_t device) {
    in_addr a;
    a.s_addr = s.fromGiven ? htonl(ntohl(s.from.s_addr) + device) : s.interface.s_addr;
    return a;
}

// How many of the devices have an address of this host's to answer from:
// one that a socket can be bound to, and not a subnet's broadcast address
// (which may be bound, but never sends).
uint32_t servable(const Settings& s) {
    std::vector<uint32_t> broadcasts;  // host order
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (ifaddrs* i = list; i; i = i->ifa_next)
            if (i->ifa_addr && i->ifa_netmask && i->ifa_addr->sa_family == AF_INET) {
                const uint32_t a = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
                const uint32_t m = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr);
                if (m != 0xFFFFFFFFu) broadcasts.push_back(a | ~m);
            }
        ::freeifaddrs(list);
    }
    uint32_t count = 0;
    for (uint32_t d = 0; d < s.count; ++d) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr = deviceAddress(s, d);
        if (std::find(broadcasts.begin(), broadcasts.end(), ntohl(at.sin_addr.s_addr)) != broadcasts.end()) continue;
        int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (probe < 0) return s.count;  // cannot tell: assume all
        count += ::bind(probe, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 ? 1 : 0;
        ::close(probe);
    }
    return count;
}

std::vector<uint8_t> answerFor(const Settings& s, uint32_t device) {
    if (s.raw) return s.rawBytes;
    char text[INET_ADDRSTRLEN] = "0.0.0.0";
    in_addr a = deviceAddress(s, device);
    inet_ntop(AF_INET, &a, text, sizeof text);
    return answer(replaceAll(s.name, "{addr}", text), replaceAll(s.url, "{addr}", text));
}

// Sends answers in batches (sendmmsg), so that thousands of simulated devices
// answer about as fast as thousands of real ones. One socket answers for every
// device: the source address of each datagram is chosen with IP_PKTINFO.
class Sender {
public:
    explicit Sender(int fd) : fd(fd) {}

    void send(const std::vector<Pending>& due) {
        for (size_t start = 0; start < due.size(); start += BATCH) {
            size_t n = std::min(BATCH, due.size() - start);
            for (size_t i = 0; i < n; ++i) prepare(i, due[start + i]);
            size_t sent = 0;
            while (sent < n) {
                int r = ::sendmmsg(fd, messages + sent, static_cast<unsigned>(n - sent), 0);
                if (r < 0 && errno == EINTR) continue;
                if (r < 0 && (errno == EAGAIN || errno == ENOBUFS)) {
                    pollfd p{fd, POLLOUT, 0};
                    ::poll(&p, 1, 10);
                    continue;
                }
                if (r <= 0) {
                    ++sent;  // skip the datagram that the system refused, and count it
                    ++refusals;
                    lastRefusal = errno;
                    continue;
                }
                sent += static_cast<size_t>(r);
            }
        }
    }

    // Datagrams the system would not send, and why the last one was not.
    uint64_t refused() const { return refusals; }
    int lastError() const { return lastRefusal; }

private:
    static constexpr size_t BATCH = 256;

    void prepare(size_t i, const Pending& p) {
        const std::vector<uint8_t>& bytes = *p.bytes;
        destinations[i] = p.to;
        parts[i] = iovec{const_cast<uint8_t*>(bytes.data()), bytes.size()};
        messages[i] = mmsghdr{};
        msghdr& msg = messages[i].msg_hdr;
        msg.msg_name = &destinations[i];
        msg.msg_namelen = sizeof destinations[i];
        msg.msg_iov = &parts[i];
        msg.msg_iovlen = 1;
        if (p.source.s_addr == htonl(INADDR_ANY)) return;
        std::memset(controls[i], 0, sizeof controls[i]);
        msg.msg_control = controls[i];
        msg.msg_controllen = sizeof controls[i];
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst = p.source;
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }

    int fd;
    uint64_t refusals = 0;
    int lastRefusal = 0;
    mmsghdr messages[BATCH];
    iovec parts[BATCH];
    sockaddr_in destinations[BATCH];
    alignas(cmsghdr) char controls[BATCH][CMSG_SPACE(sizeof(in_pktinfo))];
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
        in_addr source;
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
        in_addr source;
        // Duplicates come again and again from a few addresses; the rest from
        // anywhere in 127.64.0.0/10.
        uint32_t host = kind == DUPLICATE ? (0x7F400001u + random() % 4) : (0x7F400000u | (random() & 0x003FFFFFu));
        source.s_addr = htonl(host);
        last = Datagram{&pool[which], source};
        return last;
    }

private:
    enum Kind { RANDOM, TRUNCATED, EMPTY, OVERSIZED, UNSAFE, DUPLICATE, LONG_NAME, WRONG, KINDS };

    std::mt19937& random;
    std::vector<std::vector<uint8_t>> kinds[KINDS];
    Datagram last{};
};

}  // namespace

int main(int argc, char** argv) {
    Settings s = parse(argc, argv);
    signal(SIGPIPE, SIG_IGN);

    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        std::perror("webfind-responder: socket");
        return 1;
    }
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);  // several devices on one host
    int big = 8 << 20;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(DISCOVERY_PORT);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror(("webfind-responder: bind port " + std::to_string(DISCOVERY_PORT)).c_str());
        return 1;
    }
    // Where each probe was sent, for --unicast.
    if (s.unicast) setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    ip_mreq join{};
    std::memcpy(&join.imr_multiaddr, DISCOVERY_GROUP.address + 12, 4);
    join.imr_interface = s.interface;
    if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
        std::perror(("webfind-responder: join " + groupText()).c_str());
        return 1;
    }

    std::mt19937 random(static_cast<uint32_t>(nowMs() ^ static_cast<uint64_t>(getpid())));
    std::vector<std::vector<uint8_t>> answers;
    for (uint32_t d = 0; d < s.count; ++d) answers.push_back(answerFor(s, d));
    char fromText[INET_ADDRSTRLEN] = "system-chosen";
    if (s.fromGiven) inet_ntop(AF_INET, &s.from, fromText, sizeof fromText);
    // A range that runs past this host's addresses has devices that can
    // never answer: said now, not found out from a count that comes short.
    const uint32_t serves = s.fromGiven ? servable(s) : s.count;
    std::printf("listening on %s as %s (%u device%s", groupText().c_str(), fromText, s.count, s.count == 1 ? "" : "s");
    if (serves < s.count) std::printf("; only %u can answer: the other addresses are not this host's", serves);
    std::printf(")\n");
    std::fflush(stdout);
    uint64_t refusedSaid = 0;

    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> pending;
    const uint64_t end = nowMs() + s.lifetimeS * 1000ull;
    long answered = 0;
    std::vector<uint8_t> datagram(65536);
    auto sender = std::make_unique<Sender>(fd);
    Hostile hostile(s.hostile, random);

    for (;;) {
        uint64_t now = nowMs();
        if (now >= end) break;
        std::vector<Pending> due;
        while (!pending.empty() && pending.top().dueMs <= now) {
            due.push_back(pending.top());
            pending.pop();
        }
        sender->send(due);
        if (sender->refused() > refusedSaid) {
            refusedSaid = sender->refused();
            std::printf("refused: %llu sends so far (%s)\n", static_cast<unsigned long long>(refusedSaid),
                        std::strerror(sender->lastError()));
            std::fflush(stdout);
        }
        for (Pending& p : due) {
            if (--p.left > 0) {
                p.dueMs = now + s.everyMs;
                pending.push(p);
            }
        }
        uint64_t until = pending.empty() ? end : std::min(end, pending.top().dueMs);
        pollfd pfd{fd, POLLIN, 0};
        int ready = ::poll(&pfd, 1, static_cast<int>(until > now ? until - now : 0));
        if (ready <= 0) continue;

        sockaddr_in peer{};
        iovec part{datagram.data(), datagram.size()};
        alignas(cmsghdr) char control[128];
        msghdr message{};
        message.msg_name = &peer;
        message.msg_namelen = sizeof peer;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        ssize_t n = ::recvmsg(fd, &message, 0);
        if (n < 0) continue;
        // --unicast: the one device at the address the probe was sent to.
        uint32_t first = 0, last = s.count;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); s.unicast && c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            const uint32_t to = ntohl(info.ipi_addr.s_addr), base = ntohl(s.from.s_addr);
            if (IN_MULTICAST(to)) continue;
            first = to - base < s.count ? to - base : s.count;
            last = std::min(first + 1, s.count);
        }
        bool probe = webfind::isProbe(webfind::DatagramBytes{datagram.data(), static_cast<size_t>(n)});
        char peerText[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &peer.sin_addr, peerText, sizeof peerText);
        std::printf("%s from %s:%u %zd bytes: %s\n", probe ? "probe" : "datagram", peerText, ntohs(peer.sin_port), n,
                    hex(datagram.data(), static_cast<size_t>(n)).c_str());
        std::fflush(stdout);

        if (!probe && !s.any) continue;
        if (s.probes >= 0 && answered >= s.probes) continue;
        ++answered;
        uint64_t base = nowMs() + s.afterMs;
        for (uint32_t d = first; d < last; ++d) {
            uint64_t jitter = s.delayMs ? random() % (s.delayMs + 1) : 0;
            in_addr source = s.fromGiven ? deviceAddress(s, d) : in_addr{htonl(INADDR_ANY)};
            pending.push(Pending{base + jitter, &answers[d], source, peer, s.repeat});
        }
        for (uint32_t i = 0; i < s.hostile; ++i) {
            const Hostile::Datagram& h = hostile.pick(i);
            uint64_t jitter = s.delayMs ? random() % (s.delayMs + 1) : 0;
            pending.push(Pending{base + jitter, h.bytes, h.source, peer, 1});
        }
    }
    return 0;
}

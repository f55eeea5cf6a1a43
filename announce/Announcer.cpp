#include "announce/Announcer.h"

#include <algorithm>

#include "Network/Clock.h"
#include "Network/Err.h"
#include "Network/Socket.h"
#include "app/base/Address.h"
#include "app/base/Text.h"
#include "app/base/Utf8.h"
#include "app/inspect/Check.h"
#include "app/system/ServiceManager.h"

namespace webfind::announce {

namespace {

void toBytes(uint32_t a, uint8_t (&bytes)[4]) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(a >> (24 - 8 * i));
}

std::string replaced(std::string text, const std::string& key, const std::string& value) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
    return text;
}

// No byte a terminal or the listing would show escaped.
bool plainText(const std::string& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        char32_t point = 0;
        const size_t length = decodeUtf8(bytes + i, text.size() - i, point);
        if (length == 0 || terminalControl(point)) return false;
        i += length;
    }
    return true;
}

const uint32_t GROUP = hostOrder(&DISCOVERY_GROUP.address[12]);

}  // namespace

namespace {

// Each outcome as -v tells it and as the summary counts it.
struct Told {
    const char* why;
    const char* counted;
};
const Told TOLD[REFUSALS] = {
    {"answered", "answered"},
    {"sent to this host's address, not to the group", "sent to this host's address"},
    {"its source is not on the link of an interface announced on", "off the link"},
    {"its source is no address and port a finder has (a subnet's network or broadcast address, port 0, a "
     "port below 1024)",
     "not a finder's address"},
    {"not a probe", "not a probe"},
    {"it waited longer than a finder listens", "too old"},
    {"its address has had its answers for this second", "over an address's limit"},
    {"all sources together have had their answers for this second", "over the shared limit"},
    {"this host looks up no more new addresses for now", "over the limit of look-ups"},
    {"nobody answered when this host last looked its address up", "nobody at the address"},
    {"its address is being looked up, and an answer waits for it", "address being looked up"},
    {"the system's send queue is full", "send queue full"},
    {"the send failed", "send failed"},
};
constexpr size_t FIRST_DROP = static_cast<size_t>(Refusal::QUEUE_FULL);

Refusal refusalOf(Budget::Verdict v) {
    switch (v) {
    case Budget::ANSWER:
    case Budget::WAITING: return Refusal::NONE;
    case Budget::ADDRESS_RATE: return Refusal::SOURCE_RATE;
    case Budget::SHARED_RATE: return Refusal::SHARED_RATE;
    case Budget::NEW_NEIGHBOURS: return Refusal::NEW_NEIGHBOURS;
    case Budget::ABSENT: return Refusal::ABSENT;
    case Budget::RESOLVING: return Refusal::RESOLVING;
    case Budget::STALE: return Refusal::STALE;
    }
    return Refusal::NONE;
}

// Datagrams taken at one go before other handles are looked at again.
constexpr int RECEIVE_AT_ONCE = 64;
// A probe from an interface not known makes the interfaces be read again,
// at most this often.
constexpr uint64_t REREAD_MS = 100;

}  // namespace

const char* refusalText(Refusal refusal) { return TOLD[static_cast<size_t>(refusal)].why; }

std::vector<Link> announcerLinks(const std::vector<BRIVO::LocalInterface>& interfaces,
                                 const std::vector<std::string>& wanted) {
    return chooseLinks(linksOf(interfaces), LinkChoice{wanted, wanted.empty(), true, true, true});
}

const Link* linkOf(const std::vector<Link>& links, uint32_t index, uint32_t source, const std::vector<uint32_t>& own) {
    for (const Link& l : links) {
        if (l.index != index) continue;
        if (l.loopback) {
            const bool ours = (source >> 24) == 127 || std::find(own.begin(), own.end(), source) != own.end();
            return ours ? &l : nullptr;
        }
        if (l.holds(Address::of(source))) return &l;
    }
    return nullptr;
}

namespace {

// The link of this host's address `to`, for a unicast probe from a source in
// `from`; null for any other.
const Link* unicastLink(const std::vector<Link>& links, uint32_t to, uint32_t source,
                        const std::vector<std::pair<uint32_t, uint32_t>>& from) {
    bool admitted = false;
    for (const auto& range : from) admitted = admitted || (source & range.second) == range.first;
    if (!admitted) return nullptr;
    for (const Link& l : links)
        if (l.address.number() == to && !l.loopback) return &l;
    return nullptr;
}

}  // namespace

Refusal judge(const Datagram& d, const std::vector<Link>& links, const std::vector<uint32_t>& own, const Link*& link,
              const std::vector<std::pair<uint32_t, uint32_t>>& unicastFrom) {
    link = nullptr;
    const uint32_t to = hostOrder(d.arrival.destination);
    const uint32_t s = d.source;
    if (to != GROUP) {
        link = unicastLink(links, to, s, unicastFrom);
        if (!link) return Refusal::UNICAST;
        if (s == 0 || (s >> 24) == 127 || (s >> 28) == 0xE || s == 0xFFFFFFFF) link = nullptr;
        if (!link) return Refusal::OFF_LINK;
        if (d.port < 1024) {
            link = nullptr;
            return Refusal::NOT_A_SOURCE;
        }
        return isProbe(d.bytes) ? Refusal::NONE : Refusal::INVALID;
    }
    link = linkOf(links, d.arrival.interfaceIndex, s, own);
    // Never an address that no device answers from: nothing, loopback
    // (but on loopback itself), multicast, broadcast.
    const bool loopback = link && link->loopback;
    if (s == 0 || ((s >> 24) == 127 && !loopback) || (s >> 28) == 0xE || s == 0xFFFFFFFF) link = nullptr;
    if (!link) return Refusal::OFF_LINK;
    // Below /31 a subnet's first and last addresses are no host's; a port
    // below 1024 is a system service's, never a finder's, and port 0 none.
    const uint32_t host = s & ~link->mask;
    const bool hasEnds = link->mask < 0xFFFFFFFE && !loopback;
    if ((hasEnds && (host == 0 || host == ~link->mask)) || d.port < 1024) {
        link = nullptr;
        return Refusal::NOT_A_SOURCE;
    }
    if (!isProbe(d.bytes)) return Refusal::INVALID;
    return Refusal::NONE;
}

std::string filledIn(const std::string& text, const std::string& host, uint32_t address) {
    return replaced(replaced(text, "{addr}", Address::of(address).text()), "{host}", host);
}

namespace {

// The first "{word}" of `text` that is none of the placeholders; empty when
// there is none.
std::string unknownPlaceholder(const std::string& text) {
    for (size_t open = text.find('{'); open != std::string::npos; open = text.find('{', open + 1)) {
        const size_t close = text.find('}', open);
        if (close == std::string::npos) break;
        const std::string word = text.substr(open, close - open + 1);
        if (word != "{addr}" && word != "{host}" && word.find_first_of(" {", 1) == std::string::npos) return word;
    }
    return "";
}

}  // namespace

bool checkAnnouncement(const AnnounceSettings& settings, std::string& why) {
    for (const std::string* text : {&settings.name, &settings.url}) {
        const std::string unknown = unknownPlaceholder(*text);
        if (!unknown.empty()) {
            why = "unknown placeholder " + unknown + " in " + (text == &settings.name ? "the name" : "the URL") +
                  " (there are {addr} and {host})";
            return false;
        }
    }
    if (settings.url.find("[{addr}]") != std::string::npos) {
        why = "brackets in a URL hold IPv6 addresses only, and {addr} is an IPv4 address: write http://{addr}/";
        return false;
    }
    // The longest address an answer may carry.
    const std::string name = filledIn(settings.name, settings.host, 0xFFFFFFFF);
    const std::string url = filledIn(settings.url, settings.host, 0xFFFFFFFF);
    if (name.empty()) {
        why = "the name is empty";
        return false;
    }
    if (!plainText(name)) {
        why = "the name holds control characters or bytes that are not UTF-8";
        return false;
    }
    if (!safeToOpen(url) || !plainText(url)) {
        why = "the URL holds a space, a control character or one of \" < > \\ ^ ` { | }, which webfind never opens";
        return false;
    }
    // As webfind reads a device's URL before it fetches or checks it.
    FetchRequest request;
    if (!readFetchUrl(url, request, why)) {
        if (url.find("://[") != std::string::npos)
            why = "brackets in a URL hold IPv6 addresses only, and webfind finds IPv4 hosts";
        why = "webfind would not take the URL: " + why;
        return false;
    }
    BRIVO::Buffer answer;
    buildAnswer(answer, name, url);
    std::string readName, readUrl;
    const AnswerVerdict verdict = judgeAnswer(DatagramBytes{answer.data(), answer.size()}, readName, readUrl);
    if (verdict != AnswerVerdict::ACCEPTED || readName != name || readUrl != url) {
        why = std::string("webfind would not accept the answer (") + verdictText(verdict) + ")";
        return false;
    }
    if (answer.size() > BRIVO::MAX_DATAGRAM_SIZE) {
        why = "the answer would take " + std::to_string(answer.size()) + " bytes, more than a datagram's " +
              std::to_string(BRIVO::MAX_DATAGRAM_SIZE);
        return false;
    }
    return true;
}

Announcer::Announcer(AnnounceSettings settings, std::ostream& log)
    : settings(std::move(settings)), log(log), budget(this->settings.limits, [](uint32_t index, uint32_t address) {
          uint8_t bytes[4];
          toBytes(address, bytes);
          return BRIVO::platform().neighbourState(index, bytes);
      }) {}

bool Announcer::open(std::string& why) {
    try {
        socket.emplace();
    } catch (const BRIVO::Err&) {
        why = "the socket layer could not be started";
        return false;
    }
    auto failed = [&](const char* step) {
        why = std::string(step) + ": " + BRIVO::platform().lastError().text;
        socket.reset();
        return false;
    };
    if (!socket->open(BRIVO::SocketV4::UDP_MULTICAST)) return failed("cannot open a UDP socket");
    // Another listener of the port (a second announcer, a simulated device)
    // keeps its place beside this one.
    if (!socket->shareAddress()) return failed("cannot share the discovery port");
    const BRIVO::IPAddress group(DISCOVERY_GROUP.address[12], DISCOVERY_GROUP.address[13], DISCOVERY_GROUP.address[14],
                                 DISCOVERY_GROUP.address[15], DISCOVERY_PORT);
    // Without a route for multicast there is no interface to join the
    // group on by default: bound all the same, it is joined on each
    // interface announced on.
    if (!socket->bindV4(group) && socket->localPort() != DISCOVERY_PORT)
        return failed("cannot listen on the discovery port");
    if (!socket->reportArrival()) return failed("cannot learn where datagrams arrive");
    // A send that would wait (its queue full of answers to hosts being looked
    // up) is dropped and counted instead: nothing may hold answering up.
    if (!socket->neverBlock()) return failed("cannot keep the socket from waiting");
    // Without it a probe that waited in the queue is taken as fresh.
    socket->reportReceiveTime();
    return true;
}

namespace {

// What became of an interface that is no longer answered on, from the
// system's list and its names.
std::string whyGone(const std::string& name, const std::vector<BRIVO::LocalInterface>& interfaces) {
    for (const BRIVO::LocalInterface& i : interfaces)
        if (i.name == name && !i.up) return name + " is down: answering there again once it is up";
    if (BRIVO::platform().interfaceIndex(name) != 0)
        return name + " has no IPv4 address now: answering there again once it has one";
    return name + " is gone: no longer answering there";
}

}  // namespace

bool Announcer::refresh(const std::vector<BRIVO::LocalInterface>& interfaces) {
    const std::vector<Link> chosen = announcerLinks(interfaces, settings.interfaces);
    own.clear();
    for (const BRIVO::LocalInterface& i : interfaces) own.push_back(hostOrder(i.address));
    // The group is joined once an interface, by its number: a membership
    // that outlives its addresses, and is left when the last goes.
    std::set<uint32_t> wanted;
    for (const Link& l : chosen) wanted.insert(l.index);
    for (auto it = joined.begin(); it != joined.end();) {
        if (wanted.count(*it)) {
            ++it;
            continue;
        }
        socket->leaveGroupOn(DISCOVERY_GROUP, *it);  // one that went has left already
        it = joined.erase(it);
    }
    std::set<uint32_t> failed;
    for (uint32_t index : wanted) {
        if (joined.count(index)) continue;
        if (socket->joinGroupOn(DISCOVERY_GROUP, index) ||
            BRIVO::platform().lastError().kind == BRIVO::SocketError::ADDRESS_IN_USE)
            joined.insert(index);
        else
            failed.insert(index);
    }
    auto addresses = [&failed](const std::vector<Link>& links) {
        std::string text;
        for (const Link& l : links)
            text += (text.empty() ? "" : ", ") + l.address.text() +
                    (failed.count(l.index) ? " (cannot join the group there)" : "");
        return text;
    };
    const std::vector<LinkChange> changes = linkChanges(current, chosen);
    // Made again as they are asked for: an address that went needs none.
    if (!changes.empty()) answers.clear();
    current = chosen;
    if (!said) {
        std::string where;
        for (const Link& l : current)
            where += (where.empty() ? "" : ", ") + l.text() + " as " +
                     escapeForTerminal(filledIn(settings.url, settings.host, l.address.number()));
        note("announcing \"" + escapeForTerminal(replaced(settings.name, "{host}", settings.host)) + "\" on " +
             (where.empty() ? "no interface yet (none is up with an IPv4 address and multicast); waiting for one"
                            : where));
        noteBareName();
        said = true;
    } else {
        for (const LinkChange& change : changes) {
            switch (change.kind) {
            case LinkChange::CAME:
                note("now answering on " + change.name + " (" + addresses(change.now) + ")", Priority::NOTICE);
                break;
            case LinkChange::WENT: note(whyGone(change.name, interfaces), Priority::WARNING); break;
            case LinkChange::CHANGED: note(change.name + " is now " + addresses(change.now), Priority::NOTICE); break;
            }
        }
    }
    // Each interface named that is not there yet, once while it is missing.
    std::set<std::string> missingNow;
    for (const std::string& w : settings.interfaces) {
        bool there = false;
        for (const Link& l : current) there = there || l.name == w || l.address.text() == w;
        if (!there) missingNow.insert(w);
    }
    for (const std::string& m : missingNow)
        if (!missing.count(m))
            note("waiting for " + escapeForTerminal(m) +
                     " (no interface of that name or address is up with an IPv4 "
                     "address yet): answering there once it is",
                 Priority::WARNING);
    missing = missingNow;
    return !changes.empty();
}

// A URL with a name that has no domain is opened only where the finder's
// resolver knows it.
void Announcer::noteBareName() const {
    if (settings.url.find("{host}") == std::string::npos || settings.host.find('.') != std::string::npos) return;
    note("{host} is \"" + escapeForTerminal(settings.host) +
             "\", a name without a domain: finders open the URL only where their name service knows it (mDNS, a "
             "local DNS); --url with {addr} works everywhere",
         Priority::NOTICE);
}

bool Announcer::knownInterface(uint32_t index) const {
    for (const Link& l : current)
        if (l.index == index) return true;
    return index == 0;
}

void Announcer::leaveAll() {
    for (uint32_t index : joined) socket->leaveGroupOn(DISCOVERY_GROUP, index);
    joined.clear();
}

bool Announcer::reload(const std::string& hostName, const std::vector<BRIVO::LocalInterface>& interfaces) {
    bool renamed = false;
    if (!hostName.empty() && hostName != settings.host) {
        AnnounceSettings asNamed = settings;
        asNamed.host = hostName;
        std::string why;
        if (!checkAnnouncement(asNamed, why)) {
            note("this host is now named \"" + escapeForTerminal(hostName) + "\", but it cannot be announced (" + why +
                 "); still announcing \"" + escapeForTerminal(settings.host) + "\"");
        } else {
            note("this host is now named \"" + escapeForTerminal(hostName) + "\"");
            settings.host = hostName;
            answers.clear();
            noteBareName();
            renamed = true;
        }
    }
    return refresh(interfaces) || renamed;
}

bool Announcer::serve(uint32_t waitMs) {
    const uint64_t now = BRIVO::platform().nowMs();
    const uint64_t turn = budget.nextTurn(now);
    if (turn) waitMs = static_cast<uint32_t>(std::min<uint64_t>(waitMs, turn > now ? turn - now : 0));
    bool got = false;
    if (!receiveOne(waitMs, got)) return false;
    if (got && !receive()) return false;
    attend();
    return true;
}

bool Announcer::receive() {
    for (int i = 0; i < RECEIVE_AT_ONCE; ++i) {
        bool got = false;
        if (!receiveOne(0, got)) return false;
        if (!got) break;
    }
    return true;
}

bool Announcer::receiveOne(uint32_t waitMs, bool& got) {
    const BRIVO::Platform& os = BRIVO::platform();
    BRIVO::IPAddress source;
    uint16_t port = 0;
    Datagram d;
    BRIVO::Clock wait(waitMs * 1000u);
    const BRIVO::WAIT_CODE code = socket->receiveFrom(received, source, port, d.arrival, wait);
    got = code == BRIVO::RECEIVED || code == BRIVO::DISCARDED;
    if (code == BRIVO::FAIL) return false;
    if (!got) return true;
    d.source = hostOrder(source.address + 12);
    d.port = port;
    if (code == BRIVO::DISCARDED) {
        tell(Refusal::INVALID, d.source, d.port, d.arrival.interfaceIndex);
        return true;
    }
    d.bytes = DatagramBytes{received.data(), received.size()};
    const Link* link = nullptr;
    Refusal why = judge(d, current, own, link, settings.unicastFrom);
    // From an interface not known yet (one that just came, before the
    // system's news of it arrived): the interfaces are read again at once,
    // at most every REREAD_MS.
    const uint64_t arrived = os.nowMs();
    if (why == Refusal::OFF_LINK && !knownInterface(d.arrival.interfaceIndex) && arrived - lastReread >= REREAD_MS) {
        lastReread = arrived;
        refresh(os.localInterfaces());
        why = judge(d, current, own, link, settings.unicastFrom);
    }
    if (why != Refusal::NONE) {
        tell(why, d.source, d.port, d.arrival.interfaceIndex);
        return true;
    }
    const uint64_t now = os.nowMs();
    const bool unicast = hostOrder(d.arrival.destination) != GROUP;
    const Asked asked{d.source, d.port, link->index, now - std::min<uint64_t>(now, d.arrival.waitedMs),
                      static_cast<uint32_t>(answerOn(*link).size()),
                      // A source beyond a router is reached through a neighbour already known.
                      link->resolves() && link->holds(Address::of(d.source)),
                      unicast ? hostOrder(d.arrival.destination) : 0};
    const Budget::Verdict verdict = budget.offer(asked, now);
    if (verdict == Budget::ANSWER)
        answer(asked);
    else if (verdict != Budget::WAITING)
        tell(refusalOf(verdict), d.source, d.port, d.arrival.interfaceIndex);
    return true;
}

void Announcer::attend() {
    const uint64_t now = BRIVO::platform().nowMs();
    const uint64_t turn = budget.nextTurn(now);
    if (!turn || turn > now) return;
    released.clear();
    for (const Asked& asked : budget.take(now, released)) answer(asked);
    for (const Budget::Refused& r : released)
        tell(refusalOf(r.why), r.asked.source, r.asked.sourcePort, r.asked.interfaceIndex);
}

// Made once for each address a link has, as it is first asked for.
const BRIVO::Buffer& Announcer::answerOn(const Link& link) {
    auto made = answers.find(link.address.number());
    if (made == answers.end()) {
        BRIVO::Buffer bytes;
        buildAnswer(bytes, filledIn(settings.name, settings.host, link.address.number()),
                    filledIn(settings.url, settings.host, link.address.number()));
        made = answers.emplace(link.address.number(), std::move(bytes)).first;
    }
    return made->second;
}

void Announcer::answer(const Asked& asked) {
    const Link* link = asked.to ? unicastLink(current, asked.to, asked.source, settings.unicastFrom)
                                : linkOf(current, asked.interfaceIndex, asked.source, own);
    if (!link) return;  // its interface went while it waited
    const BRIVO::Buffer& bytes = answerOn(*link);
    BRIVO::IPAddress to(static_cast<uint8_t>(asked.source >> 24), static_cast<uint8_t>(asked.source >> 16),
                        static_cast<uint8_t>(asked.source >> 8), static_cast<uint8_t>(asked.source), 0);
    Refusal outcome = Refusal::NONE;
    if (socket->sendTo(bytes, to, asked.sourcePort)) {
        ++tally.answered;
        tally.bytes += bytes.size();
    } else {
        outcome = BRIVO::platform().lastError().kind == BRIVO::SocketError::WOULD_BLOCK ? Refusal::QUEUE_FULL
                                                                                        : Refusal::SEND_FAILED;
        ++tally.refused[static_cast<size_t>(outcome)];
    }
    if (settings.verbose) {
        const std::string what =
            outcome == Refusal::NONE ? "answered" : std::string("dropped: ") + refusalText(outcome);
        note("probe from " + Address::of(asked.source).text() + ":" + std::to_string(asked.sourcePort) + " on " +
             link->name + ": " + what);
    }
}

void Announcer::tell(Refusal why, uint32_t source, uint16_t port, uint32_t interfaceIndex) {
    ++tally.refused[static_cast<size_t>(why)];
    if (!settings.verbose) return;
    std::string text = Address::of(source).text() + ":" + std::to_string(port);
    for (const Link& l : current)
        if (l.index == interfaceIndex) {
            text += " on " + l.name;
            break;
        }
    note("datagram from " + text + ": refused: " + refusalText(why));
}

void Announcer::note(const std::string& text, std::optional<Priority> priority) const {
    const std::string line = "webfind-announce: " + text + "\n";
    log << (priority ? withPriority(*priority, line) : line) << std::flush;
}

std::string Announcer::summary() const {
    uint64_t refused = 0, dropped = 0;
    std::string refusals, drops;
    for (size_t r = 1; r < REFUSALS; ++r) {
        std::string& list = r < FIRST_DROP ? refusals : drops;
        (r < FIRST_DROP ? refused : dropped) += tally.refused[r];
        list += std::string(list.empty() ? "" : ", ") + std::to_string(tally.refused[r]) + " " + TOLD[r].counted;
    }
    return "answered " + std::to_string(tally.answered) + " (" + std::to_string(tally.bytes) + " bytes); refused " +
           std::to_string(refused) + ": " + refusals + "; dropped " + std::to_string(dropped) + ": " + drops;
}

}  // namespace webfind::announce

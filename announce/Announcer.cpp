#include "announce/Announcer.h"

#include <algorithm>

#include "Network/Clock.h"
#include "Network/Err.h"
#include "Network/Socket.h"
#include "app/base/Address.h"
#include "app/base/Text.h"
#include "app/base/Utf8.h"

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

const uint32_t GROUP = 0xE000008A;  // 224.0.0.138

}  // namespace

const char* refusalText(Refusal refusal) {
    switch (refusal) {
    case Refusal::NONE: return "answered";
    case Refusal::UNICAST: return "sent to this host's address, not to the group";
    case Refusal::OFF_LINK: return "its source is not on the link of an interface announced on";
    case Refusal::INVALID: return "not a probe";
    case Refusal::SOURCE_RATE: return "its source has had its answers for this second";
    case Refusal::SHARED_RATE: return "all sources together have had their answers for this second";
    }
    return "";
}

Refusal judge(const Datagram& d, const std::vector<Link>& links, const Link*& link) {
    link = nullptr;
    if (hostOrder(d.arrival.destination) != GROUP) return Refusal::UNICAST;
    const uint32_t s = d.source;
    // Never an address that no device answers from: nothing, loopback,
    // multicast, broadcast.
    if (s == 0 || (s >> 24) == 127 || (s >> 28) == 0xE || s == 0xFFFFFFFF) return Refusal::OFF_LINK;
    link = linkOf(links, d.arrival.interfaceIndex, s);
    if (!link || (s | link->mask) == 0xFFFFFFFF) {  // the subnet's broadcast address too
        link = nullptr;
        return Refusal::OFF_LINK;
    }
    if (!isProbe(d.bytes)) return Refusal::INVALID;
    return Refusal::NONE;
}

std::string filledIn(const std::string& text, const std::string& host, uint32_t address) {
    return replaced(replaced(text, "{addr}", dotted(address)), "{host}", host);
}

bool checkAnnouncement(const AnnounceSettings& settings, std::string& why) {
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
    return true;
}

void Announcer::refresh(const std::vector<BRIVO::LocalInterface>& interfaces) {
    const std::vector<Link> chosen = chooseLinks(interfaces, settings.interfaces);
    const std::vector<LinkChange> changes = linkChanges(current, chosen);
    // Made again as they are asked for: an address that went needs none.
    if (!changes.empty()) answers.clear();
    for (const LinkChange& change : changes) {
        for (const Link& l : change.before) {
            uint8_t address[4];
            toBytes(l.address, address);
            socket->leaveGroup(DISCOVERY_GROUP, address);  // an interface that went has left already
        }
        std::string joined;
        for (const Link& l : change.now) {
            uint8_t address[4];
            toBytes(l.address, address);
            // Joined already on that interface (by another address of it) is
            // as good as joined.
            const bool ok = socket->joinGroup(DISCOVERY_GROUP, address) ||
                            BRIVO::platform().lastError().kind == BRIVO::SocketError::ADDRESS_IN_USE;
            joined += (joined.empty() ? "" : ", ") + dotted(l.address) + (ok ? "" : " (cannot join the group there)");
        }
        if (!said) continue;
        switch (change.kind) {
        case LinkChange::CAME: note("now answering on " + change.name + " (" + joined + ")"); break;
        case LinkChange::WENT: note(change.name + " is gone: no longer answering there"); break;
        case LinkChange::CHANGED: note(change.name + " is now " + joined); break;
        }
    }
    current = chosen;
    if (!said) {
        std::string where;
        for (const Link& l : current)
            where += (where.empty() ? "" : ", ") + l.text() + " as " +
                     escapeForTerminal(filledIn(settings.url, settings.host, l.address));
        note("announcing \"" + escapeForTerminal(replaced(settings.name, "{host}", settings.host)) + "\" on " +
             (where.empty() ? "no interface yet (none is up with an IPv4 address and multicast); waiting for one"
                            : where));
        said = true;
    }
}

bool Announcer::serve(uint32_t waitMs) {
    const BRIVO::Platform& os = BRIVO::platform();
    const uint64_t turn = budget.nextTurn(os.nowMs());
    if (turn) waitMs = static_cast<uint32_t>(std::min<uint64_t>(waitMs, turn > os.nowMs() ? turn - os.nowMs() : 0));
    BRIVO::IPAddress source;
    uint16_t port = 0;
    Datagram d;
    BRIVO::Clock wait(waitMs * 1000u);
    switch (socket->receiveFrom(received, source, port, d.arrival, wait)) {
    case BRIVO::FAIL: return false;
    case BRIVO::TIMEOUT: break;
    case BRIVO::DISCARDED: refuse(Refusal::INVALID, d); break;
    case BRIVO::RECEIVED: {
        d.source = hostOrder(source.address + 12);
        d.port = port;
        d.bytes = DatagramBytes{received.data(), received.size()};
        const Link* link = nullptr;
        const Refusal why = judge(d, current, link);
        if (why != Refusal::NONE) {
            refuse(why, d);
            break;
        }
        const Asked asked{d.source, d.port, link->index};
        switch (budget.offer(asked, os.nowMs())) {
        case Budget::ANSWER: answer(asked); break;
        case Budget::WAITING: break;
        case Budget::SOURCE_RATE: refuse(Refusal::SOURCE_RATE, d); break;
        // Held back by the shared budget like the probe it waits behind.
        case Budget::HELD: refuse(Refusal::SHARED_RATE, d); break;
        }
        break;
    }
    }
    size_t dropped = 0;
    for (const Asked& asked : budget.take(os.nowMs(), dropped)) answer(asked);
    tally.refused[static_cast<size_t>(Refusal::SHARED_RATE)] += dropped;
    return true;
}

void Announcer::answer(const Asked& asked) {
    const Link* link = linkOf(current, asked.interfaceIndex, asked.source);
    if (!link) return;  // its interface went while it waited
    auto made = answers.find(link->address);
    if (made == answers.end()) {
        BRIVO::Buffer bytes;
        buildAnswer(bytes, filledIn(settings.name, settings.host, link->address),
                    filledIn(settings.url, settings.host, link->address));
        made = answers.emplace(link->address, std::move(bytes)).first;
    }
    BRIVO::IPAddress to(static_cast<uint8_t>(asked.source >> 24), static_cast<uint8_t>(asked.source >> 16),
                        static_cast<uint8_t>(asked.source >> 8), static_cast<uint8_t>(asked.source), 0);
    if (socket->sendTo(made->second, to, asked.sourcePort)) ++tally.answered;
    if (settings.verbose)
        note("probe from " + dotted(asked.source) + ":" + std::to_string(asked.sourcePort) + " on " + link->name +
             ": answered");
}

void Announcer::refuse(Refusal why, const Datagram& d) {
    ++tally.refused[static_cast<size_t>(why)];
    if (settings.verbose) note("datagram from " + where(d) + ": refused: " + refusalText(why));
}

std::string Announcer::where(const Datagram& d) const {
    std::string text = dotted(d.source) + ":" + std::to_string(d.port);
    for (const Link& l : current)
        if (l.index == d.arrival.interfaceIndex) return text + " on " + l.name;
    return text;
}

void Announcer::note(const std::string& text) const { log << "webfind-announce: " << text << '\n' << std::flush; }

std::string Announcer::summary() const {
    static const char* const rules[REFUSALS] = {"", "sent to this host's address", "off the link", "not a probe",
                                                "over a source's limit", "over the shared limit"};
    uint64_t refused = 0;
    std::string each;
    for (size_t r = 1; r < REFUSALS; ++r) {
        refused += tally.refused[r];
        each += std::string(r == 1 ? "" : ", ") + std::to_string(tally.refused[r]) + " " + rules[r];
    }
    return "answered " + std::to_string(tally.answered) + ", refused " + std::to_string(refused) + " (" + each + ")";
}

}  // namespace webfind::announce

#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <ostream>
#include <string>
#include <vector>

#include "Network/Platform.h"
#include "Network/UDPV4.h"
#include "announce/Budget.h"
#include "app/discovery/Interfaces.h"
#include "app/system/ServiceManager.h"
#include "app/wire/Messages.h"

namespace webfind::announce {

// What the announcer says of this host.
struct AnnounceSettings {
    // "{addr}" stands for the address of the interface a probe came in on,
    // "{host}" for this host's name (`host`).
    std::string name = "{host}";
    std::string url = "http://{addr}/";
    std::string host;
    std::vector<std::string> interfaces;  // names or addresses; empty: every one that may
    // Sources (network, mask; host order) whose unicast probes to this
    // host's own addresses are answered too: finders beyond a router.
    std::vector<std::pair<uint32_t, uint32_t>> unicastFrom;
    Limits limits;
    bool verbose = false;
};

// What became of a datagram: answered, or refused by one of the rules that
// keep the announcer from being an amplifier or a tool against finders (the
// first five tested on the datagram alone, in this order, the rest by the
// budget), or dropped when the answer could not be sent.
enum class Refusal {
    NONE,            // answered
    UNICAST,         // sent to one of this host's addresses, not to the group
    OFF_LINK,        // its source is not on the subnet of an interface announced on
    NOT_A_SOURCE,    // from a subnet's network or broadcast address, port 0 or a port below 1024
    INVALID,         // not a probe
    STALE,           // it waited in the queue longer than a finder listens
    SOURCE_RATE,     // its address has had its answers for this second
    SHARED_RATE,     // all sources together have (answers or bytes)
    NEW_NEIGHBOURS,  // no more answers that make this host look an address up, for now
    ABSENT,          // nobody answered the last look-up of its address
    RESOLVING,       // its address is being looked up; an answer waits for it already
    QUEUE_FULL,      // dropped: the system's send queue was full
    SEND_FAILED,     // dropped: the send failed
};
constexpr size_t REFUSALS = static_cast<size_t>(Refusal::SEND_FAILED) + 1;
// Why, for -v ("sent to this host's address, not to the group").
const char* refusalText(Refusal refusal);

struct Counts {
    uint64_t answered = 0;
    uint64_t bytes = 0;  // of the answers sent
    uint64_t refused[REFUSALS] = {};
};

// The links the announcer answers on: those `wanted` names (by name every
// address of the interface, by address that one; loopback too) while they
// are up, or without any, every one that is up and can multicast, loopback
// aside, tunnels and point-to-point links too. One named that is not there
// (yet) is simply not chosen.
std::vector<Link> announcerLinks(const std::vector<BRIVO::LocalInterface>& interfaces,
                                 const std::vector<std::string>& wanted);

// The link a datagram that arrived on interface `index` from `source` came
// by: one of that interface's whose subnet holds the source, or on
// loopback, where only this host sends, the interface's first link whatever
// the source (`own`: this host's addresses, host order; another source
// finds none). Null when there is none.
const Link* linkOf(const std::vector<Link>& links, uint32_t index, uint32_t source,
                   const std::vector<uint32_t>& own = {});

// A datagram as the rules see it.
struct Datagram {
    uint32_t source = 0;  // host order
    uint16_t port = 0;
    BRIVO::Arrival arrival{};
    DatagramBytes bytes{nullptr, 0};
};

// The rules on the datagram alone: sent to the group, from a source on the
// subnet of the interface it came in on (`link`, then) that is no
// loopback or multicast address (but on loopback, this host's own: `own`),
// from an address and port a finder can have, and a probe.
// A unicast probe (to one of this host's addresses) is answered only from
// `unicastFrom`, on the link of the address it was sent to, wherever the
// source is.
Refusal judge(const Datagram& datagram, const std::vector<Link>& links, const std::vector<uint32_t>& own,
              const Link*& link, const std::vector<std::pair<uint32_t, uint32_t>>& unicastFrom = {});

// The name or URL of the answer given on a link with `address`.
std::string filledIn(const std::string& text, const std::string& host, uint32_t address);

// True when every answer the settings make is one webfind accepts and
// opens: an http or https URL safe to open, no control characters, UTF-8,
// within a datagram's size whatever the address. False, with why.
bool checkAnnouncement(const AnnounceSettings& settings, std::string& why);

// Answers the probes that reach the discovery group on the chosen
// interfaces, within its budget, and counts what it refuses by rule. Lines
// for people go to `log`.
class Announcer {
public:
    Announcer(AnnounceSettings settings, std::ostream& log);

    // Opens the socket: the group's port shared with any other listener,
    // the group joined, arrivals and their times reported, no send ever
    // waiting. False, with why.
    bool open(std::string& why);
    // Looks at this host's interfaces again, joins and leaves the group on
    // those that came, went or changed, and says so, one line each. True
    // when the links changed.
    bool refresh(const std::vector<BRIVO::LocalInterface>& interfaces);
    // Leaves the group on every interface (at exit: the system would, but
    // nothing is left to chance).
    void leaveAll();
    // Takes this host's name anew (kept when empty, or when the answers it
    // would make are not what webfind accepts: said), then refreshes. True
    // when the name or the links changed.
    bool reload(const std::string& hostName, const std::vector<BRIVO::LocalInterface>& interfaces);
    // The socket, for a wait on it and other handles.
    BRIVO::Handle handle() const { return socket ? socket->handle() : BRIVO::INVALID_HANDLE; }
    // Takes the datagrams that are waiting (a bounded number), answering
    // or refusing each. False when the socket failed.
    bool receive();
    // Answers the waiting probes whose turn has come; when that is next
    // due (0: nothing waits).
    void attend();
    uint64_t nextTurn(uint64_t now) const { return budget.nextTurn(now); }
    // Waits at most `waitMs` (less when a waiting probe's turn comes) for
    // a datagram, then receives and attends. False when the socket failed.
    bool serve(uint32_t waitMs);

    const Counts& counts() const { return tally; }
    const std::vector<Link>& links() const { return current; }
    // The URL told on `link`.
    std::string urlOn(const Link& link) const { return filledIn(settings.url, settings.host, link.address.number()); }
    // "answered 12 (720 bytes); refused 3: 3 sent to this host's address,
    // ...; dropped 0: ..."
    std::string summary() const;

private:
    bool receiveOne(uint32_t waitMs, bool& got);
    const BRIVO::Buffer& answerOn(const Link& link);
    void answer(const Asked& asked);
    void tell(Refusal what, uint32_t source, uint16_t port, uint32_t interfaceIndex);
    // A line for people; with a priority for the journal, where it reads them.
    void note(const std::string& text, std::optional<Priority> priority = std::nullopt) const;
    void noteBareName() const;
    bool knownInterface(uint32_t index) const;

    AnnounceSettings settings;  // its host name is followed
    std::ostream& log;
    Budget budget;
    std::optional<BRIVO::UDPV4> socket;
    std::vector<Link> current;
    std::vector<uint32_t> own;                  // this host's addresses, host order
    std::set<uint32_t> joined;                  // interfaces the group is joined on, by number
    std::set<std::string> missing;              // interfaces named that are not there, as said
    bool said = false;                          // the first look has been said
    uint64_t lastReread = 0;                    // of the interfaces, for a probe from one not known
    std::map<uint32_t, BRIVO::Buffer> answers;  // by the address they carry
    BRIVO::Buffer received;
    std::vector<Budget::Refused> released;  // scratch for attend()
    Counts tally;
};

}  // namespace webfind::announce

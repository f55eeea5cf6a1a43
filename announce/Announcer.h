#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Network/Platform.h"
#include "Network/UDPV4.h"
#include "announce/Budget.h"
#include "announce/Links.h"
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
    Limits limits;
    bool verbose = false;
};

// Why a datagram got no answer: the rules that keep the announcer from
// being an amplifier, in the order they are tested.
enum class Refusal {
    NONE,
    UNICAST,      // sent to one of this host's addresses, not to the group
    OFF_LINK,     // its source is not on the subnet of an interface announced on
    INVALID,      // not a probe
    SOURCE_RATE,  // its source has had its answers for this second
    SHARED_RATE,  // all sources together have
};
constexpr size_t REFUSALS = 6;
const char* refusalText(Refusal refusal);

struct Counts {
    uint64_t answered = 0;
    uint64_t refused[REFUSALS] = {};
};

// A datagram as the rules see it.
struct Datagram {
    uint32_t source = 0;  // host order
    uint16_t port = 0;
    BRIVO::Arrival arrival{};
    DatagramBytes bytes{nullptr, 0};
};

// The first three rules: sent to the group, from a source on the subnet of
// the interface it came in on (`link`, then) that is no loopback,
// multicast or broadcast address, and a probe.
Refusal judge(const Datagram& datagram, const std::vector<Link>& links, const Link*& link);

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
    Announcer(AnnounceSettings settings, std::ostream& log) : settings(std::move(settings)), log(log), budget(this->settings.limits) {}

    // Opens the socket: the group's port shared with any other listener,
    // the group joined, arrivals reported. False, with why.
    bool open(std::string& why);
    // Looks at this host's interfaces again, joins and leaves the group on
    // those that came, went or changed, and says so, one line each.
    void refresh(const std::vector<BRIVO::LocalInterface>& interfaces);
    // Waits at most `waitMs` for a datagram, then answers what is due.
    // False when the socket failed.
    bool serve(uint32_t waitMs);

    const Counts& counts() const { return tally; }
    const std::vector<Link>& links() const { return current; }
    // "answered 12; refused: 3 sent to this host's address, ..."
    std::string summary() const;

private:
    void answer(const Asked& asked);
    void refuse(Refusal why, const Datagram& d);
    void note(const std::string& text) const;
    std::string where(const Datagram& d) const;

    const AnnounceSettings settings;
    std::ostream& log;
    Budget budget;
    std::optional<BRIVO::UDPV4> socket;
    std::vector<Link> current;
    bool said = false;  // the first look has been said
    std::map<uint32_t, BRIVO::Buffer> answers;  // by the address they carry
    BRIVO::Buffer received;
    Counts tally;
};

}  // namespace webfind::announce

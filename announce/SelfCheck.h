#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/discovery/Link.h"

namespace webfind::announce {

// What an announcer can learn of its own host that would keep finders from
// it: the host firewall dropping the probes on a link it answers on, and
// nothing accepting connections at the URL it announces. Looked at when it
// starts and when its links or its name change; each finding is said when
// first seen and again once when it changes.
class SelfCheck {
public:
    // Whether this host's firewall lets probes in on these links: lines as
    // the diagnosis writes them (empty when nothing stops them).
    using FirewallCheck = std::function<std::string(const std::vector<Link>& links)>;
    // Whether something accepts a TCP connection at `address` (host order)
    // and `port` on this host.
    using Listening = std::function<bool(uint32_t address, uint16_t port)>;

    SelfCheck(FirewallCheck firewall, Listening listening)
        : firewall(std::move(firewall)), listening(std::move(listening)) {}

    // Looks again at the links announced on with the URL each is told
    // (already filled in); what is new to say, lines for people (the
    // caller adds the program's name), each with whether it is a warning.
    struct Line {
        std::string text;
        bool warning;
    };
    std::vector<Line> look(const std::vector<Link>& links, const std::function<std::string(const Link&)>& urlOn);

private:
    FirewallCheck firewall;
    Listening listening;
    std::string lastFirewall;
    bool looked = false;
    std::map<std::string, bool> served;  // by URL: whether something accepted a connection there
};

// Connects to `address` (host order) and `port` on this host for at most
// 100 ms: true when something accepts.
bool somethingListens(uint32_t address, uint16_t port);

}  // namespace webfind::announce

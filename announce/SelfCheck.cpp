#include "announce/SelfCheck.h"

#include <algorithm>

#include "Network/Clock.h"
#include "Network/Err.h"
#include "Network/SocketV4.h"
#include "app/base/Address.h"
#include "app/base/Text.h"
#include "app/inspect/Check.h"

namespace webfind::announce {

std::vector<SelfCheck::Line> SelfCheck::look(const std::vector<Link>& links,
                                             const std::function<std::string(const Link&)>& urlOn) {
    std::vector<Line> lines;
    const std::string fw = firewall(links);
    if (fw != lastFirewall) {
        if (!fw.empty())
            lines.push_back(Line{fw, true});
        else if (looked)
            lines.push_back(Line{"the firewall no longer drops discovery probes on the links announced on", false});
        lastFirewall = fw;
    }
    looked = true;
    std::map<std::string, bool> now;
    for (const Link& link : links) {
        const std::string url = urlOn(link);
        FetchRequest request;
        std::string why;
        if (now.count(url) || !readFetchUrl(url, request, why)) continue;
        // A URL that names an address of another host is that host's to serve.
        Address named;
        if (literalAddress(request.host, named) && named != link.address) continue;
        now[url] = listening(link.address.number(), request.port);
    }
    for (const auto& [url, up] : now) {
        auto before = served.find(url);
        const std::string shown = escapeForTerminal(url);
        if (before == served.end() && !up)
            lines.push_back(Line{"nothing accepts connections at " + shown +
                                     " on this host: finders will open a page that does not load (start the web "
                                     "server, or announce the URL where it listens with --url)",
                                 true});
        else if (before != served.end() && before->second != up)
            lines.push_back(Line{up ? "something now accepts connections at " + shown
                                    : "nothing accepts connections at " + shown +
                                          " any more: finders will open a page that does not load",
                                 !up});
    }
    served = now;
    return lines;
}

bool somethingListens(uint32_t address, uint16_t port) {
    try {
        BRIVO::SocketV4 socket;
        if (!socket.open(BRIVO::SocketV4::TCP)) return false;
        const BRIVO::IPAddress to(static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                                  static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), 0);
        return socket.connectV4(to, port, BRIVO::Clock(100000));
    } catch (const BRIVO::Err&) {
        return false;
    }
}

}  // namespace webfind::announce

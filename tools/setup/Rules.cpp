#include "tools/setup/Rules.h"

#include "app/diagnosis/Firewall.h"
#include "app/wire/Messages.h"

namespace webfind {

std::vector<FirewallRule> installerRules(const std::string& folder) {
    std::string at = folder;
    if (!at.empty() && at.back() != '\\') at += '\\';
    return {
        {"webfind-announce (probes, UDP 3576)", at + "webfind-announce.exe", DISCOVERY_PORT,
         "Lets webfind's probes reach webfind-announce, so that this host is found."},
        {"webfind (answers, UDP 13576)", at + "webfind.exe", FIREWALL_PORT,
         "Lets devices' answers reach webfind when it runs with --port 13576 (or WEBFIND_PORT=13576)."},
    };
}

bool applyRules(Firewall& firewall, const std::string& folder, bool install) {
    bool all = true;
    for (const FirewallRule& rule : installerRules(folder)) {
        firewall.remove(rule.name);  // none there is no failure
        if (install && !firewall.add(rule)) all = false;
    }
    return all;
}

}  // namespace webfind

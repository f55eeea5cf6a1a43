#include "app/inspect/Hardware.h"
#include "app/system/Files.h"

namespace webfind {

// Linux's neighbour table, as /proc shows it; empty elsewhere.
std::map<Address, std::string> neighbourTable() { return neighboursFromArp(fileText("/proc/net/arp")); }

}  // namespace webfind

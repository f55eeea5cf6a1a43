#pragma once

#include <string>

#include "app/diagnosis/Firewall.h"

namespace webfind {

// The reader of nftables' rules: from "nft -j list ruleset", with the texts
// of the rules from "nft -a list ruleset" (which numbers them by handle):
// every table of the families an IPv4 answer meets (ip, inet, netdev), named
// sets resolved to their elements.
Ruleset rulesetFromNft(const std::string& json, const std::string& listing);

}  // namespace webfind

#pragma once

#include <string>

#include "app/diagnosis/Firewall.h"

namespace webfind {

// The reader of iptables' rules: from iptables-save (iptables-nft-save,
// iptables-legacy-save).
Ruleset rulesetFromIptablesSave(const std::string& text, Chain::Source source);

}  // namespace webfind

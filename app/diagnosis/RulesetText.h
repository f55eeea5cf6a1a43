#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/diagnosis/Firewall.h"

// What the readers of nftables' JSON and of iptables-save share: how they
// read addresses, names and the targets that go on.
namespace webfind::ruleset {

using Ranges = std::vector<std::pair<uint32_t, uint32_t>>;

std::string lower(std::string text);

// "192.168.1.0" in host order; false when it is not a dotted quad.
bool ipv4(const std::string& text, uint32_t& address);

// The addresses of `address`/`length`, first and last.
std::pair<uint32_t, uint32_t> prefixRange(uint32_t address, int length);

// "10.0.0.0/8", "10.1.2.3", "10.0.0.0/255.0.0.0"; false for anything else.
bool addressRange(const std::string& text, std::pair<uint32_t, uint32_t>& range);

// A condition this reader cannot judge: it may or may not hold.
Condition opaque();
Condition condition(Condition::Field field, bool negated);

// iptables' targets that note, mark or count and then go on (nft's "xt"
// targets are these too).
bool goesOn(const std::string& target);

}  // namespace webfind::ruleset

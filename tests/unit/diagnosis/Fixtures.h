#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "app/diagnosis/Firewall.h"
#include "app/diagnosis/RulesetNft.h"

// The rulesets recorded by rulesets/record.sh.
inline std::string rulesetFile(const std::string& name) {
    std::ifstream in(std::string(SOURCE_DIR) + "/tests/unit/diagnosis/rulesets/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_FALSE(text.str().empty()) << name << " is missing";
    return text.str();
}

// An nftables ruleset: NAME.json with the rules' texts from NAME.nft.
inline webfind::Ruleset nftRuleset(const std::string& name) {
    return webfind::rulesetFromNft(rulesetFile(name + ".json"), rulesetFile(name + ".nft"));
}

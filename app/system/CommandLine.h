#pragma once

#include <getopt.h>

#include <string>
#include <vector>

namespace webfind {

// What the programs' command lines share: each reads its own options with
// getopt_long and these.

// The long option names of a getopt_long table, in its order.
std::vector<std::string> longOptionNames(const option* table);

// A whole decimal number from `low` to `high`, nothing else: no sign, no
// spaces.
bool wholeNumber(const char* text, long low, long high, long& value);

// The usage error getopt_long reported as `c` (':' for an option without
// its value, anything else for an unknown option), as one line.
std::string getoptProblem(int c, char** argv);

}  // namespace webfind

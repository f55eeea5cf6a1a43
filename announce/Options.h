#pragma once

#include <string>

#include "announce/Announcer.h"

namespace webfind::announce {

// What the command line asks for.
struct Options {
    enum Action { ANNOUNCE, HELP, VERSION, USAGE_ERROR, SERVICE };
    Action action = ANNOUNCE;
    std::string problem;  // for USAGE_ERROR: one line naming it
    AnnounceSettings settings;
    bool nameGiven = false;
};

Options parseOptions(int argc, char** argv);

// Every long option, without its dashes, for the manual page's check.
std::vector<std::string> longOptionNames();

extern const char* const HELP_TEXT;

}  // namespace webfind::announce

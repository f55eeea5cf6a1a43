#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/discovery/Timings.h"
#include "app/watch/Watch.h"

namespace webfind {

// What the command line asks for. With no arguments: the default run.
struct Options {
    enum Action { RUN, HELP, VERSION, USAGE_ERROR };
    Action action = RUN;
    std::string problem;  // for USAGE_ERROR: one line naming it

    bool open = true;
    bool noOpen = false;  // -n was given
    bool json = false;
    bool verbose = false;
    bool allInterfaces = false;
    std::vector<std::string> interfaces;  // names or addresses, as given
    std::vector<std::string> targets;     // addresses, ranges or host names to probe by unicast, as given
    uint32_t rate = 1000;                 // unicast probes a second at most
    Milliseconds quietWait = Timings{}.quietWait;
    bool quietWaitGiven = false;
    uint16_t port = 0;         // local UDP port; 0: the system chooses
    bool first = false;        // end at the first (matching) answer
    bool page = false;         // open one page that lists the devices (with watch: kept current)
    std::string metrics;       // with watch: the file for the metrics; empty: none
    bool check = false;        // fetch each device's page and say what it is
    bool longListing = false;  // each device's address, MAC address and vendor under its line
    bool watch = false;
    Milliseconds watchInterval{WATCH_INTERVAL};
    Milliseconds duration{0};           // of a watch; 0: until stopped
    std::vector<std::string> patterns;  // device names to look for
    std::vector<std::string> notes;     // for standard error: what was probably meant
};

// `environmentPort` is WEBFIND_PORT's value, or null; --port wins over it.
// `environmentTargets` is WEBFIND_TARGETS's (space-separated), or null; it
// adds to --target.
Options parseOptions(int argc, char** argv, const char* environmentPort = nullptr,
                     const char* environmentTargets = nullptr);

// Every long option the parser takes, without its dashes ("no-open", ...):
// the help, the manual page and each shell's completion name them all.
std::vector<std::string> longOptionNames();

extern const char* const HELP_TEXT;

}  // namespace webfind

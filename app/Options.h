#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Network/Platform.h"
#include "app/Run.h"

namespace webfind {

// A watch probes this often unless told otherwise.
constexpr std::chrono::seconds WATCH_INTERVAL{10};

// What the command line asks for. With no arguments: the default run.
struct Options {
    enum Action { RUN, HELP, VERSION, USAGE_ERROR };
    Action action = RUN;
    std::string problem;  // for USAGE_ERROR: one line naming it

    bool open = true;
    bool json = false;
    bool verbose = false;
    bool allInterfaces = false;
    std::vector<std::string> interfaces;  // names or addresses, as given
    Milliseconds quietWait = QUIET_WAIT;
    bool quietWaitGiven = false;
    uint16_t port = 0;  // local UDP port; 0: the system chooses
    bool first = false;  // end at the first (matching) answer
    bool page = false;   // open one page that lists the devices
    bool watch = false;
    Milliseconds watchInterval{WATCH_INTERVAL};
    Milliseconds duration{0};  // of a watch; 0: until stopped
    std::vector<std::string> patterns;  // device names to look for
};

// The firewall profiles in the package admit answers to this port; users set
// WEBFIND_PORT (or --port) to it.
constexpr uint16_t FIREWALL_PORT = 13576;

// `environmentPort` is WEBFIND_PORT's value, or null; --port wins over it.
Options parseOptions(int argc, char** argv, const char* environmentPort = nullptr);

// The interfaces to probe through; empty when the system should choose. On
// an unknown interface, false with the problem.
bool chooseInterfaces(const Options& options, const std::vector<BRIVO::LocalInterface>& available,
                      std::vector<ProbeInterface>& chosen, std::string& problem);

extern const char* const HELP_TEXT;

}  // namespace webfind

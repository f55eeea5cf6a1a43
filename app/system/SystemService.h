#pragma once

#include <functional>
#include <string>
#include <vector>

namespace webfind {

// A program run by Windows' Service Control Manager: `body` runs with the
// options stored for the service (the words of a registry string), its
// standard output and error going to a log file in ProgramData; a stop or
// shutdown from the manager is a stop request (stopRequested()), and the
// manager hears of each step. Returns the body's status, or -1 with
// `problem` set where the program was not started as a service (or the
// system has no such manager).
using ServiceBody = std::function<int(const std::vector<std::string>& words)>;
int runAsSystemService(const std::string& name, const ServiceBody& body, std::string& problem);

// Where the service's options are kept (HKEY_LOCAL_MACHINE), and its log.
constexpr const char* SERVICE_OPTIONS_KEY = "Software\\webfind";
constexpr const char* SERVICE_OPTIONS_VALUE = "AnnounceOptions";

}  // namespace webfind

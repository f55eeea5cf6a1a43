#pragma once

namespace webfind {

// Every status the tool ends with.
enum class ExitStatus : int {
    DONE = 0,             // the run completed (also when no device answered); a watch ended
    NO_MATCH = 1,         // patterns or --first were given and no device matched, as grep
    USAGE = 2,            // the command line is wrong
    ENVIRONMENT = 3,      // the socket layer could not be started
    OUTPUT_FAILURE = 4,   // the listing (or other output) could not be written: a caller
                          // must not take a lost listing for an empty one
    SOCKET_FAILURE = -1,  // a socket operation failed (255 to the shell)
};

}  // namespace webfind

#pragma once

#include <string>

#include "Network/Platform.h"

namespace webfind {

// What a failed socket step is called, and why it failed: the vocabulary a
// run, a watch and their reports share.

// The socket step whose failure ended a run. STARTUP: the socket layer
// itself could not be started (its assertion line is written already).
enum class SocketStep { NONE, STARTUP, OPEN, BIND, SEND, RECEIVE };

// The message of a failed step as the run prints it on standard output
// ("Socket Send Err"); empty for NONE and STARTUP.
const char* failureMessage(SocketStep step);

// Why a socket step failed, in the system's words, and what that means.
struct FailureReason {
    enum Cause { UNKNOWN, OTHER, NO_ROUTE, ADDRESS_IN_USE, ACCESS_DENIED };
    Cause cause = UNKNOWN;
    std::string text;  // "Network is unreachable"; empty when unknown

    // The reason the platform gives for its last failed call.
    static FailureReason of(const BRIVO::SocketError& error);
};

}  // namespace webfind

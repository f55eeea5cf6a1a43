#include "app/discovery/Failure.h"

namespace webfind {

const char* failureMessage(SocketStep step) {
    switch (step) {
    case SocketStep::OPEN: return "Socket Open Err";
    case SocketStep::BIND: return "Socket Bind Err";
    case SocketStep::SEND: return "Socket Send Err";
    case SocketStep::RECEIVE: return "Socket Receive Err";
    case SocketStep::NONE:
    case SocketStep::STARTUP: break;
    }
    return "";
}

FailureReason FailureReason::of(const BRIVO::SocketError& error) {
    FailureReason reason;
    switch (error.kind) {
    case BRIVO::SocketError::NONE: reason.cause = UNKNOWN; break;
    case BRIVO::SocketError::OTHER:
    case BRIVO::SocketError::WOULD_BLOCK:
    case BRIVO::SocketError::REFUSED: reason.cause = OTHER; break;
    case BRIVO::SocketError::NO_ROUTE: reason.cause = NO_ROUTE; break;
    case BRIVO::SocketError::ADDRESS_IN_USE: reason.cause = ADDRESS_IN_USE; break;
    case BRIVO::SocketError::ACCESS_DENIED: reason.cause = ACCESS_DENIED; break;
    }
    reason.text = error.text;
    return reason;
}

}  // namespace webfind

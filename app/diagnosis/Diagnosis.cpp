#include "app/diagnosis/Diagnosis.h"

#include "app/diagnosis/HostFacts.h"
#include "app/diagnosis/Rules.h"

namespace webfind {

std::string diagnoseNothingFound(const DiagnosisContext& context) {
    return explainNothingFound(gatherHostFacts(), context);
}

std::string explainFailure(const RunReport& report, uint16_t port) {
    const FailureReason& why = report.why;
    const std::string reason = why.text.empty() ? std::string("the system gave no reason") : why.text;
    const std::string p = std::to_string(port);
    std::string line;
    switch (report.failedStep) {
    case SocketStep::OPEN: line = "could not open a UDP socket: " + reason; break;
    case SocketStep::BIND:
        line =
            (port ? "could not bind local UDP port " + p : std::string("could not bind a UDP socket")) + ": " + reason;
        if (why.cause == FailureReason::ADDRESS_IN_USE) {
            const std::string holder = port ? udpPortHolder(port) : "";
            if (holder.rfind("webfind ", 0) == 0)
                line += "; another webfind holds it: " + holder + " (a watch, or a run that has not ended)";
            else if (!holder.empty())
                line += "; " + holder + " holds it";
            else
                line += "; another program holds it (a webfind watch, perhaps)";
        } else if (why.cause == FailureReason::ACCESS_DENIED && port && port < 1024) {
            line += "; ports below 1024 need privileges";
        }
        break;
    case SocketStep::SEND:
        line = "could not send the probe: " + reason;
        if (why.cause == FailureReason::NO_ROUTE) {
            const std::string route = explainNoRoute(gatherHostFacts());
            if (!route.empty()) line += ": " + route;
        }
        break;
    case SocketStep::RECEIVE: line = "could not receive: " + reason; break;
    case SocketStep::NONE:
    case SocketStep::STARTUP: return "";
    }
    return "webfind: " + line + "\n";
}

}  // namespace webfind

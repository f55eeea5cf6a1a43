#include "app/discovery/Intake.h"

#include "Network/Socket.h"
#include "app/wire/Messages.h"

namespace webfind {

bool Intake::take(const Datagram& d) {
    ++count;
    if (!d.deliverable) {
        // Any host can send one; it must not end the run.
        ++rejects;
        log.note("datagram discarded: empty or longer than " + std::to_string(BRIVO::MAX_DATAGRAM_SIZE) + " bytes");
        return true;
    }
    if (expected && !expected(d.source)) {
        ++rejects;
        ++strays;
        if (log.on()) logVerdict(d, "rejected: not a target");
        return true;
    }
    const DatagramBytes bytes{d.data, d.size};
    // A repeat that cannot matter costs one lookup, and no judging.
    if (!keeper.wanted(d.source)) {
        if (log.on()) {
            AnswerVerdict v = judgeAnswer(bytes, name, url);
            logVerdict(d, v == AnswerVerdict::ACCEPTED ? "duplicate of an earlier answer"
                                                       : std::string("rejected: ") + verdictText(v));
        }
        return true;
    }
    AnswerVerdict verdict = judgeAnswer(bytes, name, url);
    if (verdict != AnswerVerdict::ACCEPTED) {
        ++rejects;
        if (log.on()) logVerdict(d, std::string("rejected: ") + verdictText(verdict));
        return true;
    }
    switch (filter.keeps(name) ? keeper.keep(d.source, name, url) : keeper.passOver(d.source)) {
    case Take::FULL:
        if (!fullNoted)
            log.note("device table full (at most " + std::to_string(limits.devices) + " devices and " +
                     std::to_string(limits.bytes >> 20) + " MiB of names and URLs); answers from further " +
                     "addresses are left out");
        fullNoted = true;
        return true;
    case Take::DONE:
        if (log.on()) logVerdict(d, "accepted");
        return false;
    case Take::KEPT: break;
    }
    if (log.on()) logVerdict(d, "accepted");
    return true;
}

void Intake::logVerdict(const Datagram& d, const std::string& verdict) const {
    log.note(d.source.text() + ":" + std::to_string(d.sourcePort) + " " + std::to_string(d.size) +
             " bytes: " + verdict);
}

}  // namespace webfind

#include "announce/Budget.h"

#include <algorithm>

namespace webfind::announce {

void Budget::refill(Bucket& b, double rate, double capacity, uint64_t now) {
    if (now > b.refilled) b.tokens = std::min(capacity, b.tokens + rate * static_cast<double>(now - b.refilled) / 1000.0);
    b.refilled = std::max(b.refilled, now);
}

// Sources that have had no answer for a second hold a full bucket: such a
// source is no different from one never seen, and is forgotten first.
void Budget::forgetIdle(uint64_t now) {
    // A flood of new sources must not cost a whole scan each: at most one
    // scan in a tenth of a second.
    if (now < nextScan) return;
    nextScan = now + 100;
    for (auto it = bySource.begin(); it != bySource.end();) {
        Source& s = it->second;
        refill(s.bucket, limits.perSource, limits.perSource, now);
        if (!s.waiting && s.bucket.tokens >= limits.perSource && now - s.lastAnswer >= 1000)
            it = bySource.erase(it);
        else
            ++it;
    }
}

Budget::Source& Budget::sourceOf(uint32_t address, uint64_t now) {
    auto found = bySource.find(address);
    if (found != bySource.end()) return found->second;
    if (bySource.size() >= MAX_SOURCES) forgetIdle(now);
    Source fresh;
    fresh.bucket = Bucket{static_cast<double>(limits.perSource), now};
    return bySource.emplace(address, fresh).first->second;
}

void Budget::answered(Source& s, uint64_t now) {
    s.bucket.tokens -= 1;
    shared.tokens -= 1;
    s.lastAnswer = std::max<uint64_t>(now, 1);
}

Budget::Decision Budget::offer(const Asked& asked, uint64_t now) {
    if (!sharedStarted) {
        shared = Bucket{static_cast<double>(limits.shared), now};
        sharedStarted = true;
    }
    refill(shared, limits.shared, limits.shared, now);
    // Past the bound, a new source is as good as refused: it waits with the
    // rest, and is forgotten with them.
    if (bySource.size() >= MAX_SOURCES && !bySource.count(asked.source)) forgetIdle(now);
    if (bySource.size() >= MAX_SOURCES && !bySource.count(asked.source)) return SOURCE_RATE;
    Source& s = sourceOf(asked.source, now);
    refill(s.bucket, limits.perSource, limits.perSource, now);
    if (s.bucket.tokens < 1) return SOURCE_RATE;
    if (s.waiting) return HELD;
    if (queue.empty() && shared.tokens >= 1) {
        answered(s, now);
        return ANSWER;
    }
    s.waiting = true;
    queue.emplace(Turn{s.lastAnswer, sequence++}, Waiting{asked, now});
    return WAITING;
}

std::vector<Asked> Budget::take(uint64_t now, size_t& dropped) {
    std::vector<Asked> due;
    dropped = 0;
    if (!sharedStarted) return due;
    refill(shared, limits.shared, limits.shared, now);
    while (!queue.empty()) {
        auto best = queue.begin();
        Source& s = bySource[best->second.asked.source];
        if (now - best->second.since > MAX_WAIT_MS) {
            s.waiting = false;
            queue.erase(best);
            ++dropped;
            continue;
        }
        if (shared.tokens < 1) break;
        refill(s.bucket, limits.perSource, limits.perSource, now);
        s.waiting = false;
        due.push_back(best->second.asked);
        queue.erase(best);
        answered(s, now);
    }
    // Too many waiting: the ones whose turn would come last go.
    while (queue.size() > MAX_WAITING) {
        auto worst = std::prev(queue.end());
        bySource[worst->second.asked.source].waiting = false;
        queue.erase(worst);
        ++dropped;
    }
    return due;
}

uint64_t Budget::nextTurn(uint64_t now) const {
    if (queue.empty()) return 0;
    if (shared.tokens >= 1) return now;
    const double missing = 1 - shared.tokens;
    return now + static_cast<uint64_t>(missing * 1000.0 / limits.shared) + 1;
}

}  // namespace webfind::announce

#include "app/watch/Tracker.h"

namespace webfind {

bool WatchTracker::wanted(const Address& address) const {
    auto known = lastRound.find(address);
    return known == lastRound.end() || known->second != round;
}

Take WatchTracker::keep(const Address& address, const std::string& name, const std::string& url) {
    const Device* device = up.find(address);
    if (!device) {
        if (up.add(address, name, url) == DeviceTable::Added::FULL) {
            ++refused;
            return Take::FULL;
        }
        lastRound[address] = round;
        ++answeredNow;
        emit(WatchEvent{WatchEvent::UP, address, name, url, {}, round + 1});
        return Take::KEPT;
    }
    // keep() comes only for a device wanted(): its first answer this round.
    lastRound[address] = round;
    ++answeredNow;
    if (device->name != name || device->url != url) {
        if (!up.change(address, name, url)) {
            ++refused;  // the change does not fit: the device stays as it was
            return Take::FULL;
        }
        emit(WatchEvent{WatchEvent::CHANGED, address, name, url, {}, round + 1});
    }
    return Take::KEPT;
}

void WatchTracker::endRound(bool judged) {
    for (auto it = lastRound.begin(); judged && it != lastRound.end();) {
        if (it->second != round) {
            const Device& device = *up.find(it->first);
            emit(WatchEvent{WatchEvent::DOWN, it->first, device.name, device.url, {}, it->second + 1});
            up.remove(it->first);
            it = lastRound.erase(it);
        } else {
            ++it;
        }
    }
    ++round;
    answeredNow = 0;
}

}  // namespace webfind

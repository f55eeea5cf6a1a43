#include "announce/Links.h"

#include <algorithm>
#include <map>

#include "app/base/Address.h"

namespace webfind::announce {

namespace {

Link linkFrom(const BRIVO::LocalInterface& i) {
    return Link{i.name, hostOrder(i.address), hostOrder(i.mask), i.index};
}

std::map<std::string, std::vector<Link>> byName(const std::vector<Link>& links) {
    std::map<std::string, std::vector<Link>> found;
    for (const Link& l : links) found[l.name].push_back(l);
    return found;
}

}  // namespace

std::string dotted(uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 0xFF) + "." + std::to_string(a >> 8 & 0xFF) + "." +
           std::to_string(a & 0xFF);
}

std::string Link::text() const { return name + " (" + dotted(address) + ")"; }

std::vector<Link> chooseLinks(const std::vector<BRIVO::LocalInterface>& interfaces,
                              const std::vector<std::string>& wanted) {
    std::vector<Link> chosen;
    for (const BRIVO::LocalInterface& i : interfaces) {
        bool take = false;
        if (wanted.empty()) {
            take = i.up && i.multicast && !i.loopback;
        } else {
            // By name every address of it; by address that one, or the
            // interface that has it.
            for (const std::string& w : wanted) take = take || w == i.name || w == dotted(hostOrder(i.address));
            take = take && i.up;
        }
        if (take) chosen.push_back(linkFrom(i));
    }
    return chosen;
}

std::vector<LinkChange> linkChanges(const std::vector<Link>& before, const std::vector<Link>& now) {
    std::vector<LinkChange> changes;
    const auto was = byName(before), is = byName(now);
    for (const auto& entry : is) {
        auto old = was.find(entry.first);
        if (old == was.end())
            changes.push_back(LinkChange{LinkChange::CAME, entry.first, {}, entry.second});
        else if (old->second != entry.second)
            changes.push_back(LinkChange{LinkChange::CHANGED, entry.first, old->second, entry.second});
    }
    for (const auto& entry : was)
        if (!is.count(entry.first)) changes.push_back(LinkChange{LinkChange::WENT, entry.first, entry.second, {}});
    return changes;
}

const Link* linkOf(const std::vector<Link>& links, uint32_t index, uint32_t source) {
    for (const Link& l : links)
        if (l.index == index && (source & l.mask) == (l.address & l.mask)) return &l;
    return nullptr;
}

}  // namespace webfind::announce

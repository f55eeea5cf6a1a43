#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "app/base/Address.h"
#include "app/discovery/Datagram.h"
#include "app/discovery/Filter.h"
#include "app/discovery/Log.h"
#include "app/base/Device.h"

namespace webfind {

// What becomes of a valid answer that a keeper was given.
enum class Take {
    KEPT,  // kept; go on listening
    FULL,  // not kept: the keeper holds as many devices as it may
    DONE,  // kept; stop listening at once
};

// Where the valid answers go that the filter keeps: the devices of a run, or
// of a watch.
class Keeper {
public:
    virtual ~Keeper() = default;
    // False when an answer from `source` cannot change anything any more (a
    // repeat): it is not even judged.
    virtual bool wanted(const Address& source) const = 0;
    virtual Take keep(const Address& source, const std::string& name, const std::string& url) = 0;
    // A valid answer whose name the filter leaves out.
    virtual Take passOver(const Address& source) = 0;
};

// Turns datagrams into devices: judges each one, logs its verdict, applies
// the filter, and hands the valid answers to the keeper.
class Intake : public DatagramSink {
public:
    // Judges with `filter`, and says when the keeper is full with its
    // `limits`.
    Intake(DeviceFilter filter, const TableLimits& limits, Keeper& keeper, const VerboseLog& log)
        : filter(std::move(filter)), keeper(keeper), log(log), limits(limits) {}

    // False once the keeper is done: listening should stop.
    bool take(const Datagram& datagram) override;
    // From now on a datagram whose source fails `test` is rejected as "not
    // a target" (a run with targets hears only what it probed).
    void expectFrom(std::function<bool(const Address&)> test) { expected = std::move(test); }
    size_t notTargets() const { return strays; }
    // Datagrams taken, whatever they held.
    size_t datagrams() const { return count; }
    // Of those, the ones that were no valid answer: empty, oversized or
    // malformed. A repeat from a device already heard is not judged.
    size_t rejected() const { return rejects; }

private:
    void logVerdict(const Datagram& datagram, const std::string& verdict) const;

    const DeviceFilter filter;
    Keeper& keeper;
    const VerboseLog& log;
    const TableLimits limits;
    size_t count = 0;
    size_t rejects = 0;
    size_t strays = 0;
    std::function<bool(const Address&)> expected;
    bool fullNoted = false;
    std::string name, url;  // scratch for judging, reused to spare allocations
};

}  // namespace webfind

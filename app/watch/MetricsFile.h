#pragma once

#include <ostream>
#include <string>

#include "app/base/Device.h"
#include "app/output/Metrics.h"

namespace webfind {

// A watch's metrics file, replaced whole at the start and at the end of
// each round. A failure is said on `err` once, and again only after a
// write has succeeded.
class MetricsFile {
public:
    MetricsFile(std::string path, std::ostream& err) : path(std::move(path)), err(err) {}

    // True when the file was replaced.
    bool write(const DeviceTable& up, const FactsTable& facts, const WatchCounts& counts);

private:
    const std::string path;
    std::ostream& err;
    bool failing = false;
};

}  // namespace webfind

#include "app/watch/MetricsFile.h"

#include "app/base/Text.h"
#include "app/system/ServiceManager.h"
#include "app/system/Files.h"

namespace webfind {

bool MetricsFile::write(const DeviceTable& up, const FactsTable& facts, const WatchCounts& counts) {
    std::string why;
    if (replaceFile(
            path, [&](std::ostream& out) { writeMetrics(out, up, &facts, counts); }, why)) {
        failing = false;
        return true;
    }
    if (!failing)
        err << Priority::ERROR << "webfind: could not write the metrics: " << escapeForTerminal(why) << '\n'
            << std::flush;
    failing = true;
    return false;
}

}  // namespace webfind

#pragma once

#include <ostream>

#include "app/base/Device.h"

namespace webfind {

// One device's line, without its newline: "Name:<name> URL:<url>", both
// escaped for a terminal.
void writeDeviceLine(std::ostream& out, const Device& device);

// The devices as one JSON array of {"address", "name", "url"} objects, in
// table order, then a newline and a flush, strings as jsonString writes them.
void writeJson(std::ostream& out, const DeviceTable& devices);

}  // namespace webfind

#pragma once

#include <ostream>

#include "app/base/Device.h"

namespace webfind {

// One device's line, without its newline: "Name:<name> URL:<url>", both
// escaped for a terminal.
void writeDeviceLine(std::ostream& out, const Device& device);

// The devices as one JSON array of {"address", "name", "url"} objects, in
// table order, then a newline and a flush. Control characters are escaped
// as JSON requires; bytes that are not UTF-8 become U+FFFD.
void writeJson(std::ostream& out, const DeviceTable& devices);

}  // namespace webfind

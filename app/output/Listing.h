#pragma once

#include <ostream>
#include <string>

#include "app/base/Device.h"

namespace webfind {

// What became of a page's check, in the words the listing, JSON and the
// page use: "not fetched", "not checked", "unreachable", "failed",
// "answered"; "" for none.
const char* checkResult(PageCheck::Outcome outcome);

// The note for standard error when more devices answered than a table
// keeps (`limits`): a run's says how many (at least, when `atLeast`) are not
// listed; a watch's (`watch`) that those are left out. With its newline.
std::string leftOutNote(size_t leftOut, bool atLeast, const TableLimits& limits, bool watch);

// A page's check as one JSON object: {"result", "fetched", "status",
// "title", "location", "tls", "error"}.
std::string checkJson(const PageCheck& check);

// One device's line, without its newline: "Name:<name> URL:<url>", both
// escaped for a terminal.
void writeDeviceLine(std::ostream& out, const Device& device);

// The lines under a device's line, each with its newline, escaped as the
// listing is and made to be found with grep:
//   "  device: address=192.168.1.20 mac=3c:2a:f4:01:02:03 vendor=Brother ..."
//   (with `hardware`; "-" for what is not known, and for a device on a link
//   of this host's that has none, " (not in the neighbour table yet)"), and, when it was checked,
//   "  check: status=200 tls=self-signed title=Printer status",
//   "  check: status=302 location=https://192.168.1.20/ tls=-",
//   "  check: unreachable: connection refused", "  check: not fetched: ...",
//   "  check: not checked: ...".
void writeDeviceDetails(std::ostream& out, const Address& address, const DeviceFacts& facts, bool hardware);

// The devices as one JSON array of objects, in table order, then a newline
// and a flush: "address", "name", "url", "mac" and "vendor" (null when not
// known), and, for a device that was checked, "check": {"result" (as
// checkResult), "fetched" (the page answered), "status", "title",
// "location", "tls", "error"}. Strings as jsonString
// writes them. `facts` may be null: nothing is known.
void writeJson(std::ostream& out, const DeviceTable& devices, const FactsTable* facts = nullptr);

// "mac" and "vendor" (and "check", for a device that was checked) as JSON
// members, each after ", "; with `pretty`, each on a line of its own
// indented as a listed device's.
std::string factsJson(const DeviceFacts& facts, bool pretty);

}  // namespace webfind

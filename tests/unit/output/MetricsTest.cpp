// A watch's metrics in Prometheus' text format: every family described,
// label values escaped as the format requires, what is known of each device
// in series of its own.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

#include "app/output/Metrics.h"

using namespace webfind;
using testing::HasSubstr;
using testing::Not;

namespace {

std::string metrics(const DeviceTable& up, const FactsTable* facts, uint64_t rounds = 3) {
    std::ostringstream out;
    const std::chrono::system_clock::time_point when(std::chrono::milliseconds(1765112759042));
    writeMetrics(out, up, facts, WatchCounts{rounds, when, 7});
    return out.str();
}

}  // namespace

TEST(Metrics, DevicesAndCountsWithTheirHelpAndType) {
    DeviceTable up;
    up.add(Address{{192, 168, 1, 20}}, "Printer", "http://192.168.1.20/");
    up.add(Address{{10, 0, 0, 9}}, "Cam", "https://10.0.0.9/");
    EXPECT_EQ(metrics(up, nullptr),
              "# HELP webfind_device_up A device that answers webfind's probes, by the address it answers from and "
              "the name and URL it announces.\n"
              "# TYPE webfind_device_up gauge\n"
              "webfind_device_up{address=\"10.0.0.9\",name=\"Cam\",url=\"https://10.0.0.9/\"} 1\n"
              "webfind_device_up{address=\"192.168.1.20\",name=\"Printer\",url=\"http://192.168.1.20/\"} 1\n"
              "# HELP webfind_devices Devices that answer now.\n"
              "# TYPE webfind_devices gauge\n"
              "webfind_devices 2\n"
              "# HELP webfind_rounds_total Rounds of probes since the watch started.\n"
              "# TYPE webfind_rounds_total counter\n"
              "webfind_rounds_total 3\n"
              "# HELP webfind_last_round_timestamp_seconds When the last round ended, in seconds since 1970.\n"
              "# TYPE webfind_last_round_timestamp_seconds gauge\n"
              "webfind_last_round_timestamp_seconds 1765112759.042\n"
              "# HELP webfind_datagrams_rejected_total Datagrams that were no valid answer: empty, oversized or "
              "malformed.\n"
              "# TYPE webfind_datagrams_rejected_total counter\n"
              "webfind_datagrams_rejected_total 7\n");
}

TEST(Metrics, HostileLabelValuesCannotBreakALine) {
    EXPECT_EQ(labelValue("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
    EXPECT_EQ(labelValue("caf\xc3\xa9 \xff"), "caf\xc3\xa9 \xef\xbf\xbd") << "UTF-8 kept, other bytes replaced";
    // node_exporter serves the file to terminals too: what a terminal would
    // obey is written as the listing writes it, and reads back to the bytes.
    EXPECT_EQ(labelValue("\x1b]0;t\x07 a\rb \xc2\x9b"
                         "31m \x9b \xe2\x80\xae"
                         "evil \\x41"),
              "\\\\x1B]0;t\\\\x07 a\\\\x0Db \\\\xC2\\\\x9B31m \\\\x9B \\\\xE2\\\\x80\\\\xAEevil \\\\x5Cx41");
    DeviceTable up;
    up.add(Address{{10, 0, 0, 1}}, "x\"} 1\nwebfind_devices 999\n#", "http://x/\\");
    const std::string text = metrics(up, nullptr);
    EXPECT_THAT(text, HasSubstr("name=\"x\\\"} 1\\nwebfind_devices 999\\n#\",url=\"http://x/\\\\\"} 1\n"));
    EXPECT_THAT(text, Not(HasSubstr("webfind_devices 999\n")));
}

TEST(Metrics, HardwareAndChecksInSeriesOfTheirOwn) {
    DeviceTable up;
    up.add(Address{{10, 0, 0, 1}}, "Switch", "http://10.0.0.1/");
    up.add(Address{{10, 0, 0, 2}}, "NAS", "http://10.0.0.2/");
    up.add(Address{{10, 0, 0, 3}}, "Far", "http://10.0.0.3/");
    FactsTable facts;
    facts[Address{{10, 0, 0, 1}}].mac = "00:00:0c:12:34:56";
    facts[Address{{10, 0, 0, 1}}].vendor = "Cisco Systems, Inc";
    PageCheck& ok = facts[Address{{10, 0, 0, 1}}].check;
    ok.outcome = PageCheck::ANSWERED;
    ok.status = 200;
    PageCheck& refused = facts[Address{{10, 0, 0, 2}}].check;
    refused.outcome = PageCheck::UNREACHABLE;
    const std::string text = metrics(up, &facts);
    EXPECT_THAT(text, HasSubstr("# TYPE webfind_device_hardware_info gauge\n"
                                "webfind_device_hardware_info{address=\"10.0.0.1\",mac=\"00:00:0c:12:34:56\","
                                "vendor=\"Cisco Systems, Inc\"} 1\n#"));
    EXPECT_THAT(text, HasSubstr("# TYPE webfind_device_page_reachable gauge\n"
                                "webfind_device_page_reachable{address=\"10.0.0.1\"} 1\n"
                                "webfind_device_page_reachable{address=\"10.0.0.2\"} 0\n#"));
    EXPECT_THAT(text, HasSubstr("# TYPE webfind_device_page_status gauge\n"
                                "webfind_device_page_status{address=\"10.0.0.1\"} 200\n#"));
    // Without any check, no check families at all.
    facts.erase(Address{{10, 0, 0, 2}});
    facts[Address{{10, 0, 0, 1}}].check = PageCheck();
    EXPECT_THAT(metrics(up, &facts), Not(HasSubstr("webfind_device_page")));
}

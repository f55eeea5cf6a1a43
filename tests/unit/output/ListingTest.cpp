// The listing's lines and the JSON array.

#include <gtest/gtest.h>

#include <sstream>

#include <nlohmann/json.hpp>

#include "app/output/Json.h"
#include "app/output/Listing.h"

using namespace webfind;

namespace {

Address at(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return Address{{a, b, c, d}}; }

}  // namespace

TEST(DeviceLine, NameAndUrlEscapedForATerminal) {
    std::ostringstream out;
    writeDeviceLine(out, Device{"\x1b[2Jevil\nName:fake", "http://x/\x7f\xc3\xa9"});
    EXPECT_EQ(out.str(), "Name:\\x1B[2Jevil\\x0AName:fake URL:http://x/\\x7F\xc3\xa9");
    out.str("");
    writeDeviceLine(out, Device{"", "http://10.0.0.9/"});
    EXPECT_EQ(out.str(), "Name: URL:http://10.0.0.9/") << "an empty name, as it came";
}

TEST(JsonListing, EmptyIsAnEmptyArray) {
    std::ostringstream out;
    writeJson(out, DeviceTable{});
    EXPECT_EQ(out.str(), "[]\n");
}

TEST(JsonListing, HostileBytesStillGiveValidJsonInAddressOrder) {
    DeviceTable devices;
    devices.add(at(192, 168, 1, 100), "quote\" back\\slash", "http://a/\"}");
    devices.add(at(192, 168, 1, 20), std::string("ctl\x01\x1b[2J\n\0x", 11), "http://b/\x7f");
    devices.add(at(10, 0, 0, 9), "bad \xff\xfe utf8 \xc3", "http://c/\xc3\xa9");
    std::ostringstream out;
    writeJson(out, devices);
    for (char c : out.str()) EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n' || c == ' ');

    nlohmann::json parsed = nlohmann::json::parse(out.str());
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[0]["address"], "10.0.0.9");
    EXPECT_EQ(parsed[0]["name"], "bad \xef\xbf\xbd\xef\xbf\xbd utf8 \xef\xbf\xbd");
    EXPECT_EQ(parsed[0]["url"], "http://c/\xc3\xa9");  // valid UTF-8 round-trips
    EXPECT_EQ(parsed[1]["address"], "192.168.1.20");
    EXPECT_EQ(parsed[1]["name"], std::string("ctl\x01\x1b[2J\n\0x", 11));
    EXPECT_EQ(parsed[2]["address"], "192.168.1.100");
    EXPECT_EQ(parsed[2]["name"], "quote\" back\\slash");
    EXPECT_EQ(parsed[2]["url"], "http://a/\"}");
}

TEST(JsonString, EscapesWhatJsonRequiresAndWhatATerminalWouldObey) {
    EXPECT_EQ(jsonString("plain caf\xc3\xa9"), "\"plain caf\xc3\xa9\"");
    EXPECT_EQ(jsonString("q\" b\\ \b\f\n\r\t \x01 \x1f \x7f"), "\"q\\\" b\\\\ \\b\\f\\n\\r\\t \\u0001 \\u001f \x7f\"");
    EXPECT_EQ(jsonString("\xc2\x9b"
                         "2J \xe2\x80\xae"
                         "x"),
              "\"\\u009b2J \\u202ex\"");
    EXPECT_EQ(jsonString("\x9b \xff \xe2\x82"), "\"\xef\xbf\xbd \xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd\"")
        << "bytes that are not UTF-8, each one U+FFFD";
}

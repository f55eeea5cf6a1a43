// Watch events as lines: text escaped as the listing is, or JSON Lines.

#include <gtest/gtest.h>

#include <chrono>

#include "app/base/Text.h"
#include "app/output/Events.h"

using namespace webfind;

TEST(EventLines, TextEscapedAsTheListingAndJsonInReadingOrder) {
    WatchEvent up{WatchEvent::UP, Address{{10, 0, 0, 5}}, "Cam\x1b[2J", "http://x/\xff", {}};
    const auto when = std::chrono::system_clock::time_point(std::chrono::milliseconds(1700000000123));
    const std::string time = clockTime(when);
    ASSERT_EQ(time.size(), 8u);
    EXPECT_EQ(time[2], ':');
    EXPECT_EQ(eventLine(up, false, when), time + " up 10.0.0.5 Name:Cam\\x1B[2J URL:http://x/\xff");
    EXPECT_EQ(eventLine(up, true, when),
              "{\"event\":\"up\",\"time\":\"2023-11-14T22:13:20.123Z\",\"address\":\"10.0.0.5\","
              "\"name\":\"Cam\\u001b[2J\",\"url\":\"http://x/\xEF\xBF\xBD\",\"mac\":null,\"vendor\":null}");
    WatchEvent known = up;
    known.facts.mac = "3c:2a:f4:01:02:03";
    known.facts.vendor = "Brother";
    known.facts.check.outcome = PageCheck::ANSWERED;
    known.facts.check.status = 200;
    known.facts.check.hasTitle = true;
    known.facts.check.title = "Printer";
    EXPECT_NE(eventLine(known, true, when)
                  .find(",\"mac\":\"3c:2a:f4:01:02:03\",\"vendor\":\"Brother\",\"check\":{\"result\":\"answered\","
                        "\"fetched\":true,\"status\":200,"
                        "\"title\":\"Printer\",\"location\":null,\"tls\":null,\"error\":null}}"),
              std::string::npos)
        << eventLine(known, true, when);
    WatchEvent down{WatchEvent::DOWN, Address{{10, 0, 0, 5}}, "Cam", "http://x/", {}};
    EXPECT_EQ(eventLine(down, false, when), time + " down 10.0.0.5 Name:Cam URL:http://x/");
    WatchEvent changed{WatchEvent::CHANGED, Address{{10, 0, 0, 5}}, "Cam 2", "http://x/", {}};
    EXPECT_EQ(eventLine(changed, false, when), time + " changed 10.0.0.5 Name:Cam 2 URL:http://x/");
}

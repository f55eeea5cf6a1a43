// The page of devices as text: what is escaped, what becomes a link.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/output/Page.h"

using namespace webfind;
using testing::HasSubstr;
using testing::Not;

TEST(PageText, EscapesEverythingFromTheNetworkAndLinksOnlySafeWebUrls) {
    DeviceTable devices;
    devices.add(Address{{10, 0, 0, 1}}, "<b>&\"'", "http://a/?x=1&y='2'");
    devices.add(Address{{10, 0, 0, 2}}, "\x1b[31m\xff", "javascript:alert(1)");
    devices.add(Address{{10, 0, 0, 3}}, "ok", "http://b/<x>");
    devices.add(Address{{10, 0, 0, 4}}, "ok", "ftp://c/");
    devices.add(Address{{10, 0, 0, 5}}, "ok", "http://d/\xc3");
    std::string page = pageHtml(devices, std::chrono::system_clock::now());
    EXPECT_THAT(page, HasSubstr("<td data-label=\"Name\">&lt;b&gt;&amp;&quot;&#39;</td>"));
    EXPECT_THAT(page, HasSubstr("<a href=\"http://a/?x=1&amp;y=&#39;2&#39;\""));
    EXPECT_THAT(page, HasSubstr("\\x1B[31m\xEF\xBF\xBD"));
    EXPECT_THAT(page, HasSubstr("<span class=\"unsafe\">javascript:alert(1)</span>"));
    EXPECT_THAT(page, HasSubstr("<span class=\"unsafe\">http://b/&lt;x&gt;</span>"));
    EXPECT_THAT(page, HasSubstr("<span class=\"unsafe\">ftp://c/</span>"));
    EXPECT_THAT(page, HasSubstr("<span class=\"unsafe\">http://d/\xEF\xBF\xBD</span>"));
    EXPECT_THAT(page, Not(HasSubstr("<script")));
    EXPECT_THAT(page, HasSubstr("Content-Security-Policy\" content=\"default-src 'none';"));
    EXPECT_THAT(page, HasSubstr("<title>webfind: 5 devices, "));
}

TEST(PageText, StaysWithinItsLimitAndCountsTheRowsLeftOut) {
    DeviceTable devices;
    for (int i = 1; i <= 200; ++i)
        devices.add(Address{{10, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)}}, std::string(500, 'n'),
                    "http://d/");
    const std::string whole = pageHtml(devices, std::chrono::system_clock::now());
    EXPECT_THAT(whole, Not(HasSubstr("more devices, see the listing")));
    const std::string bounded = pageHtml(devices, std::chrono::system_clock::now(), nullptr, 20000);
    EXPECT_LE(bounded.size(), 20000u);
    EXPECT_THAT(bounded, HasSubstr("</html>\n"));
    size_t rows = 0;
    for (size_t at = bounded.find("<tr><td"); at != std::string::npos; at = bounded.find("<tr><td", at + 1)) ++rows;
    EXPECT_GT(rows, 0u);
    EXPECT_THAT(bounded,
                HasSubstr("<p class=\"note\">" + std::to_string(200 - rows) + " more devices, see the listing.</p>"));
}

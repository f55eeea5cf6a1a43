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

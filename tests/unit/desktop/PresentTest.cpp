// Presenting a run's devices: the listing, each URL opened just before its
// line, one page instead of a storm of tabs, and what is said when the
// desktop cannot take them. The desktop is a recording stand-in.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "RecordingDesktop.h"
#include "app/desktop/Present.h"

using namespace webfind;

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

class Presenting : public testing::Test, public RecordingDesktop {
protected:
    void present(bool withDesktop = true) {
        // What was listed by the time a URL is opened.
        onOpen = [this] { linesWhenOpened.push_back(lines()); };
        Desktop desktop = RecordingDesktop::desktop();
        listDevices(devices, out, err, withDesktop ? &desktop : nullptr, pageWanted);
    }
    void add(uint8_t last, const std::string& name, const std::string& url) {
        devices.add(Address{{10, 0, 0, last}}, name, url);
    }
    void addMany(int count) {
        for (int i = 1; i <= count; ++i) devices.add(Address{{10, 0, 1, static_cast<uint8_t>(i)}}, "d", "http://d/");
    }
    long lines() const {
        const std::string listed = out.str();
        return std::count(listed.begin(), listed.end(), '\n');
    }

    DeviceTable devices;
    std::ostringstream out, err;
    std::vector<long> linesWhenOpened;
    bool pageWanted = false;
};

}  // namespace

TEST_F(Presenting, EachUrlIsOpenedJustBeforeItsLineInAddressOrder) {
    add(2, "b", "http://b/");
    add(1, "a", "http://a/");
    present();
    EXPECT_EQ(out.str(), "Name:a URL:http://a/\nName:b URL:http://b/\n");
    EXPECT_THAT(opened, ElementsAre("http://a/", "http://b/"));
    EXPECT_THAT(linesWhenOpened, ElementsAre(0, 1));
    EXPECT_EQ(err.str(), "");
}

TEST_F(Presenting, WithoutADesktopObjectNothingIsOpenedOrSaid) {
    add(1, "a", "http://a/");
    present(false);
    EXPECT_EQ(out.str(), "Name:a URL:http://a/\n");
    EXPECT_THAT(opened, IsEmpty());
    EXPECT_EQ(err.str(), "");
}

TEST_F(Presenting, ControlBytesAreEscapedInTheLineButTheOpenerGetsTheUrlAsReceived) {
    add(1, "\x1b[2Jevil\nName:fake", "http://x/\x7f\xc3\xa9");
    add(2, "\x1b]0;title\x07", "http://y/\xc3\xa9");
    present();
    EXPECT_EQ(out.str(),
              "Name:\\x1B[2Jevil\\x0AName:fake URL:http://x/\\x7F\xc3\xa9\n"
              "Name:\\x1B]0;title\\x07 URL:http://y/\xc3\xa9\n");
    EXPECT_THAT(opened, ElementsAre("http://y/\xc3\xa9")) << "the first is not safe to open";
}

TEST_F(Presenting, AnOpenerFailureStillListsTheDevice) {
    openerFails = true;
    add(1, "a", "http://a/");
    present();
    EXPECT_EQ(out.str(), "Name:a URL:http://a/\n");
    EXPECT_EQ(err.str(), "webfind: could not open http://a/: not installed\n");
}

TEST_F(Presenting, UnsafeUrlsAreListedButNotOpened) {
    add(1, "q", "http://a/\"onclick");
    add(2, "s", "http://a b/");
    add(3, "ok", "http://ok/\xc3\xa9");
    present();
    EXPECT_THAT(opened, ElementsAre("http://ok/\xc3\xa9"));
    EXPECT_EQ(out.str(), "Name:q URL:http://a/\"onclick\nName:s URL:http://a b/\nName:ok URL:http://ok/\xc3\xa9\n");
    EXPECT_THAT(err.str(), testing::HasSubstr("not opening the URL of 10.0.0.1"));
    EXPECT_THAT(err.str(), testing::HasSubstr("not opening the URL of 10.0.0.2"));
}

TEST_F(Presenting, MoreThan32UrlsOpenOnePageInstead) {
    addMany(40);
    present();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_THAT(opened, ElementsAre("file:///run/user/1000/webfind/page.html"));
    const std::string& page = pages.front();
    size_t rows = 0;
    for (size_t at = page.find("<tr><td"); at != std::string::npos; at = page.find("<tr><td", at + 1)) ++rows;
    EXPECT_EQ(rows, 40u);
    EXPECT_EQ(lines(), 40) << "the listing is the same";
    EXPECT_EQ(err.str(), "webfind: opened one page listing 40 devices: file:///run/user/1000/webfind/page.html\n");
}

TEST_F(Presenting, UpTo32UrlsOpenOneByOneAndUnsafeOnesDoNotCount) {
    addMany(32);
    devices.add(Address{{10, 0, 2, 1}}, "q", "http://a/\"onclick");
    present();
    EXPECT_TRUE(pages.empty());
    EXPECT_EQ(opened.size(), 32u);
}

TEST_F(Presenting, AskedForThePageItIsOpenedForAFewDevicesButNotForNone) {
    pageWanted = true;
    present();
    EXPECT_TRUE(pages.empty());
    EXPECT_TRUE(opened.empty());
    addMany(3);
    present();
    EXPECT_EQ(pages.size(), 1u);
    EXPECT_THAT(opened, ElementsAre("file:///run/user/1000/webfind/page.html"));
}

TEST_F(Presenting, APageThatCannotBeWrittenOpensNothingNeverAStormOfTabs) {
    pageFails = true;
    addMany(40);
    present();
    EXPECT_THAT(opened, IsEmpty());
    EXPECT_EQ(lines(), 40);
    EXPECT_EQ(err.str(),
              "webfind: could not write the page of devices (disk full); nothing is opened, and the listing holds "
              "every device\n");
}

TEST_F(Presenting, WhereThePageWentAndWhatTheOpenersSaidAreNoted) {
    pageNote = "could not write the page where it usually goes (x); it went to a private temporary folder";
    settleNotes = "webfind: http://a/: fail could not open it (exit status 1); the next way was tried\n";
    addMany(40);
    present();
    EXPECT_EQ(err.str(), "webfind: " + pageNote + "\n" +
                             "webfind: opened one page listing 40 devices: file:///run/user/1000/webfind/page.html\n" +
                             settleNotes);
    EXPECT_EQ(settled, 1);
    // One by one, the openers are settled once, after the last line.
    err.str("");
    devices = DeviceTable();
    add(1, "a", "http://a/");
    present();
    EXPECT_EQ(settled, 2);
    EXPECT_EQ(err.str(), settleNotes);
}

TEST_F(Presenting, WithoutAGraphicalSessionNothingIsOpenedAndThatIsSaidOnce) {
    hasDesktop = false;
    add(1, "a", "http://a/");
    add(2, "b", "http://b/");
    present();
    EXPECT_THAT(opened, IsEmpty());
    EXPECT_EQ(out.str(), "Name:a URL:http://a/\nName:b URL:http://b/\n");
    EXPECT_EQ(err.str(), "webfind: no graphical session; URLs are not opened\n");
}

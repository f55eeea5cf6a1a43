// The title reader: the first <title>, decoded, tidied and bounded, from
// any bytes a device's page holds.

#include <gtest/gtest.h>

#include <string>

#include "app/inspect/Title.h"

using namespace webfind;

namespace {

std::string titleOf(const std::string& html) {
    std::string title = "unset";
    return pageTitle(html, title) ? title : "<none>";
}

}  // namespace

TEST(PageTitle, TheFirstTitleDecodedWithItsWhiteSpaceTidied) {
    EXPECT_EQ(titleOf("<html><head><TITLE>\n  Router   login\t</TITLE><title>second</title>"), "Router login");
    EXPECT_EQ(titleOf("<title lang=\"en\">A &amp; B &lt;x&gt; &quot;q&quot; &#39;s&#x27; caf&#233;&nbsp;!</title>"),
              "A & B <x> \"q\" 's' caf\xc3\xa9\xc2\xa0!");
    EXPECT_EQ(titleOf("<title>&bogus; &#; &amp</title>"), "&bogus; &#; &amp") << "what is no reference stays";
    EXPECT_EQ(titleOf("<title></title>"), "");
    EXPECT_EQ(titleOf("<titles>no</titles><title>yes</title>"), "yes");
}

TEST(PageTitle, NoneCutShortOrHugeNeverMoreThan200Bytes) {
    EXPECT_EQ(titleOf("<html><body>no title</body>"), "<none>");
    EXPECT_EQ(titleOf("<title"), "<none>");
    EXPECT_EQ(titleOf("<title>cut short"), "cut short");
    EXPECT_EQ(titleOf("<title>&#0;&#xD800;&#x110000;</title>"), "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    const std::string long_ = std::string(199, 'a') + "\xc3\xa9" + std::string(100, 'b');
    const std::string t = titleOf("<title>" + long_ + "</title>");
    EXPECT_EQ(t, std::string(199, 'a')) << "cut before the character that would not fit";
    EXPECT_EQ(titleOf("<title>" + std::string(1 << 20, 'x') + "</title>").size(), MAX_TITLE_BYTES);
}

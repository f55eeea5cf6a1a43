// Where the page of devices goes on POSIX: a private folder, a new private
// file, nothing written through a planted link, old pages cleaned up.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "app/desktop/PageFile.h"

using namespace webfind;

namespace {

class PageFileTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/webfind-page-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        const char* previous = std::getenv("XDG_RUNTIME_DIR");
        saved = previous ? previous : "";
        hadRuntime = previous != nullptr;
        setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
    }
    void TearDown() override {
        if (hadRuntime) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
        else unsetenv("XDG_RUNTIME_DIR");
        std::system(("rm -rf '" + root + "'").c_str());
    }
    bool save(std::string& location, std::string& why) {
        return savePage([](std::ostream& out) { out << "<p>page</p>\n"; }, location, why);
    }
    static unsigned mode(const std::string& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    }
    std::string root, saved;
    bool hadRuntime = false;
};

}  // namespace

TEST_F(PageFileTest, ANewPrivateFileInAPrivateFolder) {
    std::string location, why, second;
    ASSERT_TRUE(save(location, why)) << why;
    ASSERT_TRUE(save(second, why)) << why;
    EXPECT_NE(location, second) << "each page is a file of its own";
    ASSERT_EQ(location.rfind("file://" + root + "/webfind/webfind-", 0), 0u) << location;
    const std::string path = location.substr(7);
    EXPECT_EQ(mode(path), 0600u);
    EXPECT_EQ(mode(root + "/webfind"), 0700u);
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "<p>page</p>\n");
}

TEST_F(PageFileTest, AnOpenFolderOfOursIsClosedAndALinkIsRefused) {
    ASSERT_EQ(::mkdir((root + "/webfind").c_str(), 0777), 0);
    ::chmod((root + "/webfind").c_str(), 0777);
    std::string location, why;
    ASSERT_TRUE(save(location, why)) << why;
    EXPECT_EQ(mode(root + "/webfind"), 0700u);

    std::system(("rm -rf '" + root + "/webfind' && mkdir '" + root + "/elsewhere'").c_str());
    ASSERT_EQ(::symlink((root + "/elsewhere").c_str(), (root + "/webfind").c_str()), 0);
    EXPECT_FALSE(save(location, why));
    EXPECT_NE(why.find(root + "/webfind"), std::string::npos) << why;
}

// Where the page of devices goes on POSIX: a private folder of this user's,
// a new private file, nothing written through a planted link or into
// another user's folder, no folder made under a home that is not there, old
// and surplus pages cleaned up, and a page rewritten whole.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <dirent.h>

#include "app/desktop/PageFile.h"

using namespace webfind;

namespace {

class PageFileTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/webfind-page-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "HOME", "TMPDIR"}) {
            const char* value = std::getenv(name);
            saved.push_back({name, value ? value : "", value != nullptr});
        }
        ::mkdir((root + "/tmp").c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
        setenv("XDG_CACHE_HOME", (root + "/no-home/.cache").c_str(), 1);
        setenv("HOME", (root + "/no-home").c_str(), 1);
        setenv("TMPDIR", (root + "/tmp").c_str(), 1);
    }
    void TearDown() override {
        for (const Saved& s : saved) s.wasSet ? setenv(s.name, s.value.c_str(), 1) : unsetenv(s.name);
        EXPECT_EQ(std::system(("rm -rf '" + root + "'").c_str()), 0);
    }
    bool save(std::string& location, std::string& why, const std::string& text = "<p>page</p>\n") {
        return savePage([&](std::ostream& out) { out << text; }, page, note, why) && (location = page.location, true);
    }
    static unsigned mode(const std::string& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    }
    static std::string content(const std::string& path) {
        std::ifstream in(path);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    struct Saved {
        const char* name;
        std::string value;
        bool wasSet;
    };
    std::string root;
    std::vector<Saved> saved;
    SavedPage page;
    std::string note;
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
    EXPECT_EQ(content(path), "<p>page</p>\n");
    EXPECT_EQ(note, "");
}

TEST_F(PageFileTest, AnOpenFolderOfOursIsClosedAndALinkIsRefused) {
    ASSERT_EQ(::mkdir((root + "/webfind").c_str(), 0777), 0);
    ::chmod((root + "/webfind").c_str(), 0777);
    std::string location, why;
    ASSERT_TRUE(save(location, why)) << why;
    EXPECT_EQ(mode(root + "/webfind"), 0700u);

    ASSERT_EQ(std::system(("rm -rf '" + root + "/webfind' && mkdir '" + root + "/elsewhere'").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/elsewhere").c_str(), (root + "/webfind").c_str()), 0);
    ASSERT_TRUE(save(location, why)) << why;
    EXPECT_EQ(location.rfind("file://" + root + "/tmp/webfind-", 0), 0u) << "a private temporary folder: " << location;
    EXPECT_NE(note.find(root + "/webfind"), std::string::npos) << note;
    EXPECT_NE(note.find("private temporary folder"), std::string::npos) << note;
    EXPECT_EQ(std::system(("test -z \"$(ls '" + root + "/elsewhere')\"").c_str()), 0) << "written through the link";
}

TEST_F(PageFileTest, NoFolderIsMadeUnderAHomeThatIsNotThere) {
    setenv("XDG_RUNTIME_DIR", (root + "/no-runtime").c_str(), 1);
    std::string location, why;
    ASSERT_TRUE(save(location, why)) << why;
    EXPECT_EQ(mode(root + "/no-home"), 0u) << "HOME's folders were made";
    EXPECT_EQ(mode(root + "/no-runtime"), 0u);
    EXPECT_EQ(location.rfind("file://" + root + "/tmp/webfind-", 0), 0u) << location;
    // An existing home of ours takes it, in .cache.
    ASSERT_EQ(::mkdir((root + "/no-home").c_str(), 0755), 0);
    ASSERT_TRUE(save(location, why)) << why;
    EXPECT_EQ(location.rfind("file://" + root + "/no-home/.cache/webfind/webfind-", 0), 0u) << location;
}

TEST_F(PageFileTest, AnotherUsersFolderIsNeverWrittenIn) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to make a folder of another user's";
    // As root with a user's environment (sudo -E): the user's runtime folder.
    ASSERT_EQ(::chown(root.c_str(), 65534, 65534), 0);
    std::string location, why;
    ASSERT_TRUE(save(location, why)) << why;
    EXPECT_EQ(mode(root + "/webfind"), 0u) << "a folder was made in another user's";
    EXPECT_EQ(location.find("file://" + root + "/webfind/"), std::string::npos) << location;
    ASSERT_EQ(::chown(root.c_str(), 0, 0), 0);
}

TEST_F(PageFileTest, OldAndSurplusPagesGoTheNewestStay) {
    std::string location, why;
    for (int i = 0; i < 25; ++i) ASSERT_TRUE(save(location, why)) << why;
    size_t pages = 0;
    std::string listed;
    DIR* dir = ::opendir((root + "/webfind").c_str());
    ASSERT_NE(dir, nullptr);
    while (dirent* entry = ::readdir(dir)) pages += std::string(entry->d_name).rfind("webfind-", 0) == 0;
    ::closedir(dir);
    EXPECT_EQ(pages, 20u);
    EXPECT_EQ(content(location.substr(7)), "<p>page</p>\n") << "the newest stays";
}

// The folder's bound counts the page about to be written: large pages
// never take the folder past it, not even for a moment.
TEST_F(PageFileTest, TheFolderStaysWithinItsBytesWithTheNewPage) {
    const std::string large(10 << 20, 'x');
    for (int i = 0; i < 8; ++i) {
        std::string location, why;
        ASSERT_TRUE(save(location, why, large)) << why;
        off_t total = 0;
        DIR* dir = ::opendir((root + "/webfind").c_str());
        ASSERT_NE(dir, nullptr);
        while (dirent* entry = ::readdir(dir)) {
            struct stat info {};
            if (::stat((root + "/webfind/" + entry->d_name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
                total += info.st_size;
        }
        ::closedir(dir);
        EXPECT_LE(total, off_t(64) << 20) << "after page " << i + 1;
    }
}

// A rewrite replaces the page itself, never what has taken its name.
TEST_F(PageFileTest, ARewriteLeavesWhatTookThePagesNameAlone) {
    std::string location, why;
    ASSERT_TRUE(save(location, why)) << why;
    const std::string path = location.substr(7);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(rewritePage(
        page, [](std::ostream& out) { out << "<p>second</p>\n"; }, why));
    struct stat info {};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(PageFileTest, ARewriteReplacesThePageWhole) {
    std::string location, why;
    ASSERT_TRUE(save(location, why, "<p>first</p>\n")) << why;
    ASSERT_TRUE(rewritePage(
        page, [](std::ostream& out) { out << "<p>second</p>\n"; }, why))
        << why;
    EXPECT_EQ(content(location.substr(7)), "<p>second</p>\n");
    EXPECT_EQ(mode(location.substr(7)), 0600u);
}

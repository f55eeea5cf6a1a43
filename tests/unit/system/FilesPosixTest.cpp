// Replacing a file at once: a reader sees the old content or the new, the
// new file readable by the program it is meant for, nothing left beside it.

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/system/Files.h"

using namespace webfind;

namespace {

class ReplaceFileTest : public testing::Test {
protected:
    void SetUp() override {
        char path[] = "/tmp/webfind-files-XXXXXX";
        ASSERT_NE(::mkdtemp(path), nullptr);
        folder = path;
    }
    void TearDown() override {
        for (const std::string& name : names()) ::unlink((folder + "/" + name).c_str());
        ::rmdir(folder.c_str());
    }
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        if (DIR* dir = ::opendir(folder.c_str())) {
            while (dirent* entry = ::readdir(dir))
                if (entry->d_name[0] != '.' || (entry->d_name[1] && entry->d_name[1] != '.')) found.push_back(entry->d_name);
            ::closedir(dir);
        }
        return found;
    }
    static FileWriter text(const std::string& content) {
        return [content](std::ostream& out) { out << content; };
    }

    std::string folder;
};

}  // namespace

TEST_F(ReplaceFileTest, TheNewContentWholeReadableByAllAndNothingBesideIt) {
    const std::string path = folder + "/webfind.prom";
    std::string why;
    ASSERT_TRUE(replaceFile(path, text("first\n"), why)) << why;
    ASSERT_TRUE(replaceFile(path, text(std::string(200000, 'x')), why)) << why;
    EXPECT_EQ(fileText(path.c_str()), std::string(200000, 'x'));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(names(), std::vector<std::string>{"webfind.prom"});
}

TEST_F(ReplaceFileTest, ALinkInItsPlaceIsReplacedNotFollowed) {
    const std::string path = folder + "/webfind.prom", elsewhere = folder + "/elsewhere";
    std::string why;
    ASSERT_TRUE(replaceFile(elsewhere, text("theirs"), why)) << why;
    ASSERT_EQ(::symlink(elsewhere.c_str(), path.c_str()), 0);
    ASSERT_TRUE(replaceFile(path, text("ours"), why)) << why;
    EXPECT_EQ(fileText(elsewhere.c_str()), "theirs");
    EXPECT_EQ(fileText(path.c_str()), "ours");
}

TEST_F(ReplaceFileTest, AFolderThatIsNotThereIsSaid) {
    std::string why;
    EXPECT_FALSE(replaceFile(folder + "/missing/webfind.prom", text("x"), why));
    EXPECT_NE(why.find(folder + "/missing/webfind.prom"), std::string::npos) << why;
    EXPECT_NE(why.find("No such file or directory"), std::string::npos) << why;
}

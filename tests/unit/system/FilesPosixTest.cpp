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
                if (entry->d_name[0] != '.' || (entry->d_name[1] && entry->d_name[1] != '.'))
                    found.push_back(entry->d_name);
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

// A service's configuration may name anything: only a file of its own is
// ever replaced. A FIFO, a link (to a file, or to a device such as
// /dev/null), a directory: refused, and left as they were.
TEST_F(ReplaceFileTest, WhatIsNotAFileOfItsOwnIsNeverReplaced) {
    const std::string elsewhere = folder + "/elsewhere", fifo = folder + "/fifo", toFile = folder + "/to-file",
                      toNull = folder + "/to-null", directory = folder + "/directory";
    std::string why;
    ASSERT_TRUE(replaceFile(elsewhere, text("theirs"), why)) << why;
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), toFile.c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", toNull.c_str()), 0);
    ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
    const std::vector<std::pair<std::string, std::string>> refused = {{fifo, "is a FIFO"},
                                                                      {toFile, "is a symbolic link"},
                                                                      {toNull, "is a symbolic link"},
                                                                      {directory, "is a directory"}};
    for (const auto& r : refused) {
        why.clear();
        EXPECT_FALSE(replaceable(r.first, why)) << r.first;
        EXPECT_FALSE(replaceFile(r.first, text("ours"), why)) << r.first;
        EXPECT_NE(why.find(r.first + " " + r.second), std::string::npos) << why;
    }
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    ASSERT_EQ(::lstat(toNull.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_EQ(fileText(elsewhere.c_str()), "theirs");
    ::rmdir(directory.c_str());
    EXPECT_EQ(names().size(), 4u) << "nothing left beside them";
    EXPECT_TRUE(replaceable(folder + "/new.prom", why)) << "nothing there yet: it may be made";
}

TEST_F(ReplaceFileTest, AFolderThatIsNotThereIsSaid) {
    std::string why;
    EXPECT_FALSE(replaceFile(folder + "/missing/webfind.prom", text("x"), why));
    EXPECT_NE(why.find(folder + "/missing/webfind.prom"), std::string::npos) << why;
    EXPECT_NE(why.find("No such file or directory"), std::string::npos) << why;
}

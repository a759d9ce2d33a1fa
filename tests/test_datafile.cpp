// Data-file lookup: the working directory first, then the installed data folders in order.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/datafile.h"

namespace fs = std::filesystem;
using platform::findDataFile;

namespace {

void touch(const fs::path& p) {
    std::FILE* f = std::fopen(p.c_str(), "wb");
    ASSERT_NE(f, nullptr) << p;
    std::fputs("x", f);
    std::fclose(f);
}

// A fresh folder as the working directory, with two data folders beside it.
class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("varnis-datafile-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "work");
        fs::create_directories(root_ / "first");
        fs::create_directories(root_ / "second");
        old_ = fs::current_path();
        fs::current_path(root_ / "work");
        folders_ = {(root_ / "first").string(), "", (root_ / "second").string() + "/"};
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(root_);
    }
    fs::path root_, old_;
    std::vector<std::string> folders_;
};

TEST_F(DataFileTest, WorkingDirectoryThenFoldersInOrder) {
    touch(root_ / "second" / "title.bmp");
    EXPECT_EQ(findDataFile("title.bmp", folders_), (root_ / "second" / "title.bmp").string());

    touch(root_ / "first" / "title.bmp");
    EXPECT_EQ(findDataFile("title.bmp", folders_), (root_ / "first" / "title.bmp").string());

    // A copy in the working directory is used as given, whatever is installed.
    touch(root_ / "work" / "title.bmp");
    EXPECT_EQ(findDataFile("title.bmp", folders_), "title.bmp");
}

TEST_F(DataFileTest, NameComesBackAsGivenWhenNobodyHasIt) {
    // A folder of that name is not the file.
    fs::create_directories(root_ / "first" / "bomb.wav");
    EXPECT_EQ(findDataFile("bomb.wav", folders_), "bomb.wav");
    EXPECT_EQ(findDataFile("", folders_), "");
    EXPECT_EQ(findDataFile(nullptr, folders_), "");
    EXPECT_EQ(platform::dataFilePath(nullptr), "");

    // A name with a folder of its own is never looked for elsewhere.
    touch(root_ / "second" / "char.bmp");
    fs::create_directories(root_ / "work" / "sub");
    EXPECT_EQ(findDataFile("sub/char.bmp", folders_), "sub/char.bmp");
    EXPECT_EQ(findDataFile("../second/char.bmp", folders_), "../second/char.bmp");
}

}  // namespace

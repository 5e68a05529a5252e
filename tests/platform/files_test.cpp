// Files written to keep (platform/files.h), on every system the same: a file made new
// is refused a second time, a held file is refused to another opener, the bytes come
// back as written, a file takes its final name over one that had it, and folders are
// made with the ones above them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("whirlbat-files-" + std::to_string(ProcessNumber()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        ASSERT_TRUE(fs::create_directories(dir_)) << "cannot make " << dir_.string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string path(const std::string& name) const { return (dir_ / name).generic_string(); }
    static std::string text_of(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::path dir_;
};

TEST_F(Files, AFileMadeNewIsRefusedASecondTime) {
    HeldFile first = FileCreateHeld(path("a"), true);
    ASSERT_NE(first, NO_FILE) << std::strerror(errno);
    errno = 0;
    EXPECT_EQ(FileCreateHeld(path("a"), true), NO_FILE);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_TRUE(FileClose(first));
}

TEST_F(Files, AHeldFileIsRefusedToAnotherOpenerUntilClosed) {
    HeldFile writing = FileCreateHeld(path("game.partial"), true);
    ASSERT_NE(writing, NO_FILE);
    EXPECT_EQ(FileOpenIfFree(path("game.partial")), NO_FILE) << "a file being written was taken";
    ASSERT_TRUE(FileClose(writing));
    HeldFile reading = FileOpenIfFree(path("game.partial"));
    EXPECT_NE(reading, NO_FILE) << "a file no one holds was refused";
    if (reading != NO_FILE) FileClose(reading);
    EXPECT_EQ(FileOpenIfFree(path("missing")), NO_FILE);
}

TEST_F(Files, TheBytesComeBackAsWritten) {
    HeldFile f = FileCreateHeld(path("bytes"), false);
    ASSERT_NE(f, NO_FILE);
    std::string bytes = "line one\nline two\r\n";
    bytes += std::string(1, '\0') + "\x1a end";
    ASSERT_TRUE(FileWriteAll(f, bytes.data(), bytes.size()));
    EXPECT_TRUE(FileSyncToDisk(f));
    ASSERT_TRUE(FileClose(f));
    EXPECT_EQ(text_of(path("bytes")), bytes);
}

TEST_F(Files, AFileTakesItsNameOverOneThatHadIt) {
    std::ofstream(path("settings.ini"), std::ios::binary) << "old";
    std::ofstream(path("settings.ini.new"), std::ios::binary) << "new";
    ASSERT_TRUE(FileMoveOver(path("settings.ini.new"), path("settings.ini"))) << std::strerror(errno);
    EXPECT_EQ(text_of(path("settings.ini")), "new");
    EXPECT_FALSE(fs::exists(path("settings.ini.new")));
    FolderSyncToDisk(dir_.generic_string());
    EXPECT_FALSE(FileMoveOver(path("nothing"), path("settings.ini")));
    EXPECT_EQ(text_of(path("settings.ini")), "new");
}

TEST_F(Files, FoldersAreMadeWithTheOnesAboveThem) {
    EXPECT_TRUE(FolderMake(path("a/b/c")));
    EXPECT_TRUE(fs::is_directory(path("a/b/c")));
    EXPECT_TRUE(FolderMake(path("a/b/c"))) << "a folder that is there is made";
    std::ofstream(path("file"), std::ios::binary) << "x";
    errno = 0;
    EXPECT_FALSE(FolderMake(path("file")));
    EXPECT_EQ(errno, ENOTDIR);
}

TEST_F(Files, EveryKindOfFileHasAFolderOfTheGamesOwn) {
    for (UserFolder kind : {UserFolder::settings, UserFolder::games, UserFolder::state}) {
        std::string folder = UserFolderPath(kind);
        ASSERT_FALSE(folder.empty());
        EXPECT_EQ(folder.find('\\'), std::string::npos) << folder;
        std::string last = folder.substr(folder.find_last_of('/') + 1);
        EXPECT_TRUE(last == "rc-whirlbat" || last == "RC Whirlbat") << folder;
    }
    EXPECT_NE(UserFolderPath(UserFolder::settings), UserFolderPath(UserFolder::games));
}

}  // namespace

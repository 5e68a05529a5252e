#include "platform/resources.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support.h"

namespace {

TEST(Resources, EmbeddedNamesAndAnyCaseOfThePrefix) {
    static const char data[] = "whirl";
    IncbinAdd("blob.bin", data, 5);
    std::vector<uint8_t> out;
    for (const char* url : {"incbin::blob.bin", "Incbin::blob.bin", "INCBIN::blob.bin"}) {
        ASSERT_TRUE(ReadUrl(url, out)) << url;
        EXPECT_EQ(std::string(out.begin(), out.end()), "whirl");
    }
    EXPECT_FALSE(ReadUrl("incbin::Blob.bin", out));  // names are exact
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(ReadUrl("http::blob.bin", out));
}

TEST(Resources, PathsWithEitherSlash) {
    std::string dir = test_support::OutputPath("res");
    std::string cmd = "mkdir -p " + dir;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ofstream(dir + "/file.ogg") << "abc";
    std::vector<uint8_t> out;
    EXPECT_TRUE(ReadUrl(dir + "\\file.ogg", out));
    EXPECT_EQ(out.size(), 3u);
    EXPECT_FALSE(ReadUrl(dir, out));  // a folder is not a file
    EXPECT_FALSE(ReadUrl(dir + "/missing.ogg", out));
}

// The game's "data\\name" files come from the first data folder that has them; --data
// makes one folder the only one.
TEST(Resources, GameFilesAreFoundInTheDataFolders) {
    const std::vector<std::string> folders = DataFolders();
    ASSERT_GE(folders.size(), 3u);
    EXPECT_EQ(folders.back(), "data");  // the working folder comes last
    EXPECT_NE(folders.front().find("/data"), std::string::npos) << folders.front();
    EXPECT_NE(folders[1].find("share/rc-whirlbat"), std::string::npos) << folders[1];

    std::string dir = test_support::OutputPath("res-data");
    std::string cmd = "mkdir -p " + dir;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ofstream(dir + "/start.ogg") << "abcd";
    ASSERT_TRUE(SetDataFolder(dir));
    EXPECT_EQ(DataFolders(), std::vector<std::string>{dir});
    std::vector<uint8_t> out;
    for (const char* url : {"data\\start.ogg", "data/start.ogg", "Data\\start.ogg"}) {
        EXPECT_TRUE(ReadUrl(url, out)) << url;
        EXPECT_EQ(out.size(), 4u);
        EXPECT_EQ(UrlPath(url), dir + "/start.ogg");
    }
    EXPECT_FALSE(UrlExists("data\\playtrack.ogg"));
    EXPECT_EQ(UrlPath("data\\playtrack.ogg"), dir + "/playtrack.ogg");  // where it was looked for
    EXPECT_EQ(UrlPath("other\\start.ogg"), "other/start.ogg");         // not a game file: as given

    EXPECT_FALSE(SetDataFolder(dir + "/start.ogg"));  // a file is not a folder
    EXPECT_FALSE(SetDataFolder(dir + "/none"));
    EXPECT_EQ(DataFolders(), std::vector<std::string>{dir});
    ASSERT_TRUE(SetDataFolder(""));
    EXPECT_EQ(DataFolders(), folders);
}

}  // namespace

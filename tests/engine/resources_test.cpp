#include "engine/resources.h"

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

}  // namespace

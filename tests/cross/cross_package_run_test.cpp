// The arm64 Debian package: cpack makes it from the arm64 build, its dependencies read
// off the arm64 program and its relay module by dpkg-shlibdeps through multiarch, and
// the game unpacked from it runs headless under qemu from another folder, finding its
// sounds; the relay module in it finds every library it needs on arm64.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support.h"

namespace {

using test_support::OutputPath;

// Runs a shell command; its exit code and everything it printed (both streams).
int run(const std::string& command, std::string* out = nullptr) {
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int status = pclose(p);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CrossPackage, Arm64DebUnpacksAndPlaysUnderQemuFromAnotherFolder) {
    std::string dir = OutputPath("package-arm64");
    std::string out;
    ASSERT_EQ(run("rm -rf '" + dir + "' && '" WHIRLBAT_CPACK "' --config '" WHIRLBAT_CROSS_BUILD_DIR
                  "/CPackConfig.cmake' -B '" + dir + "'",
                  &out),
              0)
        << out;
    std::string deb = dir + "/rc-whirlbat_" WHIRLBAT_VERSION_TEXT "_arm64.deb";
    std::string field;
    ASSERT_EQ(run("dpkg-deb -f '" + deb + "' Architecture", &field), 0) << field << out;
    EXPECT_EQ(field, "arm64\n");
    ASSERT_EQ(run("dpkg-deb -f '" + deb + "' Depends", &field), 0);
    // The relay module's too: Debian's own arm64 libnice, as the x86-64 package has it.
    for (const char* lib : {"libsdl2-2.0-0", "libpng16-16", "libvorbisfile3", "libfreetype6", "libgl1", "libc6",
                            "libnice10", "libglib2.0-0"}) {
        EXPECT_NE(field.find(lib), std::string::npos) << lib << " in " << field;
    }

    std::string root = dir + "/root", elsewhere = dir + "/elsewhere", trace = elsewhere + "/trace.jsonl";
    ASSERT_EQ(run("dpkg-deb -x '" + deb + "' '" + root + "' && mkdir -p '" + elsewhere + "'", &out), 0) << out;
    ASSERT_EQ(run("file '" + root + "/usr/games/rc-whirlbat'", &out), 0);
    EXPECT_NE(out.find("ARM aarch64"), std::string::npos) << out;
    // Under lib/ or lib/aarch64-linux-gnu/, as the build's prefix gives it.
    std::string module;
    ASSERT_EQ(run("find '" + root + "/usr/lib' -path '*/rc-whirlbat/modules/rc-whirlbat-relay.so'", &module), 0);
    ASSERT_FALSE(module.empty()) << "no relay module in the package";
    module.pop_back();
    ASSERT_EQ(run("file '" + module + "'", &out), 0) << out;
    EXPECT_NE(out.find("ARM aarch64"), std::string::npos) << out;
    ASSERT_EQ(run("'" WHIRLBAT_QEMU "' /lib/ld-linux-aarch64.so.1 --list '" + module + "'", &out), 0) << out;
    EXPECT_NE(out.find("libnice.so.10 => /lib/aarch64-linux-gnu/libnice.so.10"), std::string::npos) << out;
    EXPECT_EQ(out.find("not found"), std::string::npos) << out;
    std::string err;
    int code = run("cd '" + elsewhere + "' && SDL_VIDEODRIVER=offscreen '" WHIRLBAT_QEMU "' '" + root +
                       "/usr/games/rc-whirlbat' --headless --seed 4 --frames 400 --trace '" + trace + "' 2>&1 >/dev/null",
                   &err);
    EXPECT_EQ(code, 0) << err;
    EXPECT_EQ(err.find("missing sound"), std::string::npos) << err;
    std::vector<test_support::Json> frames = test_support::ReadTrace(trace);
    ASSERT_EQ(frames.size(), 400u);
    EXPECT_EQ(frames.back()["game_state"].i(), 4);  // past the intro, on the title
}

}  // namespace

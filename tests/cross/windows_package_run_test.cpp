// The Windows packages, made by cpack in the Windows build and tried under Wine in a
// prefix of the test's own: the zip runs from any folder and finds its sounds; the
// installer installs silently (program, sounds, README, licences, an uninstaller), adds a
// Start menu entry and an "Apps & features" entry with the version and publisher; the
// installed game runs headless; and the uninstaller leaves nothing behind, its folder,
// shortcuts and entry all gone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support.h"
#include "x_server.h"

using namespace test_support;
namespace fs = std::filesystem;

namespace {

const std::string kVersion = WHIRLBAT_VERSION_TEXT;
const std::string kStem = "rc-whirlbat-" + kVersion + "-win64";

// ctest runs the cases side by side, each in a process of its own: each process makes
// the packages in a folder of its own (cpack's work folder is one per folder) and tries
// them in a Wine prefix of its own, both removed at its end.
std::string own(const std::string& name) { return OutputPath(name + "-" + std::to_string(getpid())); }
std::string prefix() { return own("wine-package"); }
std::string packages() { return own("windows-packages"); }

// One X server for every step in the prefix: Wine's desktop keeps the display it first
// started with.
XServer* display = nullptr;

int wine(const std::vector<std::string>& args, std::string* err, const std::string& folder = "") {
    std::vector<std::string> all = {prefix()};
    all.insert(all.end(), args.begin(), args.end());
    return RunBinary(WHIRLBAT_WINE_RUN, all, err, {"DISPLAY=" + display->display()}, folder);
}

// Waits for every program in the prefix to end (an uninstaller finishes in a copy of
// itself).
void wine_settle() {
    std::string err;
    RunBinary("/bin/sh", {"-c", "WINEPREFIX='" + prefix() + "' wineserver -w"}, &err);
}

std::string registry_entry() {
    std::string out = OutputPath("package-reg.txt"), err;
    RunBinary("/bin/sh",
              {"-c", "DISPLAY=" + display->display() + " WINEPREFIX='" + prefix() + "' WINEDEBUG=-all wine reg query "
                     "'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RC Whirlbat' > '" + out + "' 2>&1"},
              &err);
    std::ifstream in(out);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class WindowsPackages : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        display = new XServer("1024x768");
        std::string err;
        made_ = RunBinary("/bin/sh",
                          {"-c", std::string("cd '") + WHIRLBAT_WINDOWS_BUILD_DIR + "' && cpack -G 'ZIP;NSIS' -B '" +
                                     packages() + "'"},
                          &err) == 0;
        why_ = err;
        if (display->display().empty()) made_ = false, why_ = "no X server (Xvfb) started";
        if (made_) made_ = wine({}, &why_) == 0;
    }
    static void TearDownTestSuite() {
        std::string err;
        RunBinary("/bin/sh", {"-c", "WINEPREFIX='" + prefix() + "' wineserver -k"}, &err);
        std::error_code ignored;
        fs::remove_all(prefix(), ignored);
        fs::remove(prefix() + ".lock", ignored);
        fs::remove_all(packages(), ignored);
        delete display;
        display = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(made_) << "cpack or the Wine prefix failed: " << why_; }
    static bool made_;
    static std::string why_;
};
bool WindowsPackages::made_ = false;
std::string WindowsPackages::why_;

TEST_F(WindowsPackages, TheZipRunsFromAnyFolderWithItsSounds) {
    std::string zip = packages() + "/" + kStem + ".zip";
    ASSERT_TRUE(fs::exists(zip)) << "cpack made no " << zip;
    fs::path unpacked = OutputPath("windows-zip");
    fs::remove_all(unpacked);
    fs::create_directories(unpacked);
    std::string err;
    ASSERT_EQ(RunBinary("/usr/bin/unzip", {"-q", zip, "-d", unpacked.string()}, &err), 0) << err;
    fs::path game = unpacked / kStem;
    for (const char* f : {"rc-whirlbat.exe", "README.txt", "data/titletrack.ogg", "licences/sdl2.txt",
                          "licences/armalite-font.txt", "licences/enet.txt"}) {
        EXPECT_TRUE(fs::exists(game / f)) << "the zip has no " << f;
    }
    // Started from another folder, it looks for its sounds beside itself.
    std::string trace = OutputPath("windows-zip.jsonl");
    fs::path elsewhere = OutputPath("windows-zip-elsewhere");
    fs::create_directories(elsewhere);
    ASSERT_EQ(wine({(game / "rc-whirlbat.exe").string(), "--headless", "--seed", "5", "--frames", "400",
                            "--trace", trace},
                           &err, elsewhere.string()),
              0)
        << err;
    EXPECT_EQ(err.find("bad or missing sound files"), std::string::npos) << err;
    EXPECT_EQ(ReadTrace(trace).size(), 400u);
}

TEST_F(WindowsPackages, TheInstallerInstallsAndTheUninstallerLeavesNothingBehind) {
    std::string installer = packages() + "/" + kStem + ".exe";
    ASSERT_TRUE(fs::exists(installer)) << "cpack made no " << installer;
    fs::path drive = fs::path(prefix()) / "drive_c";
    fs::path folder = drive / "Program Files" / "RC Whirlbat";
    fs::path menu = drive / "ProgramData/Microsoft/Windows/Start Menu/Programs/RC Whirlbat";
    std::string err;
    ASSERT_EQ(wine({installer, "/S"}, &err), 0) << err;
    wine_settle();
    for (const char* f : {"rc-whirlbat.exe", "Uninstall.exe", "README.txt", "data/playtrack.ogg", "licences/freetype.txt"}) {
        EXPECT_TRUE(fs::exists(folder / f)) << "nothing installed at " << (folder / f).string();
    }
    EXPECT_TRUE(fs::exists(menu / "RC Whirlbat.lnk")) << "no Start menu entry";
    std::string entry = registry_entry();
    EXPECT_NE(entry.find("DisplayVersion    REG_SZ    " + kVersion), std::string::npos) << entry;
    EXPECT_NE(entry.find("Publisher    REG_SZ    The RC Whirlbat developers"), std::string::npos) << entry;
    EXPECT_NE(entry.find("DisplayIcon    REG_SZ    C:\\Program Files\\RC Whirlbat\\rc-whirlbat.exe"), std::string::npos)
        << entry;

    std::string trace = OutputPath("windows-installed.jsonl");
    ASSERT_EQ(wine({"C:\\Program Files\\RC Whirlbat\\rc-whirlbat.exe", "--headless", "--seed", "9", "--frames",
                            "300", "--trace", trace},
                           &err),
              0)
        << err;
    EXPECT_EQ(ReadTrace(trace).size(), 300u);
    EXPECT_EQ(err.find("bad or missing sound files"), std::string::npos) << err;

    ASSERT_EQ(wine({"C:\\Program Files\\RC Whirlbat\\Uninstall.exe", "/S"}, &err), 0) << err;
    wine_settle();
    EXPECT_FALSE(fs::exists(folder)) << "the uninstaller left " << folder.string();
    EXPECT_FALSE(fs::exists(menu)) << "the uninstaller left the Start menu entry";
    EXPECT_NE(registry_entry().find("Unable to find"), std::string::npos) << "the uninstaller left its entry";
}

}  // namespace

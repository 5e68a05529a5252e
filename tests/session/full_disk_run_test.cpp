// The program on a disk that is full: a small tmpfs of its own holds the replays and the
// settings. The recording stops with one line, the game goes on the same, and the
// settings file there is read and left as it was. Mounting needs root (CI runs as
// root); where it is refused the test fails and says why.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "support.h"

namespace fs = std::filesystem;

namespace {

using test_support::OutputPath;
using test_support::RunGame;

std::vector<std::string> lines_of(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream f(path);
    for (std::string line; std::getline(f, line);) {
        size_t ms = line.find(",\"ms\":");  // the clock differs from run to run
        if (ms != std::string::npos) line.erase(ms, line.find_first_not_of("0123456789", ms + 6) - ms);
        lines.push_back(line);
    }
    return lines;
}

class Tmpfs {
public:
    explicit Tmpfs(const std::string& dir) : dir_(dir) {
        fs::create_directories(dir);
        if (mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755") == 0) mounted_ = true;
        else why_ = std::strerror(errno);
    }
    ~Tmpfs() {
        if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }

private:
    std::string dir_, why_;
    bool mounted_ = false;
};

// Fills the folder's disk to the last byte.
void fill(const std::string& folder) {
    std::ofstream out(folder + "/filler", std::ios::binary);
    std::string block(4096, 'x');
    while (out.write(block.data(), std::streamsize(block.size())) && out.flush()) {
    }
    std::ofstream small(folder + "/filler-bytes", std::ios::binary);
    while (small.put('x') && small.flush()) {
    }
}

TEST(FullDisk, TheRecordingStopsWithOneLineAndTheGameGoesOnTheSame) {
    std::string disk = OutputPath("full-disk");
    fs::remove_all(disk);
    Tmpfs tmpfs(disk);
    ASSERT_TRUE(tmpfs.mounted()) << "cannot mount a small tmpfs at " << disk << " (" << tmpfs.why()
                                 << "): this test needs root, as CI has";
    fs::create_directories(disk + "/data/rc-whirlbat/replays");
    fs::create_directories(disk + "/config/rc-whirlbat");
    std::string settings_text = "# mine\nsound_volume = 6\n";
    std::ofstream(disk + "/config/rc-whirlbat/settings.ini") << settings_text;
    fill(disk);
    std::ofstream probe(disk + "/data/probe");
    probe << "x" << std::flush;
    ASSERT_FALSE(probe.good()) << "the disk is not full";
    probe.close();
    fs::remove(disk + "/data/probe");

    std::vector<std::string> game = {"--headless", "--seed", "15", "--script", "tests/golden/scripts/game015.txt",
                                     "--frames", "2271"};
    std::string trace = OutputPath("full-disk.jsonl"), plain = OutputPath("full-disk-plain.jsonl");
    std::vector<std::string> args = game;
    args.insert(args.end(), {"--trace", trace, "--record", disk + "/data/rc-whirlbat/replays/game.wbreplay",
                             "--settings", disk + "/config/rc-whirlbat/settings.ini"});
    std::string err;
    EXPECT_EQ(RunGame(args, &err, {"XDG_DATA_HOME=" + disk + "/data", "XDG_CONFIG_HOME=" + disk + "/config"}), 0)
        << err;
    // One line for each thing that could not be kept: the settings the game changed,
    // and the recording.
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
    EXPECT_NE(err.find("rc-whirlbat: cannot save settings to " + disk +
                       "/config/rc-whirlbat/settings.ini: No space left on device; the settings are not kept\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("rc-whirlbat: the recording of this game stopped: cannot write " + disk +
                       "/data/rc-whirlbat/replays/game.wbreplay.partial (No space left on device); the game goes on "
                       "unrecorded\n"),
              std::string::npos)
        << err;
    // The same game as without a recording, on a disk with room.
    std::string roomy = OutputPath("full-disk-plain-settings.ini");
    std::ofstream(roomy) << settings_text;
    std::vector<std::string> plain_args = game;
    plain_args.insert(plain_args.end(), {"--trace", plain, "--settings", roomy});
    ASSERT_EQ(RunGame(plain_args), 0);
    std::vector<std::string> recorded = lines_of(trace), unrecorded = lines_of(plain);
    ASSERT_GT(recorded.size(), 2000u);
    ASSERT_EQ(recorded.size(), unrecorded.size());
    for (size_t i = 0; i < recorded.size(); ++i) ASSERT_EQ(recorded[i], unrecorded[i]) << "frame " << i + 1;
    // The settings file is as it was (never cut short), and no completed replay claims the game.
    std::ifstream in(disk + "/config/rc-whirlbat/settings.ini");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), settings_text);
    EXPECT_FALSE(fs::exists(disk + "/data/rc-whirlbat/replays/game.wbreplay"));
}

}  // namespace

// Installing and packaging: the files land where a desktop looks for them, and the
// installed or unpacked program finds its sounds from any folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>

#include "platform/pixmap.h"
#include "support.h"

namespace {

using test_support::ReadWhole;
using test_support::OutputPath;

const std::string kAppId = "org.rcwhirlbat.RCWhirlbat";
const int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

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

bool is_file(const std::string& path) { return run("test -f '" + path + "'") == 0; }

// Starts the program headless from a folder without sounds and returns its stderr.
std::string run_elsewhere(const std::string& program, int* code) {
    std::string elsewhere = OutputPath("package-elsewhere");
    std::string err;
    *code = run("mkdir -p '" + elsewhere + "' && cd '" + elsewhere + "' && '" + program +
                    "' --headless --frames 30 2>&1 >/dev/null",
                &err);
    return err;
}

TEST(Install, PutsEveryFileWhereTheDesktopLooks) {
    std::string root = OutputPath("install-root");
    std::string out;
    ASSERT_EQ(run("rm -rf '" + root + "' && '" WHIRLBAT_CMAKE "' --install '" WHIRLBAT_BUILD_DIR "' --prefix '" + root + "'",
                  &out),
              0)
        << out;
    EXPECT_TRUE(is_file(root + "/games/rc-whirlbat"));
    std::string sounds;
    ASSERT_EQ(run("ls '" + root + "/share/rc-whirlbat'", &sounds), 0);
    EXPECT_EQ(std::count(sounds.begin(), sounds.end(), '\n'), 15) << sounds;
    EXPECT_NE(sounds.find("titletrack.ogg"), std::string::npos);
    EXPECT_TRUE(is_file(root + "/share/doc/rc-whirlbat/armalite.LICENSE"));

    // The menu entry: valid, naming the installed program and icon.
    std::string desktop = root + "/share/applications/" + kAppId + ".desktop";
    ASSERT_TRUE(is_file(desktop));
    EXPECT_EQ(run("desktop-file-validate '" + desktop + "'", &out), 0) << out;
    EXPECT_EQ(out, "");
    std::string entry = ReadWhole(desktop);
    EXPECT_NE(entry.find("\nExec=rc-whirlbat\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=rc-whirlbat\n"), std::string::npos) << entry;
    for (int size : kIconSizes) {
        std::string dim = std::to_string(size) + "x" + std::to_string(size);
        Pixmap icon = LoadPixmap(root + "/share/icons/hicolor/" + dim + "/apps/rc-whirlbat.png");
        EXPECT_EQ(icon.width, size) << dim;
        EXPECT_EQ(icon.height, size) << dim;
        ASSERT_EQ(icon.channels, 4) << dim;  // clear corners
        EXPECT_EQ(icon.at(0, 0)[3], 0) << dim;
        EXPECT_EQ(icon.at(size / 2, size / 2)[3], 255) << dim;
    }

    // The software-centre description.
    std::string metainfo = root + "/share/metainfo/" + kAppId + ".metainfo.xml";
    ASSERT_TRUE(is_file(metainfo));
    EXPECT_EQ(run("appstreamcli validate --no-net '" + metainfo + "'", &out), 0) << out;
    EXPECT_NE(ReadWhole(metainfo).find("<launchable type=\"desktop-id\">" + kAppId + ".desktop</launchable>"),
              std::string::npos);

    // The manual page reads without a warning.
    std::string man = root + "/share/man/man6/rc-whirlbat.6.gz";
    ASSERT_TRUE(is_file(man));
    EXPECT_EQ(run("zcat '" + man + "' | groff -man -ww -z -Tutf8", &out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(run("zcat '" + man + "' | groff -man -Tascii -P-cbou | grep -e '--data dir'", &out), 0);

    int code = -1;
    std::string err = run_elsewhere(root + "/games/rc-whirlbat", &code);
    EXPECT_EQ(code, 0) << err;
    EXPECT_EQ(err.find("missing sound"), std::string::npos) << err;
}

TEST(Package, DebNamesItsLibrariesAndRunsUnpackedFromAnyFolder) {
    std::string dir = OutputPath("package");
    std::string out;
    ASSERT_EQ(run("rm -rf '" + dir + "' && '" WHIRLBAT_CPACK "' --config '" WHIRLBAT_BUILD_DIR "/CPackConfig.cmake' -B '" +
                  dir + "'",
                  &out),
              0)
        << out;
    std::string deb;
    ASSERT_EQ(run("ls '" + dir + "'/rc-whirlbat_*.deb", &deb), 0) << out;
    deb = deb.substr(0, deb.find('\n'));

    std::string depends;
    ASSERT_EQ(run("dpkg-deb -f '" + deb + "' Depends", &depends), 0);
    for (const char* lib : {"libsdl2-2.0-0", "libpng16-16", "libvorbisfile3", "libfreetype6", "libgl1", "libc6"}) {
        EXPECT_NE(depends.find(lib), std::string::npos) << lib << " in " << depends;
    }
    std::string files;
    ASSERT_EQ(run("dpkg-deb -c '" + deb + "'", &files), 0);
    for (const std::string& path : std::vector<std::string>{"./usr/games/rc-whirlbat", "./usr/share/rc-whirlbat/start.ogg",
                             "./usr/share/applications/" + kAppId + ".desktop",
                             "./usr/share/metainfo/" + kAppId + ".metainfo.xml",
                             "./usr/share/icons/hicolor/48x48/apps/rc-whirlbat.png",
                             "./usr/share/man/man6/rc-whirlbat.6.gz",
                             "./usr/games/rc-whirlbat-lobby",
                             "./usr/share/man/man6/rc-whirlbat-lobby.6.gz",
                             "./usr/lib/systemd/system/rc-whirlbat-lobby.service",
                             "./usr/lib/rc-whirlbat/modules/rc-whirlbat-relay.so",
                             "./usr/share/doc/rc-whirlbat/copyright"}) {
        EXPECT_NE(files.find(" " + path + "\n"), std::string::npos) << path;
    }

    // A contact in the project's own name, at an address that could be real.
    std::string maintainer;
    ASSERT_EQ(run("dpkg-deb -f '" + deb + "' Maintainer", &maintainer), 0);
    EXPECT_TRUE(std::regex_match(maintainer, std::regex("RC Whirlbat developers <[a-z0-9.-]+@[a-z0-9-]+(\\.[a-z0-9-]+)+>\n")))
        << maintainer;
    for (const char* made_up : {".example", ".invalid", ".test", ".localhost", "noreply"})
        EXPECT_EQ(maintainer.find(made_up), std::string::npos) << maintainer;

    std::string root = dir + "/root";
    ASSERT_EQ(run("dpkg-deb -x '" + deb + "' '" + root + "'", &out), 0) << out;
    // The machine-readable copyright file: every licence a Files paragraph names has its
    // text in a paragraph of its own, the font's SIL Open Font License among them.
    std::string copyright = ReadWhole(root + "/usr/share/doc/rc-whirlbat/copyright");
    EXPECT_EQ(copyright.rfind("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n", 0), 0u)
        << copyright.substr(0, 200);
    EXPECT_NE(copyright.find("\nFiles: assets/armalite.ttf\n"), std::string::npos);
    std::regex named("\nFiles: [^\n]*\n(?:[A-Z][a-z-]+: [^\n]*\n)*?License: ([^\n]+)\n");
    int licences = 0;
    for (std::sregex_iterator it(copyright.begin(), copyright.end(), named), end; it != end; ++it, ++licences) {
        std::string text = "\n\nLicense: " + (*it)[1].str() + "\n ";
        EXPECT_NE(copyright.find(text), std::string::npos) << "no text for the licence " << (*it)[1];
    }
    EXPECT_EQ(licences, 2);
    EXPECT_NE(copyright.find("\n\nLicense: OFL-1.1\n SIL OPEN FONT LICENSE Version 1.1 - 26 February 2007\n"),
              std::string::npos);
    // The meeting server's unit starts the program the package installs, and its manual
    // page reads without a warning.
    std::string unit = ReadWhole(root + "/usr/lib/systemd/system/rc-whirlbat-lobby.service");
    // It takes the relay from its environment file and the relay's secret as a credential.
    EXPECT_NE(unit.find("\nExecStart=/usr/games/rc-whirlbat-lobby --port 7170 --relay \"${RELAY}\" --relay-secret-file "
                        "%d/relay-secret\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("\nLoadCredential=relay-secret:/etc/rc-whirlbat-lobby/relay-secret\n"), std::string::npos) << unit;
    EXPECT_EQ(run("'" + root + "/usr/games/rc-whirlbat-lobby' --help", &out), 0) << out;
    EXPECT_EQ(run("zcat '" + root + "/usr/share/man/man6/rc-whirlbat-lobby.6.gz' | groff -man -ww -z -Tutf8", &out), 0) << out;
    // lintian, Debian's package checker, finds nothing to complain of.
    std::string lint;
    EXPECT_EQ(run("lintian --fail-on error,warning --no-tag-display-limit '" + deb + "'", &lint), 0) << lint;
    int code = -1;
    std::string err = run_elsewhere(root + "/usr/games/rc-whirlbat", &code);
    EXPECT_EQ(code, 0) << err;
    EXPECT_EQ(err.find("missing sound"), std::string::npos) << err;
}

// One licence for everything the project made, MIT, and the font's own: the same in the
// LICENSE file, the package's copyright file, the software centre's description and the
// package itself.
TEST(Licence, MitForOursAndTheFontsOwnEverywhere) {
    std::string licence = ReadWhole(std::string(WHIRLBAT_SOURCE_DIR) + "/LICENSE");
    ASSERT_EQ(licence.rfind("MIT License\n\nCopyright (c) 2026 The RC Whirlbat developers\n", 0), 0u)
        << licence.substr(0, 200);
    EXPECT_NE(licence.find("Permission is hereby granted, free of charge"), std::string::npos);
    EXPECT_NE(licence.find("armalite.LICENSE"), std::string::npos) << "the font's own licence is not named";

    std::string copyright = ReadWhole(std::string(WHIRLBAT_BUILD_DIR) + "/copyright");
    EXPECT_NE(copyright.find("\nFiles: *\nCopyright: 2026 The RC Whirlbat developers\nLicense: MIT\n"),
              std::string::npos) << copyright.substr(0, 800);
    EXPECT_NE(copyright.find("\nFiles: assets/armalite.ttf\n"), std::string::npos);
    // The licence's text as LICENSE has it, line for line.
    size_t from = licence.find("Permission is hereby granted");
    size_t to = licence.find("SOFTWARE.\n", licence.find("DEALINGS IN THE")) + 9;
    std::string text = licence.substr(from, to - from), paragraph = "\n\nLicense: MIT\n ";
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') paragraph += text[i];
        else paragraph += i + 1 < text.size() && text[i + 1] == '\n' ? "\n ." : "\n ";
    }
    EXPECT_NE(copyright.find(paragraph), std::string::npos) << "the copyright file's MIT text is not LICENSE's:\n"
                                                            << paragraph;
    for (const char* gone : {"All rights reserved", "LicenseRef", "not yet chosen"})
        EXPECT_EQ(copyright.find(gone), std::string::npos) << gone;

    std::string metainfo = ReadWhole(std::string(WHIRLBAT_SOURCE_DIR) + "/dist/" + kAppId + ".metainfo.xml");
    EXPECT_NE(metainfo.find("<project_license>MIT AND OFL-1.1</project_license>"), std::string::npos) << metainfo;
}

}  // namespace

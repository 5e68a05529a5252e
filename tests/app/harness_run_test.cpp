// The harness's own outputs and numbers: a trace or screenshot that cannot be written
// is one line and a failing status, a good file is never replaced by a cut one, and a
// number out of range is refused instead of wrapped.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "platform/pixmap.h"
#include "support.h"

namespace {

using test_support::ReadWhole;
using test_support::OutputPath;
using test_support::RunGame;

// Runs the game with files limited to a few kilobytes: writes beyond fail as on a full disk.
int run_with_small_files(const std::vector<std::string>& args, std::string* err) {
    std::vector<std::string> sh = {"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"", WHIRLBAT_BINARY};
    sh.insert(sh.end(), args.begin(), args.end());
    return test_support::RunBinary("/bin/sh", sh, err);
}

TEST(HarnessOutputs, ATraceThatCannotBeWrittenFailsWithOneLine) {
    std::string err;
    EXPECT_EQ(RunGame({"--headless", "--frames", "50", "--trace", "/dev/full"}, &err), 1);
    EXPECT_NE(err.find("cannot write /dev/full: No space left on device"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    // A full disk halfway: the good trace that was there stays whole.
    std::string path = OutputPath("kept-trace.jsonl");
    std::ofstream(path) << "{\"frame\":1}\n";
    EXPECT_EQ(run_with_small_files({"--headless", "--frames", "200", "--trace", path}, &err), 1);
    EXPECT_NE(err.find("cannot write " + path), std::string::npos) << err;
    EXPECT_EQ(ReadWhole(path), "{\"frame\":1}\n");
}

TEST(HarnessOutputs, AScreenshotThatCannotBeWrittenLeavesTheOldPictureAndFails) {
    std::string path = OutputPath("kept-shot.png");
    std::string err;
    ASSERT_EQ(RunGame({"--headless", "--frames", "3", "--shot", "1:" + path}, &err), 0) << err;
    std::string good = ReadWhole(path);
    ASSERT_GT(good.size(), 9000u);
    EXPECT_EQ(run_with_small_files({"--headless", "--frames", "3", "--shot", "2:" + path}, &err), 1);
    EXPECT_NE(err.find("cannot write screenshot " + path), std::string::npos) << err;
    EXPECT_EQ(ReadWhole(path), good);
    EXPECT_EQ(RunGame({"--headless", "--frames", "3", "--shot", "2:/no/such/folder/x.png"}, &err), 1);
    EXPECT_NE(err.find("cannot write screenshot /no/such/folder/x.png"), std::string::npos) << err;
}

TEST(HarnessOutputs, AScreenshotAfterTheLastFrameIsRefusedUpFront) {
    std::string err;
    EXPECT_EQ(RunGame({"--headless", "--shot", "9:" + OutputPath("never.png"), "--frames", "5"}, &err), 2);
    EXPECT_NE(err.find("--shot 9:"), std::string::npos) << err;
    EXPECT_NE(err.find("after the last frame (--frames 5)"), std::string::npos) << err;
}

TEST(HarnessNumbers, NumbersOutOfRangeAreRefusedNotWrapped) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--seed", "4294967303"}, {"--frames", "4294967297"}, {"--frames", "0"},
             {"--shot", "4294967297:x.png"}, {"--seed", "7x"}, {"--sync-test", "601"}}) {
        std::string err;
        args.insert(args.begin(), "--headless");
        EXPECT_EQ(RunGame(args, &err), 2) << args[1] << " " << args[2];
        EXPECT_EQ(err.rfind("rc-whirlbat: " + args[1] + " ", 0), 0u) << err;
        EXPECT_NE(err.find("; see --help\n"), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    std::string err;
    EXPECT_EQ(RunGame({"--headless", "--seed", "-2147483648", "--frames", "1"}, &err), 0) << err;
}

// ---- the command line's help and the manual page ----

// The long options the command line takes, as its reader spells them.
std::set<std::string> options_read() {
    std::string source = ReadWhole(std::string(WHIRLBAT_SOURCE_DIR) + "/app/harness.cpp");
    std::set<std::string> names;
    std::regex compared("arg_? == \"(--[a-z-]+)\"");
    for (std::sregex_iterator it(source.begin(), source.end(), compared), end; it != end; ++it) names.insert((*it)[1]);
    return names;
}

std::string help_text() {
    std::string out = test_support::OutputPath("help.txt");
    std::string err;
    EXPECT_EQ(test_support::RunBinary("/bin/sh", {"-c", "exec \"$0\" --help > \"$1\"", WHIRLBAT_BINARY, out}, &err), 0)
        << err;
    return ReadWhole(out);
}

// The manual page's text with the roff taken out: "\-" as "-", no font changes, and each
// macro line's words kept. Sections by name; a tagged paragraph is "\n.TP TAG\nTEXT".
std::map<std::string, std::string> manual_sections() {
    std::ifstream page(std::string(WHIRLBAT_SOURCE_DIR) + "/dist/rc-whirlbat.6.in");
    std::map<std::string, std::string> sections;
    std::string name, line;
    bool tag = false;
    while (std::getline(page, line)) {
        line = std::regex_replace(line, std::regex(R"(\\f[BIRP])"), "");
        line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
        if (line.rfind(".SH ", 0) == 0) {
            name = line.substr(4);
            continue;
        }
        if (line == ".TP") {
            tag = true;
            continue;
        }
        if (!line.empty() && line[0] == '.') line = line.substr(std::min(line.size(), line.find(' ') + 1));
        sections[name] += tag ? "\n.TP " + line + "\n" : line + " ";
        tag = false;
    }
    return sections;
}

TEST(HarnessHelp, ABadOptionIsOneLineThatNamesItAndPointsToHelp) {
    std::string err;
    EXPECT_EQ(RunGame({"--window", "--fly-upside-down"}, &err), 2);
    EXPECT_EQ(err, "rc-whirlbat: unknown option --fly-upside-down; see --help\n");
    EXPECT_EQ(RunGame({"--trace"}, &err), 2);
    EXPECT_EQ(err, "rc-whirlbat: --trace needs a value; see --help\n");
}

// Every option the command line takes is in the help's synopsis and has a line of its own.
TEST(HarnessHelp, TheHelpShowsEveryOptionTheCommandLineTakes) {
    std::set<std::string> names = options_read();
    ASSERT_GT(names.size(), 20u) << "the options could not be read from app/harness.cpp";
    std::string help = help_text();
    size_t list = help.find("\n  -");
    ASSERT_NE(list, std::string::npos) << help;
    std::string synopsis = help.substr(0, list), lines = help.substr(list);
    for (const std::string& name : names) {
        EXPECT_TRUE(std::regex_search(synopsis, std::regex("[\\[ |]" + name + "[\\] ]"))) << name << " not in\n" << synopsis;
        EXPECT_TRUE(std::regex_search(lines, std::regex("\n  " + name + "[ ,]"))) << name << " has no line of its own";
    }
}

// The manual page describes exactly the options of the help, and the keys, the files
// and the other screens a player meets.
TEST(ManualPage, DescribesEveryOptionOfTheHelpAndNoOther) {
    std::map<std::string, std::string> page = manual_sections();
    std::set<std::string> in_help, in_page;
    std::string help = help_text();
    std::regex option("(^|\n)  ?(--[a-z-]+)");
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it) in_help.insert((*it)[2]);
    // Only the options a paragraph is headed by, not those its text mentions.
    std::string options = page["OPTIONS"];
    std::regex paragraph("\n\\.TP ([^\n]*)"), long_option("--[a-z-]+");
    for (std::sregex_iterator it(options.begin(), options.end(), paragraph), end; it != end; ++it) {
        std::string head = (*it)[1];
        for (std::sregex_iterator o(head.begin(), head.end(), long_option), oe; o != oe; ++o) in_page.insert(o->str());
    }
    ASSERT_GT(in_help.size(), 20u) << help;
    for (const std::string& name : in_help) EXPECT_TRUE(in_page.count(name)) << name << " is not described in the manual page";
    for (const std::string& name : in_page) EXPECT_TRUE(in_help.count(name)) << name << " is in the manual page but not in --help";
    EXPECT_EQ(options_read(), in_help) << "the help and the command line differ";

    std::string controls = page["CONTROLS"];
    for (const char* key : {"W, S; I, K", "F1", "F2", "F3", "F5", "Escape", "Space", "Left Ctrl or Q"})
        EXPECT_NE(controls.find(key), std::string::npos) << key;
    std::string files = page["FILES"];
    for (const char* path : {"rc-whirlbat/settings.ini", "rc-whirlbat/replays", ".local/share/rc-whirlbat/replays"})
        EXPECT_NE(files.find(path), std::string::npos) << path;
    EXPECT_EQ(page["DESCRIPTION"].find("stays on its start pad"), std::string::npos);
}

// Each exit status as the manual page's table gives it: the run ends with the status,
// and the page's paragraph for that status names the case.
TEST(ManualPage, EveryExitStatusIsTheOneThePageGives) {
    std::map<int, std::string> table;
    std::string exits = manual_sections()["EXIT STATUS"];
    std::regex status("\n\\.TP ([0-9])\n([^\n]*)");
    for (std::sregex_iterator it(exits.begin(), exits.end(), status), end; it != end; ++it)
        table[std::stoi((*it)[1])] = (*it)[2];
    ASSERT_EQ(table.size(), 5u) << exits;

    // A port taken by another program: the host cannot listen.
    int taken = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t size = sizeof address;
    ASSERT_EQ(getsockname(taken, reinterpret_cast<sockaddr*>(&address), &size), 0);
    std::string port = std::to_string(ntohs(address.sin_port));
    std::string hangs = test_support::WriteOutput("exit-hangs.txt", "f5 window focus lost\n");

    struct Case {
        std::vector<std::string> args;
        int status;
        const char* named;  // what the page's paragraph for the status must say
    };
    const Case cases[] = {
        {{"--headless", "--frames", "3"}, 0, "--frames"},
        {{"--verify", test_support::SourcePath("tests/replays/game008.wbreplay")}, 0, "--verify"},
        {{"--verify", test_support::OutputPath("no-such.wbreplay")}, 1, "--verify"},
        {{"--headless", "--replay", test_support::OutputPath("no-such.wbreplay")}, 1, "--replay"},
        {{"--headless", "--host", port}, 1, "--host"},
        {{"--headless", "--frames", "50", "--trace", "/dev/full"}, 1, "--trace"},
        {{"--headless", "--frames", "5", "--shot", "2:/no/such/folder/x.png"}, 1, "--shot"},
        {{"--no-such-option"}, 2, "unknown option"},
        {{"--seed", "many"}, 2, "out of its range"},
        {{"--delay"}, 2, "value missing"},
        {{"--host", "--join", "127.0.0.1"}, 2, "cannot go together"},
        {{"--headless", "--data", test_support::OutputPath("no-such-folder")}, 2, "--data"},
        {{"--headless", "--script", test_support::OutputPath("no-such-script.txt")}, 2, "--script"},
        {{"--headless", "--trace", "/no/such/folder/t.jsonl"}, 2, "--trace"},
        {{"--headless", "--script", hangs}, 3, "--script"},
    };
    for (const Case& c : cases) {
        std::string err, line;
        for (const std::string& a : c.args) line += a + " ";
        EXPECT_EQ(RunGame(c.args, &err), c.status) << line << "\n" << err;
        EXPECT_NE(table[c.status].find(c.named), std::string::npos) << "status " << c.status << " (" << line << ") in the page: " << table[c.status];
    }
    close(taken);
    EXPECT_NE(table[4].find("--sync-test"), std::string::npos) << table[4];
}

}  // namespace

namespace {

// A script that is a folder, a device that never ends, or a file past the cap is one
// line and status 2, before the game starts.
TEST(HarnessInputs, AScriptThatIsAFolderEndlessOrHugeIsOneLineAndStatusTwo) {
    std::string folder = test_support::OutputPath("script-folder");
    std::filesystem::create_directories(folder);
    std::string huge = test_support::OutputPath("script-huge.txt");
    {
        std::ofstream out(huge);
        std::string comment(1023, '#');
        for (int i = 0; i < 17 * 1024; ++i) out << comment << '\n';
    }
    for (const std::string& script : {folder, huge, std::string("/dev/zero")}) {
        std::string err;
        int code = test_support::RunGame({"--headless", "--frames", "5", "--script", script}, &err);
        EXPECT_EQ(code, 2) << script << "\n" << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind("rc-whirlbat: cannot read script " + script + ": ", 0), 0u) << err;
    }
    std::remove(huge.c_str());
}

// ---- the README and the pages of docs/ ----

std::set<std::string> long_options(const std::string& text) {
    std::set<std::string> names;
    std::regex option("(^|[\\s\\[|(])(--[a-z][a-z-]*)");
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) names.insert((*it)[2]);
    return names;
}

// What the docs give the game's programs on a command line, or name in a code span: the
// options after "rc-whirlbat" or "rc-whirlbat-lobby" (up to the next && or |), and a code
// span that begins with an option. Other programs' options (cmake, ctest) are theirs.
struct Named {
    std::set<std::string> game, lobby;
};

void options_in(const std::string& piece, Named* named) {
    static const std::regex call("(^|[\\s/])rc-whirlbat(-lobby)?([^&|\n]*)");
    for (std::sregex_iterator it(piece.begin(), piece.end(), call), end; it != end; ++it) {
        std::set<std::string> found = long_options((*it)[3]);
        (*it)[2].matched ? named->lobby.insert(found.begin(), found.end()) : named->game.insert(found.begin(), found.end());
    }
    if (piece.rfind("--", 0) == 0) named->game.insert(piece.substr(0, piece.find_first_of(" =`")));
}

Named options_named(const std::string& page) {
    Named named;
    std::istringstream lines(page);
    std::string prose;  // the text outside command lines, a code span may go over a line's end
    bool fenced = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("```", 0) == 0) {
            fenced = !fenced;
            continue;
        }
        size_t text = line.find_first_not_of(' ');
        if (fenced || line.rfind("    ", 0) == 0) options_in(text == std::string::npos ? "" : line.substr(text), &named);
        else prose += line + " ";
    }
    static const std::regex span("`([^`]+)`");
    for (std::sregex_iterator it(prose.begin(), prose.end(), span), end; it != end; ++it) options_in((*it)[1], &named);
    return named;
}

std::string lobby_help() {
    std::string out = test_support::OutputPath("lobby-help.txt"), err;
    EXPECT_EQ(test_support::RunBinary("/bin/sh", {"-c", "exec \"$0\" --help > \"$1\"", WHIRLBAT_LOBBY_BINARY, out}, &err), 0)
        << err;
    return ReadWhole(out);
}

// Every option the README and docs/*.md give the game or the meeting server is one its
// --help gives, and the pages together name every option of the game's help.
TEST(Docs, NameOnlyOptionsTheHelpGivesAndEveryOneOfThem) {
    std::set<std::string> help = long_options(help_text()), lobby = long_options(lobby_help());
    ASSERT_GT(help.size(), 20u);
    ASSERT_GE(lobby.size(), 3u);
    std::vector<std::string> pages = {"README.md"};
    for (const auto& entry : std::filesystem::directory_iterator(std::string(WHIRLBAT_SOURCE_DIR) + "/docs")) {
        if (entry.path().extension() == ".md") pages.push_back("docs/" + entry.path().filename().string());
    }
    std::set<std::string> all;
    for (const std::string& page : pages) {
        Named named = options_named(ReadWhole(std::string(WHIRLBAT_SOURCE_DIR) + "/" + page));
        for (const std::string& name : named.game) {
            EXPECT_TRUE(help.count(name)) << page << " gives rc-whirlbat " << name << ", which its --help does not know";
        }
        for (const std::string& name : named.lobby) {
            EXPECT_TRUE(lobby.count(name)) << page << " gives rc-whirlbat-lobby " << name << ", which its --help does not know";
        }
        all.insert(named.game.begin(), named.game.end());
    }
    for (const std::string& name : help) {
        if (name != "--help") {
            EXPECT_TRUE(all.count(name)) << name << " is described in no page";
        }
    }
}

// The README is a player's page: the game's picture first, then the two commands that set
// it up and test it, all on its first screen; the rest lives in docs/, one page a subject,
// each linked from it.
TEST(Docs, TheReadmeOpensWithThePictureAndTheTwoCommands) {
    std::string readme = ReadWhole(std::string(WHIRLBAT_SOURCE_DIR) + "/README.md");
    std::istringstream lines(readme);
    std::vector<std::string> first;
    for (std::string line; first.size() < 40 && std::getline(lines, line);) first.push_back(line);
    auto line_of = [&](const std::string& what) {
        for (size_t i = 0; i < first.size(); ++i) {
            if (first[i].find(what) != std::string::npos) return int(i);
        }
        return -1;
    };
    int picture = line_of("](docs/screenshot.png)"), play = line_of("&& ./build/rc-whirlbat"),
        tests = line_of("ctest --test-dir build-tests");
    EXPECT_GE(picture, 0) << "no picture of the game in the README's first 40 lines";
    EXPECT_LE(picture, 4) << "the picture is not the first thing the README shows";
    EXPECT_GT(play, picture) << "the play command is not on the README's first screen, after the picture";
    EXPECT_GT(tests, picture) << "the test command is not on the README's first screen, after the picture";
    EXPECT_LT(readme.size(), 9000u) << "the README is a player's page; the rest goes to docs/";
    for (const char* page : {"docs/playing.md", "docs/online.md", "docs/developing.md"}) {
        EXPECT_NE(readme.find(std::string("](") + page + ")"), std::string::npos) << "the README does not link " << page;
        EXPECT_FALSE(ReadWhole(std::string(WHIRLBAT_SOURCE_DIR) + "/" + page).empty()) << page;
    }
    Pixmap shot = LoadPixmap(std::string(WHIRLBAT_SOURCE_DIR) + "/docs/screenshot.png");
    EXPECT_EQ(shot.width, 640);
    EXPECT_EQ(shot.height, 480);
    std::string metainfo = ReadWhole(std::string(WHIRLBAT_SOURCE_DIR) + "/dist/org.rcwhirlbat.RCWhirlbat.metainfo.xml");
    EXPECT_TRUE(std::regex_search(metainfo, std::regex("<screenshot type=\"default\">[\\s\\S]*<image[^>]*>https://[^<]*/docs/screenshot\\.png</image>")))
        << "the software centre's description shows no screenshot";
}

}  // namespace

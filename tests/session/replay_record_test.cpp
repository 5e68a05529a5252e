// Recording games as they are played: each game from "Start Game" to the title, written
// as it goes and completed by a rename, the newest fifty kept, and a disk that will not
// take it costing one line and nothing of the game.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "session/replay_check.h"
#include "session/replay_record.h"
#include "sim/snapshot.h"
#include "game_fixture.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

std::string fresh_folder(const std::string& name) {
    std::string folder = test_support::OutputPath(name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Recording : public GameTest {
protected:
    std::unique_ptr<Recorder> rec;
    uint32_t presented = 400;
    long steps_seen = 0;

    // Frames as the program runs them: the recorder hears each step with its input.
    void run(int n = 1) {
        for (int i = 0; i < n; ++i) {
            FrameInput use = g.after == AfterPresent::round_start ? FrameInput{} : in;
            step(w, g, use, out);
            if (rec) rec->after_step(w, g, use, out.ended, presented++);
            ++steps_seen;
            in.clicks = in.esc = in.space = 0;
            for (const FrameEvent& e : out.events.list) {
                if (e.kind == FrameEvent::Kind::warp_pointer) in.mouse_x = e.x, in.mouse_y = e.y;
            }
        }
    }
    // From the title: "Start Game", some flying, then pause and "Quit This Game".
    void short_game(int flying = 300) {
        run();
        click_at(320, 245);
        run();
        ASSERT_EQ(g.game_state, GameState::play);
        stick(0, AXIS_Y, -1);
        stick(1, AXIS_X, 1);
        run(flying);
        stick(0, AXIS_Y, 0);
        stick(1, AXIS_X, 0);
        esc();
        run();
        ASSERT_EQ(g.game_state, GameState::pause);
        click_at(320, 410);
        run();
        ASSERT_EQ(g.game_state, GameState::title);
    }
    // Waits for the writing thread to have put a file's first `frames` frames on disk.
    static Replay wait_for(const std::string& path, long frames) {
        Replay r;
        for (int tries = 0; tries < 2000; ++tries) {
            std::string error;
            if (load_replay(path, r, &error) && r.frames >= frames) return r;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ADD_FAILURE() << path << " never got " << frames << " frames";
        return r;
    }
};

TEST_F(Recording, AGameIsRecordedFromStartGameToTheTitle) {
    std::string folder = fresh_folder("rec-game");
    rec = std::make_unique<Recorder>(RecorderOptions{"", true, folder, 5, ""});
    run(10);
    EXPECT_FALSE(rec->recording());
    Snapshot title;
    title.save(w, g);
    click_at(320, 245);
    run();
    ASSERT_TRUE(rec->recording());
    std::vector<std::string> names = names_in(folder);
    ASSERT_EQ(names.size(), 1u);
    ASSERT_EQ(names[0].substr(names[0].size() - 17), ".wbreplay.partial");
    stick(0, AXIS_Y, -1);
    run(250);
    // Written as the game goes: the partial file already plays its first four seconds.
    Replay partial = wait_for(folder + "/" + names[0], 240);
    EXPECT_FALSE(partial.finished);
    EXPECT_EQ(check_replay(partial).trusted, 240);
    stick(0, AXIS_Y, 0);
    esc();
    run();
    click_at(320, 410);
    run();
    ASSERT_EQ(g.game_state, GameState::title);
    EXPECT_FALSE(rec->recording());
    names = names_in(folder);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].substr(names[0].size() - 9), ".wbreplay");
    EXPECT_EQ(rec->last_file(), folder + "/" + names[0]);

    Replay r;
    std::string error;
    ASSERT_TRUE(load_replay(rec->last_file(), r, &error)) << error;
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.end, ReplayEnd::title);
    EXPECT_EQ(r.frames, 253);
    EXPECT_EQ(r.header.start_frame, 410u);
    EXPECT_EQ(r.header.seed, 5);
    EXPECT_EQ(r.header.game_version, game_version());
    EXPECT_EQ(r.header.pilots, "Blue: pad 1; Red: pad 2");
    // It starts from the title frame with the click, and ends with the game's state.
    EXPECT_EQ(state_hash(r.header.world, r.header.game), state_hash(title.world, title.game));
    ReplayCursor cursor(r);
    FrameInput first;
    ASSERT_TRUE(cursor.next(first));
    EXPECT_EQ(first.clicks, 1);
    ReplayCheck c = check_replay(r);
    EXPECT_TRUE(c.ok) << c.problem;
    EXPECT_EQ(c.final_hash, state_hash(w, g));

    // The next game is a file of its own.
    short_game();
    EXPECT_EQ(names_in(folder).size(), 2u);
    EXPECT_NE(rec->last_file(), folder + "/" + names[0]);
}

TEST_F(Recording, TheProgramsEndEndsTheGamesRecording) {
    std::string folder = fresh_folder("rec-end");
    rec = std::make_unique<Recorder>(RecorderOptions{"", true, folder, 5, "Blue: computer; Red: keyboard"});
    run();
    click_at(320, 245);
    run(100);
    rec->program_end(w, g);
    Replay r;
    std::string error;
    ASSERT_TRUE(load_replay(rec->last_file(), r, &error)) << error;
    EXPECT_EQ(r.end, ReplayEnd::program_end);
    EXPECT_EQ(r.header.pilots, "Blue: computer; Red: keyboard");
    EXPECT_TRUE(check_replay(r).ok);
    // The window closed during a game: the frame that ends the loop ends the recording.
    esc();
    run();
    click_at(320, 410);
    run();
    ASSERT_EQ(g.game_state, GameState::title);
    click_at(320, 245);
    run(30);
    in.quit = true;
    run();
    ASSERT_TRUE(out.ended);
    EXPECT_FALSE(rec->recording());
    ASSERT_TRUE(load_replay(rec->last_file(), r, &error)) << error;
    EXPECT_EQ(r.end, ReplayEnd::program_end);
    EXPECT_EQ(r.frames, 31);
    EXPECT_TRUE(check_replay(r).ok);
}

TEST_F(Recording, RecordToAFileTakesTheNextGameOnly) {
    std::string folder = fresh_folder("rec-next");
    std::string file = folder + "/chosen.wbreplay";
    rec = std::make_unique<Recorder>(RecorderOptions{file, false, folder + "/kept", 1, ""});
    short_game();
    EXPECT_EQ(rec->last_file(), file);
    EXPECT_TRUE(fs::exists(file));
    short_game();
    EXPECT_EQ(names_in(folder), std::vector<std::string>{"chosen.wbreplay"});
    Replay r;
    std::string error;
    ASSERT_TRUE(load_replay(file, r, &error)) << error;
    EXPECT_TRUE(check_replay(r).ok);
    // Kept in the folder as well, the games after it go there.
    rec = std::make_unique<Recorder>(RecorderOptions{file, true, folder + "/kept", 1, ""});
    short_game();
    short_game();
    EXPECT_EQ(names_in(folder + "/kept").size(), 1u);
}

TEST_F(Recording, TheNewestFiftyAreKept) {
    std::string folder = fresh_folder("rec-keep");
    for (int i = 0; i < 58; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/2001-01-01_00-%02d-00.wbreplay%s", i, i == 30 ? ".partial" : "");
        std::ofstream(folder + name) << "x";
    }
    std::ofstream(folder + "/notes.txt") << "mine";
    rec = std::make_unique<Recorder>(RecorderOptions{"", true, folder, 1, ""});
    short_game();
    std::vector<std::string> names = names_in(folder);
    ASSERT_EQ(names.size(), 51u);
    EXPECT_EQ(names.front(), "2001-01-01_00-09-00.wbreplay");
    EXPECT_EQ(names.back(), "notes.txt");
    EXPECT_EQ(newest_replay(folder), rec->last_file());
    EXPECT_TRUE(fs::exists(folder + "/2001-01-01_00-30-00.wbreplay.partial"));
}

TEST_F(Recording, AFolderThatCannotBeMadeCostsOneLineAndNothingOfTheGame) {
    std::string folder = fresh_folder("rec-blocked");
    std::ofstream(folder + "/file") << "not a folder";
    Snapshot start;
    start.save(w, g);
    testing::internal::CaptureStderr();
    rec = std::make_unique<Recorder>(RecorderOptions{"", true, folder + "/file/replays", 1, ""});
    short_game();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("this game is not recorded: cannot make the folder"), std::string::npos) << err;
    EXPECT_EQ(rec->last_file(), "");
    // The same game without a recorder.
    uint64_t recorded_game = state_hash(w, g);
    rec.reset();
    start.restore(w, g);
    in = FrameInput{};
    in.pad_count = 2;
    in.mouse_x = 320;
    in.mouse_y = 245;
    short_game();
    EXPECT_EQ(state_hash(w, g), recorded_game);

    testing::internal::CaptureStderr();
    rec = std::make_unique<Recorder>(RecorderOptions{folder + "/file/x.wbreplay", false, "", 1, ""});
    short_game();
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("this game is not recorded: cannot write " + folder + "/file/x.wbreplay.partial (Not a directory)"),
              std::string::npos)
        << err;
}

// A disk that fills up during the game: the file may grow to 2 KB and no further.
void play_on_a_full_disk(const std::string& folder) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 2048;
    setrlimit(RLIMIT_FSIZE, &limit);
    World w = new_world(3);
    Game g = new_game_state(2);
    Recorder rec(RecorderOptions{"", true, folder, 3, ""});
    FrameInput in;
    in.pad_count = 2;
    in.mouse_x = 320;
    in.mouse_y = 245;
    FrameResult out;
    uint32_t presented = 0;
    bool recorded = false;
    for (int k = 0; k < 6000; ++k) {
        in.clicks = k == 5 || (g.game_state == GameState::title && k % 100 == 0);
        in.port[0].axis[AXIS_Y] = k % 200 < 60 ? -1.0f : 0.0f;
        FrameInput use = g.after == AfterPresent::round_start ? FrameInput{} : in;
        step(w, g, use, out);
        rec.after_step(w, g, use, out.ended, presented++);
        recorded |= rec.recording();
        // Slow enough for the writes to fail while the game still runs.
        if (k % 60 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // The game went on after the recording stopped; what reached the disk still plays.
    Replay r;
    std::string error;
    bool readable = load_replay(newest_replay(folder), r, &error) && r.frames > 0 && check_replay(r).trusted == r.frames;
    std::exit(recorded && !rec.recording() && g.game_state != GameState::intro && readable ? 0 : 1);
}

TEST(RecordingDeathTest, ADiskThatFillsUpStopsTheRecordingWithOneLine) {
    std::string folder = fresh_folder("rec-full");
    EXPECT_EXIT(play_on_a_full_disk(folder), testing::ExitedWithCode(0),
                "^rc-whirlbat: the recording of this game stopped: cannot write [^\n]*\\.partial \\(File too large\\); "
                "the game goes on unrecorded\n$");
}

}  // namespace

namespace {

// Games started at once by several programs, in the same second and the same folder,
// each get a file of their own: names are taken by creating them, never by looking.
TEST_F(Recording, ProgramsStartingGamesTogetherNeverShareAFile) {
    // A race: several rounds, so that a loss shows.
    constexpr int kPrograms = 16;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string folder = fresh_folder("rec-together-" + std::to_string(round));
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        std::vector<pid_t> children;
        for (int i = 0; i < kPrograms; ++i) {
            pid_t pid = fork();
            if (pid == 0) {
                close(go[1]);
                char c;
                if (read(go[0], &c, 1) != 0) _exit(3);  // all start when the pipe closes
                rec = std::make_unique<Recorder>(RecorderOptions{"", true, folder, i + 1, ""});
                short_game(120);
                _exit(testing::Test::HasFailure() ? 1 : 0);
            }
            children.push_back(pid);
        }
        close(go[0]);
        // Within one second, so that all want the same name.
        auto now = std::chrono::system_clock::now().time_since_epoch();
        auto into = now - std::chrono::duration_cast<std::chrono::seconds>(now);
        if (into > std::chrono::milliseconds(500)) std::this_thread::sleep_for(std::chrono::seconds(1) - into);
        close(go[1]);
        for (pid_t pid : children) {
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        std::vector<std::string> names = names_in(folder);
        ASSERT_EQ(names.size(), size_t(kPrograms));
        std::set<int> seeds;
        for (const std::string& name : names) {
            Replay r;
            std::string why;
            ASSERT_TRUE(load_replay(folder + "/" + name, r, &why)) << name << ": " << why;
            EXPECT_TRUE(check_replay(r).ok) << name;
            seeds.insert(r.header.seed);
        }
        EXPECT_EQ(seeds.size(), size_t(kPrograms));  // each program's own game
    }
}

}  // namespace

namespace {

// What a crash leaves: a .partial that plays up to its last whole second becomes a
// replay of its own, one that cannot be played is removed, and one a running program
// still writes is left alone.
TEST_F(Recording, PartialsACrashLeftAreRecoveredOrRemovedWithALineEach) {
    std::string folder = fresh_folder("rec-recover");
    // A game cut off after 200 frames, as by kill -9: three whole seconds on disk.
    {
        rec = std::make_unique<Recorder>(RecorderOptions{"", true, folder, 7, ""});
        run();
        click_at(320, 245);
        run();
        stick(0, AXIS_Y, -1);
        run(200);
        ASSERT_TRUE(rec->recording());
        wait_for(rec->last_file() + ".partial", 180);
    }
    std::string crashed = names_in(folder).at(0);
    ASSERT_NE(crashed.find(".partial"), std::string::npos);
    Replay original;
    std::string why;
    ASSERT_TRUE(load_replay(folder + "/" + crashed, original, &why)) << why;
    // The recorder above is still "running": its file is not taken.
    std::vector<std::string> said;
    auto say = [&](const std::string& line) { said.push_back(line); };
    recover_partials(folder, say);
    EXPECT_TRUE(said.empty());
    rec.reset();  // the program dies, its file as it was
    std::ofstream(folder + "/2001-01-01_00-00-00.wbreplay.partial") << "not a replay at all";
    std::ofstream(folder + "/2001-01-01_00-00-01.wbreplay.partial", std::ios::binary)
        << std::string(reinterpret_cast<const char*>(replay_bytes(original.header, {}, ReplayEnd::title).data()), 40);
    std::vector<FrameInput> inputs;
    ReplayCursor cursor(original);
    for (FrameInput f; cursor.next(f);) inputs.push_back(f);
    std::vector<uint8_t> whole = replay_bytes(original.header, inputs, ReplayEnd::title);
    // Its end block cut short, after the last whole second.
    size_t cut = whole.size() - 5;
    std::ofstream(folder + "/2002-02-02_10-00-00.wbreplay.partial", std::ios::binary)
        .write(reinterpret_cast<const char*>(whole.data()), std::streamsize(cut));
    said.clear();
    recover_partials(folder, say);
    ASSERT_EQ(said.size(), 4u);
    EXPECT_EQ(said[0].rfind("removed " + folder + "/2001-01-01_00-00-00.wbreplay.partial: ", 0), 0u) << said[0];
    EXPECT_EQ(said[1].rfind("removed " + folder + "/2001-01-01_00-00-01.wbreplay.partial: ", 0), 0u) << said[1];
    EXPECT_EQ(said[2], "a game left unfinished was recovered as " + folder +
                           "/2002-02-02_10-00-00-recovered.wbreplay (3 s)");
    std::string stem = crashed.substr(0, crashed.size() - std::string(".wbreplay.partial").size());
    EXPECT_EQ(said[3], "a game left unfinished was recovered as " + folder + "/" + stem + "-recovered.wbreplay (3 s)");
    EXPECT_EQ(names_in(folder),
              (std::vector<std::string>{"2002-02-02_10-00-00-recovered.wbreplay", stem + "-recovered.wbreplay"}));
    Replay recovered;
    ASSERT_TRUE(load_replay(folder + "/2002-02-02_10-00-00-recovered.wbreplay", recovered, &why)) << why;
    EXPECT_TRUE(recovered.finished);
    EXPECT_EQ(recovered.end, ReplayEnd::program_end);
    EXPECT_EQ(recovered.frames, 180);
    ReplayCheck check = check_replay(recovered);
    EXPECT_TRUE(check.ok) << check.problem;
    ASSERT_EQ(recovered.hashes.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(recovered.hashes[i], original.hashes[i]);
}

}  // namespace

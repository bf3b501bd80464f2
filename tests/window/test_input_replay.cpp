// Keys sent by xdotool to the real game: taps reach the scripts, a recorded
// run plays back frame for frame, signals end the game like a window close.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "Input/ReplayRecorder.h"
#include "support/GameProcess.h"
#include "support/TestSupport.h"

namespace {

using Args = std::vector<std::string>;

// Per frame: frame, time step, pressed/triggered/released of A and B.
const char* const kFrameLog =
    "local log, frame = io.open('frames.txt', 'w'), 0\n"
    "function OnLevelUpdate(dt)\n"
    "  frame = frame + 1\n"
    "  log:write(string.format('%d %.17g %d%d%d %d%d%d\\n', frame, getdt(), IsKeyPressed(65),\n"
    "    IsKeyTriggered(65), IsKeyReleased(65), IsKeyPressed(66), IsKeyTriggered(66),\n"
    "    IsKeyReleased(66))); log:flush()\n"
    "end\n";

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(TestSupport::ReadFile(path));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The key columns of a frame line ("110 000").
std::string Keys(const std::string& line) {
    return line.substr(line.size() - 7);
}

}  // namespace

TEST(InputReplay, TapsRecordedRunsPlaybackAndSignals) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    TestSupport::TempDir dir;
    TestSupport::MakeGameFolder(dir, kFrameLog);
    TestSupport::WriteFirstLevel(dir);
    dir.Write("Resources/Lua/Globals/EndOfLevel.lua",
              "local f = io.open('ended.txt', 'a'); f:write('ended\\n'); f:close()\n");
    const std::string frames = dir.Path() + "/frames.txt";
    {
        // Recorded: a tap of A, then B held down when Ctrl+C ends the game.
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), true, {},
                                      {{"TAZZLE_RECORD", "run.rpl"}});
        ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
        EXPECT_EQ(TestSupport::Shell("xdotool search --sync --name '^Tazzle$' windowactivate "
                                     "--sync sleep 0.3 key a sleep 0.3 keydown b sleep 0.3"),
                  0);
        game.Signal(SIGINT);
        EXPECT_EQ(game.Wait(30.0), 0) << game.Output();
        TestSupport::Shell("xdotool keyup b");
    }
    const std::vector<std::string> recorded = Lines(frames);
    ASSERT_GT(recorded.size(), 2u);
    EXPECT_EQ(Keys(recorded.back()), "000 100");
    // The tap is pressed and triggered in one frame and released in a later
    // one: the next when press and release came in one event poll (the unit
    // tests make sure of that case), else after frames that hold it.
    // Only A's columns: on a slow machine B may go down in the same frame.
    auto a = [](const std::string& line) { return Keys(line).substr(0, 3); };
    auto tap = std::find_if(recorded.begin(), recorded.end(),
                            [&](const std::string& line) { return a(line) == "110"; });
    ASSERT_LT(tap + 1, recorded.end());
    auto after = tap + 1;
    while (after + 1 < recorded.end() && a(*after) == "100") ++after;
    EXPECT_EQ(a(*after), "001");
    EXPECT_EQ(std::filesystem::file_size(dir.Path() + "/run.rpl"), 1072 * recorded.size());

    // Played back, the scripts see the same keys and time steps frame for
    // frame; at the end of the file one line, B is let go, input is live.
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), true, Args{"run.rpl"});
    for (int i = 0; i < 600 && Lines(frames).size() <= recorded.size() + 1; ++i) game.Wait(0.05);
    game.Signal(SIGTERM);
    EXPECT_EQ(game.Wait(30.0), 0) << game.Output();
    EXPECT_NE(game.Output().find("Replay file run.rpl ended; input is live again\n"),
              std::string::npos);
    const std::vector<std::string> played = Lines(frames);
    ASSERT_GT(played.size(), recorded.size());
    EXPECT_EQ(std::vector<std::string>(played.begin(), played.begin() + recorded.size()), recorded);
    EXPECT_EQ(Keys(played[recorded.size()]), "000 001");
    EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/ended.txt"), "ended\nended\n");
}

namespace {

// A game folder that logs its frames as kFrameLog does.
void MakeLoggingGame(const TestSupport::TempDir& dir) {
    TestSupport::MakeGameFolder(dir, kFrameLog);
    TestSupport::WriteFirstLevel(dir);
}

// Waits until the game has logged `count` frames, then ends it with SIGTERM;
// whether it ran that far and exited cleanly.
bool RunFramesThenStop(TestSupport::GameProcess& game, const std::string& frames, size_t count) {
    bool ran = TestSupport::WaitWhileRunning([&] { return Lines(frames).size() >= count; }, game,
                                             60.0);
    game.Signal(SIGTERM);
    return game.Wait(30.0) == 0 && ran;
}

double Step(const std::string& line) {
    return std::stod(line.substr(line.find(' ') + 1));
}

}  // namespace

// Steps out of bounds in a file are bounded as measured ones are, with one
// line; files that are no regular files are refused at once, never waited on.
TEST(InputReplay, OddReplayFilesEndInALineAndAGameThatRuns) {
    TestSupport::TempDir dir;
    MakeLoggingGame(dir);
    const std::string frames = dir.Path() + "/frames.txt";
    {
        std::string bytes;
        for (double step : {1e30, -1e6, std::nan(""), 0.02}) {
            std::string frame(ReplayRecorder::kFrameBytes, '\0');
            std::memcpy(frame.data(), &step, sizeof(step));
            bytes += frame;
        }
        dir.Write("bad.rpl", bytes);
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), true, Args{"bad.rpl"});
        EXPECT_TRUE(RunFramesThenStop(game, frames, 6)) << game.Output();
        const std::vector<std::string> played = Lines(frames);
        ASSERT_GE(played.size(), 4u);
        EXPECT_EQ(Step(played[0]), double(1.0f / 30.0f));
        EXPECT_EQ(Step(played[1]), 0.0);
        EXPECT_EQ(Step(played[2]), 0.0);
        EXPECT_EQ(Step(played[3]), double(0.02f));
        const std::string output = game.Output();
        EXPECT_NE(output.find("Replay file bad.rpl holds a time step of 1e+30; read as 0.0333333\n"),
                  std::string::npos)
            << output;
        EXPECT_EQ(output.find("holds a time step"), output.rfind("holds a time step"));
    }
    ASSERT_EQ(TestSupport::Shell("mkfifo '" + dir.Path() + "/play.rpl'"), 0);
    std::filesystem::create_directory(dir.Path() + "/folder.rpl");
    // Played back from, then recorded into: each refused in one line.
    const std::vector<std::pair<std::string, bool>> refused{
        {"play.rpl", false}, {"folder.rpl", false}, {"play.rpl", true}, {"/dev/full", true}};
    for (const auto& [file, recording] : refused) {
        std::filesystem::remove(frames);
        TestSupport::GameProcess game(
            TAZZLE_BINARY, dir.Path(), true, recording ? Args{} : Args{file},
            recording ? std::map<std::string, std::string>{{"TAZZLE_RECORD", file}}
                      : std::map<std::string, std::string>{});
        EXPECT_TRUE(RunFramesThenStop(game, frames, 3)) << game.Output();
        EXPECT_NE(game.Output().find("Could not open replay file " + file + "; " +
                                     (recording ? "not recording" : "running live") + "\n"),
                  std::string::npos)
            << game.Output();
    }
}

// However the game ends (here killed outright, as by a crash or the
// watchdog), the recording holds whole frames, one at least for every frame
// the level updated, and plays back as the game ran.
TEST(InputReplay, AKilledGamesRecordingKeepsEveryFrame) {
    TestSupport::TempDir dir;
    MakeLoggingGame(dir);
    const std::string frames = dir.Path() + "/frames.txt";
    std::vector<std::string> recorded;
    {
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), true, {},
                                      {{"TAZZLE_RECORD", "run.rpl"}});
        ASSERT_TRUE(TestSupport::WaitWhileRunning([&] { return Lines(frames).size() >= 30; },
                                                  game, 60.0))
            << game.Output();
        game.Signal(SIGKILL);
        game.Wait(30.0);
        EXPECT_EQ(game.TermSignal(), SIGKILL);
        recorded = Lines(frames);
    }
    const size_t bytes = std::filesystem::file_size(dir.Path() + "/run.rpl");
    EXPECT_EQ(bytes % ReplayRecorder::kFrameBytes, 0u) << bytes;
    EXPECT_GE(bytes / ReplayRecorder::kFrameBytes, recorded.size());
    EXPECT_LE(bytes / ReplayRecorder::kFrameBytes, recorded.size() + 1);
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), true, Args{"run.rpl"});
    EXPECT_TRUE(RunFramesThenStop(game, frames, recorded.size() + 2)) << game.Output();
    const std::vector<std::string> played = Lines(frames);
    ASSERT_GE(played.size(), recorded.size());
    EXPECT_EQ(std::vector<std::string>(played.begin(), played.begin() + recorded.size()), recorded);
}

// A recording that meets a full disk (here a file-size limit) says so once,
// stops, and the game goes on.
TEST(InputReplay, ARecordingThatCannotBeWrittenSaysSoOnce) {
    TestSupport::TempDir dir;
    MakeLoggingGame(dir);
    const std::string frames = dir.Path() + "/frames.txt";
    const std::string line = "Could not write replay file run.rpl: File too large; recording stopped\n";
    // 64 KiB: the recording meets the limit after about 60 frames, the frame
    // log only after about 2000.
    TestSupport::GameProcess game("/bin/sh", dir.Path(), true,
                                  Args{"-c", "trap '' XFSZ; ulimit -f 128; exec \"$0\"",
                                       TAZZLE_BINARY},
                                  {{"TAZZLE_RECORD", "run.rpl"}});
    size_t failedAt = 0;
    ASSERT_TRUE(TestSupport::WaitWhileRunning(
        [&] {
            failedAt = Lines(frames).size();
            return game.Output().find(line) != std::string::npos;
        },
        game, 60.0))
        << game.Output();
    EXPECT_TRUE(RunFramesThenStop(game, frames, failedAt + 20)) << game.Output();
    const std::string output = game.Output();
    EXPECT_EQ(output.find("Could not write"), output.rfind("Could not write")) << output;
    EXPECT_LE(std::filesystem::file_size(dir.Path() + "/run.rpl"), 64u * 1024u);
}

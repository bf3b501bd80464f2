// Keys sent by an X test tool to the real game under a window manager: taps
// reach the scripts, a recorded run plays back frame for frame, and the
// signals of a terminal end the game as closing its window does.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <vector>

#include "support/GameProcess.h"
#include "support/TestSupport.h"

namespace {

using Args = std::vector<std::string>;

// Logs what the scripts see of the keys A and B and of the time step in
// every frame; Q ends the game.
const char* const kFrameLog =
    "local log = io.open('frames.txt', 'w')\n"
    "local frame = 0\n"
    "function OnLevelUpdate(dt)\n"
    "  frame = frame + 1\n"
    "  log:write(string.format('%d %.17g %d%d%d %d%d%d\\n', frame, getdt(),\n"
    "    IsKeyPressed(65), IsKeyTriggered(65), IsKeyReleased(65),\n"
    "    IsKeyPressed(66), IsKeyTriggered(66), IsKeyReleased(66)))\n"
    "  log:flush()\n"
    "  if IsKeyTriggered(81) == 1 then ExecuteConsoleCommand('level QUIT_GAME') end\n"
    "end\n";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The key columns of a frame line ("110 000"), without frame number and step.
std::string Keys(const std::string& line) {
    return line.substr(line.size() - 7);
}

int Key(const std::string& keys) {
    return TestSupport::Shell(
        "xdotool search --sync --name '^Tazzle$' windowactivate --sync "
        ">/dev/null 2>&1; xdotool " +
        keys);
}

void StartGameFolder(const TestSupport::TempDir& dir) {
    TestSupport::MakeGameFolder(dir, kFrameLog);
    dir.Write("Resources/Lua/Globals/EndOfLevel.lua",
              "local f = io.open('ended.txt', 'a'); f:write('ended\\n'); f:close()\n");
    TestSupport::WriteFirstLevel(dir);
}

}  // namespace

TEST(InputReplay, TapsReachScriptsAndARecordedRunPlaysBackFrameForFrame) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    TestSupport::TempDir dir;
    StartGameFolder(dir);
    const std::string replay = dir.Path() + "/run.rpl";
    {
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), Args{},
                                      {{"TAZZLE_RECORD", replay}});
        ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
        EXPECT_EQ(game.Wait(0.5), -1);
        EXPECT_EQ(Key("key a"), 0);
        EXPECT_EQ(game.Wait(0.3), -1);
        EXPECT_EQ(Key("keydown b sleep 0.3 keyup b"), 0);
        EXPECT_EQ(game.Wait(0.3), -1);
        EXPECT_EQ(Key("key q"), 0);
        ASSERT_EQ(game.Wait(30.0), 0) << game.Output();
    }
    const std::string recorded = TestSupport::ReadFile(dir.Path() + "/frames.txt");
    const std::vector<std::string> lines = Lines(recorded);
    ASSERT_GT(lines.size(), 10u);

    // The tap: pressed and triggered in one frame, released in the next.
    size_t tap = 0;
    while (tap < lines.size() && Keys(lines[tap]) != "110 000") ++tap;
    ASSERT_LT(tap + 1, lines.size()) << recorded;
    EXPECT_EQ(Keys(lines[tap + 1]), "001 000");
    // The held key: triggered once, held over several frames, released once.
    size_t down = 0;
    while (down < lines.size() && Keys(lines[down]) != "000 110") ++down;
    ASSERT_LT(down + 2, lines.size()) << recorded;
    EXPECT_EQ(Keys(lines[down + 1]), "000 100");
    EXPECT_NE(recorded.find("000 001"), std::string::npos);

    const uintmax_t bytes = std::filesystem::file_size(replay);
    EXPECT_EQ(bytes % 1072, 0u);
    EXPECT_EQ(bytes / 1072, lines.size());

    // Playback: the same key states and time steps in every frame, and Q
    // from the file ends the game at the same frame.
    std::filesystem::rename(dir.Path() + "/frames.txt", dir.Path() + "/recorded.txt");
    {
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), Args{"run.rpl"});
        ASSERT_EQ(game.Wait(60.0), 0)
            << game.Output() << TestSupport::ReadFile(dir.Path() + "/frames.txt");
    }
    EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/frames.txt"), recorded);

    // A replay cut short: one line at its end, then the game runs live until
    // it is told to stop.
    std::filesystem::resize_file(replay, 1072 * (tap + 1));
    {
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), Args{"run.rpl"});
        ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
        EXPECT_EQ(game.Wait(1.0), -1);
        game.Signal(SIGTERM);
        EXPECT_EQ(game.Wait(30.0), 0) << game.Output();
        EXPECT_NE(game.Output().find("Replay file run.rpl ended; input is live again\n"),
                  std::string::npos)
            << game.Output();
    }
    const std::vector<std::string> cut = Lines(TestSupport::ReadFile(dir.Path() + "/frames.txt"));
    ASSERT_GT(cut.size(), tap + 2);
    EXPECT_EQ(Keys(cut[tap]), "110 000");
    // The key the file held is let go when live input takes over.
    EXPECT_EQ(Keys(cut[tap + 1]), "001 000");
    EXPECT_EQ(Keys(cut.back()), "000 000");
}

TEST(InputReplay, UnopenableReplaysRunLiveAndSignalsEndTheLevel) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    struct Case {
        int signal;
        Args args;
        std::string message;
    };
    const Case cases[] = {
        {SIGINT, Args{"none.rpl"}, "Could not open replay file none.rpl; running live\n"},
        {SIGTERM, Args{}, "Could not open replay file /nonexistent/x.rpl; not recording\n"},
    };
    for (const Case& c : cases) {
        TestSupport::TempDir dir;
        StartGameFolder(dir);
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), c.args,
                                      {{"TAZZLE_RECORD", "/nonexistent/x.rpl"}});
        ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
        EXPECT_EQ(Key("key a"), 0);
        EXPECT_EQ(game.Wait(0.5), -1);
        game.Signal(c.signal);
        EXPECT_EQ(game.Wait(30.0), 0) << game.Output();
        EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/ended.txt"), "ended\n");
        EXPECT_NE(game.Output().find(c.message), std::string::npos) << game.Output();
        // Live: the tap was seen, and time moved.
        const std::string frames = TestSupport::ReadFile(dir.Path() + "/frames.txt");
        EXPECT_NE(frames.find(" 110 000\n"), std::string::npos) << frames;
        const std::vector<std::string> lines = Lines(frames);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().find(" 0 "), std::string::npos) << lines.back();
    }
}

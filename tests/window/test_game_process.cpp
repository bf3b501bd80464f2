// The real executable, started in a directory with its own small Resources
// tree, under the test display.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Signals.h"
#include "support/GameProcess.h"
#include "support/TestSupport.h"

namespace {

// The end script adds a line to ended.txt, then runs `endOfLevelTail`.
void WriteScripts(const TestSupport::TempDir& dir, const std::string& startOfLevel,
                  const std::string& endOfLevelTail = "") {
    dir.Write("Resources/Lua/Globals/LuaGlobals.lua", "print('globals')\n");
    dir.Write("Resources/Lua/Globals/StartOfLevel.lua", startOfLevel);
    TestSupport::WriteFirstLevel(dir);
    dir.Write(
        "Resources/Lua/Globals/EndOfLevel.lua",
        "local f = io.open('ended.txt', 'a'); f:write('ended\\n'); f:close()\n" + endOfLevelTail);
}

// How often `part` occurs in `text`.
size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

}  // namespace

// Also when the end script asks for another level: the quit stands.
TEST(GameProcess, ClosingTheWindowEndsTheLevelAndExitsCleanly) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    TestSupport::TempDir dir;
    WriteScripts(dir, "print('level started')\n",
                 "ExecuteConsoleCommand('level GenericTileLevel 00_Menu_Splash.tmx')\n");
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
    // Frames run until the window is asked to close.
    EXPECT_EQ(game.Wait(0.5), -1);
    // wmctrl asks the window manager, which sends WM_DELETE_WINDOW.
    EXPECT_EQ(TestSupport::Shell("wmctrl -c Tazzle"), 0);
    EXPECT_EQ(game.Wait(30.0), 0);
    const std::string ended = TestSupport::ReadFile(dir.Path() + "/ended.txt");
    EXPECT_EQ(std::count(ended.begin(), ended.end(), '\n'), 1);
    std::string output = game.Output();
    EXPECT_NE(output.find("globals"), std::string::npos);
    EXPECT_NE(output.find("level started"), std::string::npos);
}

TEST(GameProcess, AScriptCanQuitThroughTheConsole) {
    TestSupport::TempDir dir;
    WriteScripts(dir,
                 "starts = (starts or 0) + 1\n"
                 "if starts < 3 then ExecuteConsoleCommand('reload')\n"
                 "else ExecuteConsoleCommand('level QUIT_GAME') end\n");
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
    EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/ended.txt"), "ended\nended\nended\n");
}

namespace {

// The child of the start script (the game, once the script has become it)
// that runs under that name (the X server "Xvfb", a stand-in's "sleep"), or 0.
pid_t ChildOf(pid_t script, const std::string& name) {
    const std::string found = TestSupport::ReadFile("/proc/" + std::to_string(script) + "/task/" +
                                                    std::to_string(script) + "/children");
    for (size_t at = 0; at < found.size();) {
        const size_t end = found.find(' ', at);
        const std::string pid = found.substr(at, end - at);
        if (TestSupport::ReadFile("/proc/" + pid + "/comm") == name + "\n") return std::stoi(pid);
        at = end == std::string::npos ? end : end + 1;
    }
    return 0;
}

// Puts an executable script of that name in dir/bin; the environment that
// finds it first on PATH.
std::map<std::string, std::string> StandIn(const TestSupport::TempDir& dir, const std::string& name,
                                           const std::string& text) {
    dir.Write("bin/" + name, text);
    std::filesystem::permissions(dir.Path() + "/bin/" + name, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    return {{"PATH", dir.Path() + "/bin:" + std::getenv("PATH")}};
}

// What follows a process's name in its stat line ("S 1 2 ..."), or "" when
// it is gone or only waits to be reaped.
std::string LiveStat(const std::string& process) {
    const std::string stat = TestSupport::ReadFile(process + "/stat");
    const size_t state = stat.rfind(") ");
    if (state == std::string::npos || stat[state + 2] == 'Z') return "";
    return stat.substr(state + 2);
}

// Whether a process of that group runs (one that only waits to be reaped,
// say a command's child that the hangup ended after its shell, is gone).
bool LivesInGroup(pid_t group) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = LiveStat(entry.path().string());
        int processGroup = 0;
        if (std::sscanf(stat.c_str(), "%*c %*d %d", &processGroup) == 1 && processGroup == group) {
            return true;
        }
    }
    return false;
}

// Whether the process is gone (or only waits to be reaped) within 10 s.
bool Ends(pid_t pid) {
    for (int i = 0; i < 200; ++i) {
        if (LiveStat("/proc/" + std::to_string(pid)).empty()) return true;
        usleep(50000);
    }
    return false;
}

// The value of a variable in the process's environment; "" when unset.
std::string EnvironmentOf(pid_t pid, const std::string& name) {
    const std::string all = TestSupport::ReadFile("/proc/" + std::to_string(pid) + "/environ");
    const std::string key = name + "=";
    for (size_t at = 0; at < all.size();) {
        const size_t end = all.find('\0', at);
        const std::string entry = all.substr(at, end - at);
        if (entry.rfind(key, 0) == 0) return entry.substr(key.size());
        at = end == std::string::npos ? end : end + 1;
    }
    return "";
}

// Whether a client (xdotool) opens the display with that cookie file, as
// this user or, where the tests run as root, as another.
bool ClientConnects(const std::string& display, const std::string& cookie, bool asOther = false) {
    return TestSupport::Shell(std::string(asOther ? "setpriv --reuid=65534 --regid=65534 "
                                                    "--clear-groups "
                                                  : "") +
                              "env DISPLAY=" + display + " XAUTHORITY=" + cookie +
                              " xdotool getdisplaygeometry >/dev/null 2>&1") == 0;
}

}  // namespace

// `make run`'s job ended from a terminal: Ctrl+C, `kill` and the hangup
// reach the whole process group, and make hands SIGTERM on to its child
// too. Once its display is up the start script is the game, which ends its
// level and exits as on its own, each signal reaching it when sent; the X
// server ends after it, in every ending, and nobody but the game's user
// with its cookie can use it. A signal before the game runs ends the start
// with 128 + its number, silently. A lost display ends the level too. No
// file is left in TMPDIR, however it ends.
TEST(GameProcess, MakeRunsJobEndsTheLevelHoweverTheTerminalEndsIt) {
    struct Case {
        const char* what;
        int signal = 0;
        bool toGroup = false, toScript = false, withDisplay = false;
        int code = 0;   // the script's exit status: the game's; -1 for a signal's end
        int ended = 0;  // runs of the end script
        const char* endTail = "";
        const char* line = nullptr;  // a line the output holds
        // When the signals are sent: once the level runs; as soon as the X
        // server runs, before it takes clients; as soon as the script has
        // become the game, before or after its handlers are in place (the
        // game then ends by the signal before any level, or takes the quit);
        // while the server's cookie file exists.
        enum { kPlaying, kServerStarting, kGameStarting, kCookieMade } when = kPlaying;
        // A program of the start replaced on PATH by one that only sleeps:
        // a server that never gives its display, a slow step before it.
        const char* standIn = nullptr;
        double again = 0;                // seconds after which the group gets the signal again
        size_t saveBytes = 0;            // the size of save.txt, which the end tail writes
        const char* linkedAs = nullptr;  // the game run through a link of that name
        int againSignal = 0;             // the signal sent again, when not the first
        // A signal to the X server: with the first, or in place of the
        // second when `again` is set. The game then names its display.
        int serverSignal = 0;
        double resume = 0;  // seconds after which SIGCONT follows the second signal
        // The level changes (its start script makes that many objects, with
        // no frame between, and asks for a reload), and `ready` is written by
        // the end script, so that the quit comes while the change ends the
        // level. The start script notes each run in started.txt; -1: no change.
        int changeAfterObjects = -1;
    };
    // The README's save, after a command, say making its folder.
    const char* const saveAfterACommand =
        "os.execute('sleep 3') local f = io.open('save.txt', 'w') for i = 1, 20000 do "
        "f:write(string.rep('x', 99), '\\n') end f:close()";
    const char* const saveAfterAPipe =
        "local p = io.popen('sleep 3') p:read('*a') p:close() local f = io.open('save.txt', 'w') "
        "for i = 1, 20000 do f:write(string.rep('x', 99), '\\n') end f:close()";
    // Drawing first, as a level's end may.
    const char* const drawThenSave =
        "DrawBox(0, 0, 10, 10, 255, 0, 0) DrawLine(0, 0, 5, 5, 0, 255, 0) DrawText(0, 0, 'bye') "
        "os.execute('sleep 1') DrawBox(0, 0, 10, 10, 255, 0, 0) DrawText(0, 0, 'bye') "
        "local f = io.open('save.txt', 'w') for i = 1, 20000 do "
        "f:write(string.rep('x', 99), '\\n') end f:close()";
    // The end script ends the X server itself, waits until it is gone, and
    // switches to fullscreen once or twice before its save.
    const std::string killServer =
        "os.execute('s=$(pgrep -x -P $PPID Xvfb) && kill -KILL $s && while [ -e /proc/$s ] && "
        "! grep -q \"^State:.Z\" /proc/$s/status; do sleep 0.01; done') ";
    const std::string save =
        " local f = io.open('save.txt', 'w') for i = 1, 20000 do f:write(string.rep('x', 99), "
        "'\\n') end f:close()";
    // After a command that ignores Ctrl+C.
    const std::string saveAfterStubborn2 = "os.execute(\"trap '' INT; sleep 2\")" + save;
    const std::string saveAfterStubborn6 = "os.execute(\"trap '' INT; sleep 6\")" + save;
    // The change's end, for the quit to come in.
    const std::string readyThenWait = "io.open('ready', 'w'):close() SleepGame(3000)" + save;
    const std::string readyThenEnd = "io.open('ready', 'w'):close()" + save +
                                     " os.execute('(sleep 0.1; kill -TERM $PPID) &')";
    const std::string fullscreenOnce = killServer + "ExecuteConsoleCommand('fullscreen')" + save;
    const std::string fullscreenTwice =
        killServer + "ExecuteConsoleCommand('fullscreen') ExecuteConsoleCommand('fullscreen')" + save;
    const Case cases[] = {
        {"Ctrl+C", SIGINT, true, false, false, 0, 1},
        {"kill %1", SIGTERM, true, true, false, 0, 1},
        {"the terminal closed", SIGHUP, true, false, false, 0, 1},
        {"make alone killed", SIGTERM, false, true, false, 0, 1},
        {"kill %1 with a display", SIGTERM, true, true, true, 0, 1},
        {"make alone killed, the game's name with blanks", SIGTERM, false, true, false, 0, 1, "",
         nullptr, Case::kPlaying, nullptr, 0, 0, "the game, véritable édition"},
        {"the watchdog", SIGTERM, true, true, false, 128 + SIGTERM, 1,
         "string.find(string.rep('a', 60), string.rep('a*', 60) .. 'b')",
         "within 5 seconds of taking the quit: its level's end or its shutdown went on"},
        // The C library's system() ignores it in the game; the command gets it.
        {"a second Ctrl+C while the level's end waits in os.execute", SIGINT, true, false, false, 0,
         1, saveAfterACommand, nullptr, Case::kPlaying, nullptr, 1.5, 2000000},
        // A closed terminal is nobody asking for the end now.
        {"Ctrl+C, then the terminal closed while the level's end waits in os.execute", SIGINT, true,
         false, false, 0, 1, saveAfterACommand, nullptr, Case::kPlaying, nullptr, 1.5, 2000000,
         nullptr, SIGHUP},
        {"Ctrl+C, then the terminal closed while the level's end waits in io.popen", SIGINT, true,
         false, false, 0, 1, saveAfterAPipe, nullptr, Case::kPlaying, nullptr, 1.5, 2000000,
         nullptr, SIGHUP},
        {"the X server ended", 0, false, false, false, 1, 1, drawThenSave, nullptr, Case::kPlaying,
         nullptr, 0, 2000000, nullptr, 0, SIGTERM},
        {"the X server killed", 0, false, false, false, 1, 1, drawThenSave, nullptr, Case::kPlaying,
         nullptr, 0, 2000000, nullptr, 0, SIGKILL},
        // An SSH session with X forwarding dropped.
        {"the X server killed with the hangup", SIGHUP, true, false, false, 1, 1, drawThenSave,
         nullptr, Case::kPlaying, nullptr, 0, 2000000, nullptr, 0, SIGKILL},
        {"Ctrl+C, then the X server killed while the level's end runs", SIGINT, true, false, false,
         1, 1, drawThenSave, nullptr, Case::kPlaying, nullptr, 0.5, 2000000, nullptr, 0, SIGKILL},
        // No signal: the level's Quit. Each found the server gone in
        // fullscreen's first request and crashed.
        {"Quit, the X server gone, then fullscreen", 0, false, false, false, 1, 1,
         fullscreenOnce.c_str(), nullptr, Case::kPlaying, nullptr, 0, 2000000},
        {"Ctrl+C, the X server gone, then fullscreen twice", SIGINT, true, false, false, 1, 1,
         fullscreenTwice.c_str(), nullptr, Case::kPlaying, nullptr, 0, 2000000},
        // The time the job was stopped is not the watchdog's: its 5 s start
        // again at the resume, wherever the stop fell in the count (the end
        // waits 2 s for a command that ignores Ctrl+C, then saves).
        {"Ctrl+C, then the job stopped for 6 s while the level's end waits in os.execute", SIGINT,
         true, false, false, 0, 1, saveAfterACommand, nullptr, Case::kPlaying, nullptr, 1.0,
         2000000, nullptr, SIGSTOP, 0, 6.0},
        {"Ctrl+C, stopped, resumed just before the deadline", SIGINT, true, false, false, 0, 1,
         saveAfterStubborn2.c_str(), nullptr, Case::kPlaying, nullptr, 0.5, 2000000, nullptr,
         SIGSTOP, 0, 4.1},
        {"kill %1, stopped, resumed just after the deadline", SIGTERM, true, true, false, 0, 1,
         saveAfterStubborn2.c_str(), nullptr, Case::kPlaying, nullptr, 0.5, 2000000, nullptr,
         SIGSTOP, 0, 4.8},
        // Too short for the watchdog's own steps to tell: the resume does.
        {"Ctrl+C, stopped a fifth of a second over the deadline", SIGINT, true, false, false, 0, 1,
         saveAfterStubborn6.c_str(), nullptr, Case::kPlaying, nullptr, 4.95, 2000000, nullptr,
         SIGSTOP, 0, 0.2},
        // Still running 4 s after the resume, then ended.
        {"Ctrl+C, stopped, resumed after the deadline, an end that outlives the watchdog", SIGINT,
         true, false, false, 128 + SIGINT, 1,
         "string.find(string.rep('a', 60), string.rep('a*', 60) .. 'b')",
         "within 5 seconds of taking the quit", Case::kPlaying, nullptr, 0.5, 0, nullptr, SIGSTOP,
         0, 5.0},
        {"kill -KILL %1", SIGKILL, true, false, false, -1, 0},
        // The quit while a level change ends the old level: waiting there,
        // looping, or deleting many objects once its script has ended (the
        // command it starts sends the signal).
        {.what = "Ctrl+C while a level change's end waits", .signal = SIGINT, .toGroup = true,
         .ended = 1, .endTail = readyThenWait.c_str(), .saveBytes = 2000000,
         .changeAfterObjects = 0},
        {.what = "kill %1 while a level change's end waits", .signal = SIGTERM, .toGroup = true,
         .toScript = true, .ended = 1, .endTail = readyThenWait.c_str(), .saveBytes = 2000000,
         .changeAfterObjects = 0},
        {.what = "the terminal closed while a level change's end waits", .signal = SIGHUP,
         .toGroup = true, .ended = 1, .endTail = readyThenWait.c_str(), .saveBytes = 2000000,
         .changeAfterObjects = 0},
        {.what = "the X server killed while a level change's end waits", .code = 1, .ended = 1,
         .endTail = readyThenWait.c_str(), .saveBytes = 2000000, .serverSignal = SIGKILL,
         .changeAfterObjects = 0},
        {.what = "Ctrl+C while a level change's end loops", .signal = SIGINT, .toGroup = true,
         .ended = 1, .endTail = "io.open('ready', 'w'):close() while true do end",
         .line = "Globals/EndOfLevel.lua:2: interrupted\n", .changeAfterObjects = 0},
        {.what = "kill while a level change deletes 150,000 objects", .ended = 1,
         .endTail = readyThenEnd.c_str(), .saveBytes = 2000000, .changeAfterObjects = 150000},
        {"Ctrl+C as the server starts", SIGINT, true, false, false, 128 + SIGINT, 0, "", nullptr,
         Case::kServerStarting, "Xvfb"},
        {"the terminal closed as the server starts", SIGHUP, true, false, false, 128 + SIGHUP, 0,
         "", nullptr, Case::kServerStarting, "Xvfb"},
        {"kill %1 as the server starts", SIGTERM, true, true, false, 128 + SIGTERM, 0, "", nullptr,
         Case::kServerStarting, "Xvfb"},
        {"Ctrl+C in a slow step before the server", SIGINT, true, false, false, 128 + SIGINT, 0, "",
         nullptr, Case::kServerStarting, "setpriv"},
        {"Ctrl+C as the game starts", SIGINT, true, false, false, 0, 1, "", nullptr,
         Case::kGameStarting},
        // The server ends by its death signal with the script or the game.
        {"kill -KILL %1 as the server starts", SIGKILL, true, false, false, -1, 0, "", nullptr,
         Case::kServerStarting},
        // The server has a display but no client yet.
        {"kill -KILL %1 as the game starts", SIGKILL, true, false, false, -1, 0, "", nullptr,
         Case::kGameStarting},
        // The file is made out of the job's reach, and unlinked before the
        // server runs; a stand-in stat, which checks it, holds it there a while.
        {"Ctrl+C while the cookie is made", SIGINT, true, false, false, 128 + SIGINT, 0, "",
         nullptr, Case::kCookieMade, "stat"},
        {"kill -KILL %1 while the cookie is made", SIGKILL, true, false, false, -1, 0, "", nullptr,
         Case::kCookieMade, "stat"},
    };
    const std::string gameName = std::filesystem::path(TAZZLE_BINARY).filename().string();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestSupport::TempDir dir;
        WriteScripts(dir,
                     c.changeAfterObjects < 0
                         ? TestSupport::kReadyThenQuitOnRequest
                         : "local f = io.open('started.txt', 'a') f:write('started\\n') f:close()\n"
                           "for i = 1, " + std::to_string(c.changeAfterObjects) +
                               " do LuaObject:new() end\nExecuteConsoleCommand('reload')\n",
                     c.endTail);
        const std::string binary = c.linkedAs ? dir.Path() + "/" + c.linkedAs : TAZZLE_BINARY;
        if (c.linkedAs) std::filesystem::create_symlink(TAZZLE_BINARY, binary);
        auto env = !c.standIn ? std::map<std::string, std::string>{}
                   : c.when == Case::kCookieMade
                       ? StandIn(dir, c.standIn, "#!/bin/sh\nsleep 0.1\nexec /usr/bin/stat \"$@\"\n")
                       : StandIn(dir, c.standIn, "#!/bin/sh\nexec sleep 60\n");
        const std::string tmp = dir.Path() + "/tmp";
        std::filesystem::create_directory(tmp);
        env["TMPDIR"] = tmp;
        TestSupport::GameProcess game(
            "/usr/bin/setsid", dir.Path(), c.withDisplay,
            {"bash", std::string(TAZZLE_SOURCE_DIR) + "/scripts/run-game.sh", binary}, env);
        const std::string comm = "/proc/" + std::to_string(game.Pid()) + "/comm";
        pid_t server = 0;
        std::string display;
        if (c.when == Case::kPlaying) {
            ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ready", game, 60.0))
                << game.Output();
            server = ChildOf(game.Pid(), "Xvfb");
            display = EnvironmentOf(game.Pid(), "DISPLAY");
            if (server) {
                const std::string cookie = EnvironmentOf(game.Pid(), "XAUTHORITY");
                EXPECT_TRUE(ClientConnects(display, cookie));
                EXPECT_FALSE(ClientConnects(display, "/dev/null"));
                if (geteuid() == 0) {
                    EXPECT_FALSE(ClientConnects(display, cookie, true));
                }
            }
        } else {
            const std::string awaited = c.when == Case::kCookieMade ? "bash"
                                        : c.standIn                 ? "sleep"
                                                                    : "Xvfb";
            auto reached = [&] {
                switch (c.when) {
                    case Case::kGameStarting:
                        return TestSupport::ReadFile(comm) == gameName + "\n";
                    case Case::kCookieMade:
                        return !std::filesystem::is_empty(tmp);
                    default:
                        return ChildOf(game.Pid(), awaited) != 0;
                }
            };
            for (int i = 0; i < 30000 && game.Running() && !reached(); ++i) usleep(500);
            server = ChildOf(game.Pid(), awaited);
            ASSERT_NE(server, 0) << game.Output();
        }
        EXPECT_EQ(server != 0, !c.withDisplay);
        if (c.toGroup) kill(-game.Pid(), c.signal);
        if (c.toScript) kill(game.Pid(), c.signal);
        if (c.serverSignal && c.again == 0) kill(server, c.serverSignal);
        if (c.signal == 0 && c.serverSignal == 0) dir.Write("quit", "");
        if (c.again > 0) {
            EXPECT_EQ(game.Wait(c.again), -1);
            if (c.serverSignal) {
                kill(server, c.serverSignal);
            } else {
                kill(-game.Pid(), c.againSignal ? c.againSignal : c.signal);
            }
        }
        if (c.resume > 0) {
            EXPECT_EQ(game.Wait(c.resume), -1);
            kill(-game.Pid(), SIGCONT);
            if (c.code > 128) {
                EXPECT_EQ(game.Wait(kQuitSignalGraceSeconds - 1.0), -1);
            }
        }
        // Before the game, within a second.
        const int code =
            game.Wait(c.when == Case::kServerStarting || c.when == Case::kCookieMade ? 2.0 : 30.0);
        const std::string ended = TestSupport::ReadFile(dir.Path() + "/ended.txt");
        const std::string output = game.Output();
        if (c.when == Case::kGameStarting && game.TermSignal() == c.signal) {
            EXPECT_EQ(ended, "");  // ended by the signal before its handlers
        } else {
            EXPECT_EQ(code, c.code) << output;
            EXPECT_EQ(std::count(ended.begin(), ended.end(), '\n'), c.ended) << output;
        }
        if (c.saveBytes) {
            EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/save.txt").size(), c.saveBytes);
        }
        // No script of the next level ran, not even cut at its first line.
        if (c.changeAfterObjects >= 0) {
            EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/started.txt"), "started\n") << output;
            EXPECT_EQ(Occurrences(output, "interrupted"), c.line ? 1u : 0u) << output;
        }
        // Nothing of the game is left, nor of the start.
        if (c.code == -1) {
            EXPECT_EQ(game.TermSignal(), c.signal);
        }
        EXPECT_FALSE(LivesInGroup(game.Pid()));
        EXPECT_EQ(output.find("X connection"), std::string::npos) << output;
        EXPECT_EQ(output.find("could not start"), std::string::npos) << output;
        if (c.line) {
            EXPECT_NE(output.find(c.line), std::string::npos) << output;
        }
        // Once, where the display was lost.
        const std::string lost = "Lost the display " + display + ": its X server ended";
        EXPECT_EQ(Occurrences(output, lost), c.code == 1 ? 1u : 0u) << output;
        if (server && !Ends(server)) {
            ADD_FAILURE() << "the X server was left running";
            kill(server, SIGKILL);
        }
        EXPECT_TRUE(std::filesystem::is_empty(tmp));
        kill(-game.Pid(), SIGKILL);
    }
}

// `make run` with TMPDIR a folder another user can rename files in (its
// own, mode 1777, as a folder without the sticky bit would allow too): that
// user puts a file of its own, empty or with a cookie it knows, in place
// of each new file there, keeping it under a second name as well; a slow
// stat holds the start until it has. Each such start refuses in one line,
// with no server, and leaves that user's file where it was put, as it does
// when mktemp names a file of theirs that is there already. In /tmp
// (root's, 1777) the game starts, and its display refuses that user with
// no cookie and with whatever the folder's files hold.
TEST(GameProcess, MakeRunsCookieCannotBeSwappedByAnotherUser) {
    if (geteuid() != 0) GTEST_SKIP() << "another user is needed";
    char folder[] = "/tmp/tazzle-swap-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    ASSERT_EQ(chown(folder, 65534, 65534), 0);
    ASSERT_EQ(chmod(folder, 01777), 0);
    const std::string cookie =
        std::string("\xff\xff\0\0\0\0\0\x12MIT-MAGIC-COOKIE-1\0\x10", 28) + std::string(16, 'A');
    const std::string placed = std::string(folder) + "/placed";
    const pid_t other = fork();
    if (other == 0) {
        const int watch = inotify_init();
        if (setgid(65534) != 0 || setuid(65534) != 0 ||
            inotify_add_watch(watch, folder, IN_CREATE) < 0) {
            _exit(1);
        }
        // Made once the folder is watched: the attacked starts wait for it.
        std::ofstream(placed, std::ios::binary) << cookie;
        alignas(inotify_event) char events[4096];
        for (int n = 0;;) {
            const ssize_t got = read(watch, events, sizeof events);
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                at += ssize_t(sizeof(inotify_event) + event->len);
                if (std::strncmp(event->name, "tazzle-cookie.", 14) != 0) continue;
                const std::string mine = std::string(folder) + "/mine" + std::to_string(++n);
                std::ofstream(mine, std::ios::binary) << (n % 2 ? cookie : "");
                link(mine.c_str(), (std::string(folder) + "/kept" + std::to_string(n)).c_str());
                rename(mine.c_str(), (std::string(folder) + "/" + event->name).c_str());
            }
        }
    }
    for (int i = 0; i < 500 && !std::filesystem::exists(placed); ++i) usleep(10000);
    // Start 0 is given `placed` by mktemp; 1 and 2 have their files swapped
    // (kept1 holds the cookie, kept2 nothing).
    for (int start = -1; start < 3; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        TestSupport::TempDir dir;
        WriteScripts(dir, TestSupport::kReadyThenQuitOnRequest);
        auto env = StandIn(dir, "stat", "#!/bin/sh\nsleep 0.3\nexec /usr/bin/stat \"$@\"\n");
        // mktemp names that user's file; its second call, which asks only why
        // the name failed, makes no file (one there would be swapped too).
        if (start == 0) {
            StandIn(dir, "mktemp",
                    "#!/bin/sh\nif [ \"$1\" = -u ]; then echo " + placed +
                        "; else exec /usr/bin/mktemp -u \"$@\"; fi\n");
        }
        env["TMPDIR"] = start < 0 ? "/tmp" : folder;
        TestSupport::GameProcess game(
            "/bin/bash", dir.Path(), false,
            {std::string(TAZZLE_SOURCE_DIR) + "/scripts/run-game.sh", TAZZLE_BINARY}, env);
        if (start >= 0) {
            EXPECT_EQ(game.Wait(5.0), 1);
            EXPECT_EQ(
                game.Output(),
                "Xvfb could not start a display for the game: The X server's cookie " +
                    (start == 0 ? std::string("could not be made: another file took its name\n")
                                : "was not kept to this user in " + std::string(folder) +
                                      " (its file was replaced or changed meanwhile): set "
                                      "TMPDIR to a folder only you can change\n"));
            EXPECT_NE(TestSupport::Shell("grep -qsFxz TMPDIR=" + std::string(folder) +
                                         " /proc/[0-9]*/environ"),
                      0)
                << "a process of the start was left";
            EXPECT_EQ(waitpid(other, nullptr, WNOHANG), 0) << "the other user gave up";
            // That user's file is left as it was put: at the name mktemp gave,
            // or at the cookie's, linked as kept<n> too.
            const std::string theirs =
                start == 0 ? placed : std::string(folder) + "/kept" + std::to_string(start);
            struct stat file {};
            EXPECT_EQ(stat(theirs.c_str(), &file), 0);
            EXPECT_EQ(file.st_uid, 65534u);
            EXPECT_EQ(file.st_nlink, start == 0 ? 1u : 2u);
            EXPECT_EQ(TestSupport::ReadFile(theirs), start == 2 ? "" : cookie);
            continue;
        }
        EXPECT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ready", game, 60.0))
            << game.Output();
        const std::string display = EnvironmentOf(game.Pid(), "DISPLAY");
        EXPECT_FALSE(ClientConnects(display, "/dev/null", true));
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            EXPECT_FALSE(ClientConnects(display, entry.path().string(), true)) << entry.path();
        }
        dir.Write("quit", "");
        EXPECT_EQ(game.Wait(30.0), 0) << game.Output();
    }
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
    std::filesystem::remove_all(folder);
}

// Standard output that blocks (a terminal stopped with Ctrl+S, `| less`
// left unscrolled, a FIFO held open and not read): the game waits in its
// write, as any program does, and the watchdog still ends it on time,
// without its line.
TEST(GameProcess, AnOutputThatBlocksHoldsNotTheEnd) {
    TestSupport::TempDir dir;
    WriteScripts(dir, "io.write(string.rep('x', 200000))\n");
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), true, {}, {}, ends[1]);
    close(ends[1]);
    // Until the pipe is full: the game waits in its write.
    int queued = 0;
    ASSERT_TRUE(TestSupport::WaitWhileRunning(
        [&] { return ioctl(ends[0], FIONREAD, &queued) == 0 && queued >= 60000; }, game, 60.0));
    game.Signal(SIGTERM);
    EXPECT_EQ(game.Wait(kQuitSignalGraceSeconds + 1.0), 128 + SIGTERM);
    close(ends[0]);
}

// Output to a pipe whose reader has gone (a `tee` or `head` ended with the
// job): the game plays on, and its quit runs the level's end to the last
// line. The commands it runs start with SIGPIPE's default action, as from a
// shell: the signal's bit is not in their set of ignored ones.
TEST(GameProcess, OutputWithoutAReaderEndsNothing) {
    TestSupport::TempDir dir;
    WriteScripts(
        dir, TestSupport::kReadyThenQuitOnRequest,
        "for i = 1, 100 do print('saving', i) end\n"
        "os.execute('grep SigIgn /proc/self/status > executed.txt')\n"
        "local p = io.popen('grep SigIgn /proc/self/status') local s = p:read('*a') p:close()\n"
        "local f = io.open('opened.txt', 'w') f:write(s) f:close()\n");
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), true, {}, {}, pipeEnds[1]);
    close(pipeEnds[1]);
    ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ready", game, 60.0))
        << "ended by signal " << game.TermSignal();
    game.Signal(SIGINT);
    EXPECT_EQ(game.Wait(30.0), 0) << "ended by signal " << game.TermSignal();
    for (const char* file : {"executed.txt", "opened.txt"}) {
        SCOPED_TRACE(file);
        const std::string ignored = TestSupport::ReadFile(dir.Path() + "/" + file);
        ASSERT_EQ(ignored.rfind("SigIgn:", 0), 0u) << ignored;
        EXPECT_EQ(std::stoull(ignored.substr(7), nullptr, 16) & (1ull << (SIGPIPE - 1)), 0u);
    }
}

// One line names the display and why, as over SSH with a stale DISPLAY.
TEST(GameProcess, WithoutADisplayItSaysSoAndExitsWithOne) {
    const char* const unused = ":4093";
    ASSERT_FALSE(std::filesystem::exists("/tmp/.X11-unix/X4093"));
    for (bool stale : {false, true}) {
        SCOPED_TRACE(stale ? "a display that is not there" : "no DISPLAY");
        TestSupport::TempDir dir;
        WriteScripts(dir, "");
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), false, {},
                                      stale
                                          ? std::map<std::string, std::string>{{"DISPLAY", unused}}
                                          : std::map<std::string, std::string>{});
        EXPECT_EQ(game.Wait(30.0), 1) << game.Output();
        EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/ended.txt"));
        const std::string line =
            stale ? "Could not open the display :4093: X11: Failed to open display :4093\n"
                  : "Could not open the display (DISPLAY is not set): X11: The DISPLAY "
                    "environment variable is missing\n";
        EXPECT_NE(game.Output().find(line), std::string::npos) << game.Output();
    }
}

namespace {

// The size of the whole request at the front of `pending` (first the
// connection's setup); 0 while it is still coming. Xlib speaks the
// machine's byte order.
size_t WholeRequest(const std::string& pending, bool setup) {
    uint16_t at[6] = {};
    std::memcpy(at, pending.data(), std::min(pending.size(), sizeof at));
    if (pending.size() < (setup ? 12u : at[1] ? 4u : 8u)) return 0;
    const size_t size = setup   ? 12 + (at[3] + 3u) / 4 * 4 + (at[4] + 3u) / 4 * 4
                        : at[1] ? at[1] * 4u
                                : (at[2] | size_t(at[3]) << 16) * 4;  // BIG-REQUESTS
    return pending.size() < size ? 0 : size;
}

// How a stand-in display has the server refuse the client's request, the
// connection kept: another program destroys the window it names just
// before (BadWindow or BadDrawable naming the client's window), or it names
// a window nobody has.
enum Refusal { kNoRefusal, kWindowDestroyed, kNoSuchWindow };

// Destroys the window as another program does: on a connection of its own,
// made with the client's setup (its cookie too), until the server has done it.
void DestroyWindowFromOutside(const sockaddr_un& real, std::string request, const char* window) {
    const int other = socket(AF_UNIX, SOCK_STREAM, 0);
    if (connect(other, (const sockaddr*)&real, sizeof real) != 0) _exit(1);
    const char destroyThenAsk[12] = {4, 0, 2, 0, window[0], window[1], window[2], window[3],
                                     43, 0, 1, 0};  // DestroyWindow, GetInputFocus
    request.append(destroyThenAsk, sizeof destroyThenAsk);
    send(other, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answers;  // the setup's answer, then GetInputFocus's reply
    char buffer[65536];
    while (answers.size() < 8 ||
           answers.size() < 40 + 4u * (uint8_t(answers[6]) | uint8_t(answers[7]) << 8)) {
        const ssize_t got = read(other, buffer, sizeof buffer);
        if (got <= 0) _exit(1);
        answers.append(buffer, size_t(got));
    }
    close(other);
}

// An X display of its own, at the first free number from 4092 down (its
// socket in `own`), whose one connection goes on to the test's display
// until the client sends the count-th request with that major opcode (any
// extension's, for -2, with that minor) whose bytes hold `text`, counted
// once the file `mark` exists unless it is ""; with no opcode, the first
// request from then. The child that serves it then exits, and the
// connection closes as when the server ends; with a signal, the client gets
// that signal there instead, and with a refusal the server refuses it. With
// `expose`, an Expose of the window that request names comes first, a
// moment before, so that Xlib queues it.
pid_t BreakingDisplay(int opcode, int minor, const std::string& text, int count,
                      const std::string& mark, int signal, bool expose, Refusal refuse,
                      std::string& own) {
    sockaddr_un at{AF_UNIX, {}}, real{AF_UNIX, {}};
    std::snprintf(real.sun_path, sizeof real.sun_path, "/tmp/.X11-unix/X%d",
                  std::atoi(std::getenv("DISPLAY") + 1));
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    for (int number = 4092; number > 4000 && own.empty(); --number) {
        std::snprintf(at.sun_path, sizeof at.sun_path, "/tmp/.X11-unix/X%d", number);
        if (bind(listener, (const sockaddr*)&at, sizeof at) == 0) own = at.sun_path;
    }
    if (own.empty() || listen(listener, 1) != 0) return -1;
    const pid_t child = fork();
    if (child != 0) {
        close(listener);
        return child;
    }
    const int client = accept(listener, nullptr, nullptr);
    ucred peer{};
    socklen_t size = sizeof peer;
    getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size);
    const int server = socket(AF_UNIX, SOCK_STREAM, 0);
    if (connect(server, (const sockaddr*)&real, sizeof real) != 0) _exit(1);
    std::string pending, setupRequest;
    char buffer[65536];
    uint16_t sequence = 0;  // of the last request the server was given
    for (bool setup = true;;) {
        pollfd ready[] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        poll(ready, 2, -1);
        const int from = ready[0].revents ? client : server;
        const ssize_t got = read(from, buffer, sizeof buffer);
        if (got <= 0) _exit((signal || refuse) && count <= 0 ? 0 : 1);
        if (from == server) {
            send(client, buffer, size_t(got), MSG_NOSIGNAL);
            continue;
        }
        pending.append(buffer, size_t(got));
        for (size_t size; (size = WholeRequest(pending, setup)) != 0; setup = false) {
            const uint8_t major = pending[0];
            const bool cut =
                (mark.empty() || access(mark.c_str(), F_OK) == 0) &&
                (opcode == -1 ||
                 ((opcode == -2 ? major >= 128 && pending[1] == minor : major == opcode) &&
                  pending.find(text) < size && --count == 0));
            if (!setup && cut && expose) {
                uint8_t event[32] = {12, 0, uint8_t(sequence), uint8_t(sequence >> 8)};
                std::memcpy(event + 4, pending.data() + 4, 4);  // 0 by 0 at the corner
                send(client, event, sizeof event, MSG_NOSIGNAL);
                usleep(200000);
            }
            if (!setup && cut && refuse == kWindowDestroyed) {
                DestroyWindowFromOutside(real, setupRequest, pending.data() + 4);
            }
            if (!setup && cut && refuse == kNoSuchWindow) pending[6] ^= 0x1f;
            if (!setup && cut && !signal && !refuse) _exit(0);
            if (!setup && cut && signal) kill(peer.pid, signal);
            if (setup) setupRequest = pending.substr(0, size);
            sequence += !setup;
            send(server, pending.data(), size, MSG_NOSIGNAL);
            pending.erase(0, size);
        }
    }
}

}  // namespace

// The display lost while the game starts (an SSH session with X forwarding
// that ends as the game opens, a killed server): until its window is
// ready, the game ends at once with 1 and its own line; from then on as in
// play, through the level's end: so also at each request of a switch to a
// window and back, the level switching every frame, with its save whole.
// No crash, no wait for ever, no line of Xlib's. A request the display
// refuses (another program destroyed the window, or a window of its own it
// named is gone) ends the level in the same way when it names the game's
// window; any other is noted, and the game plays on until a quit.
TEST(GameProcess, ADisplayLostWhileTheGameStartsEndsIt) {
    const int randr = -2;  // minors 20 and 25 of a switch are RandR's
    const struct {
        const char* what;
        int opcode, minor;
        const char* text;
        int count;
        bool switching;  // counted once the level runs, switching every frame
        int signal = 0;  // sent to the game there instead
        bool expose = false;  // with an event queued before the loss
        Refusal refuse = kNoRefusal;  // refused there instead, the connection kept
    } cases[] = {
        {"during glfwInit", 98, 0, "RANDR", 1, false},  // QueryExtension
        // Mesa asks past Xlib and crashed on the missing reply.
        {"as Mesa sets up its context", 98, 0, "MIT-SHM", 1, false},
        {"as the window is made", 78, 0, "", 1, false},  // CreateColormap
        // GLFW waited for the window's first event for ever.
        {"as the window is shown", 8, 0, "", 1, false},  // MapWindow
        {"just before the first frame", -1, 0, "", 0, false},
        // Not the window system's fault: it ends the game, which the
        // start's guard swallowed.
        {"kill -SEGV as the window is made", 78, 0, "", 1, false, SIGSEGV},
        // The video mode (GLFW crashed on RandR's null reply), then the
        // switch after a loss its first calls found, then the mode set,
        // which crashed inside Xlib's lock (the exit then waited for it).
        {"to a window, the screen's resources", randr, 25, "", 1, true},
        {"to fullscreen, the monitor's mode", randr, 20, "", 2, true},
        {"to fullscreen, the switch's first request", 18, 0, "", 3, true},
        {"to fullscreen, the monitor's mode set", randr, 25, "", 3, true},
        // GLFW took the window for hidden and waited, for ever, for it to
        // show: the queued event made each wait end at once.
        {"to fullscreen, whether the window shows, an event queued", 3, 0, "", 1, true, 0, true},
        // Outside any call into the window system's libraries: Mesa asks for
        // the window's size as each frame is cleared.
        {"the frame's clear", 14, 0, "", 1, true},
        // The game's window destroyed by another program, found in a call
        // into the libraries (GLFW's) and outside them (Mesa's); a request
        // on a window that has gone, as a drag's source that closed.
        {"to fullscreen, whether the window shows, the window destroyed", 3, 0, "", 1, true, 0,
         false, kWindowDestroyed},
        {"the frame's clear, the window destroyed", 14, 0, "", 1, true, 0, false,
         kWindowDestroyed},
        {"a switch's property on a window that has gone", 18, 0, "", 1, true, 0, false,
         kNoSuchWindow},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestSupport::TempDir dir;
        WriteScripts(dir,
                     c.switching ? "function OnLevelUpdate()\n  frames = (frames or 0) + 1\n"
                                   "  if frames == 5 then io.open('cut', 'w'):close() end\n"
                                   "  ExecuteConsoleCommand('fullscreen')\nend\n"
                                 : std::string("io.open('cut', 'w'):close()\n") +
                                       TestSupport::kReadyThenQuitOnRequest,
                     c.switching
                         ? "local f = io.open('save.txt', 'w') f:write(string.rep('x', 2e6)) "
                           "f:close()\n"
                         : "");
        std::string own;
        const bool marked = c.switching || c.opcode == -1;
        const pid_t display = BreakingDisplay(c.opcode, c.minor, c.text, c.count,
                                              marked ? dir.Path() + "/cut" : "", c.signal, c.expose,
                                              c.refuse, own);
        ASSERT_GT(display, 0);
        const std::string name = ":" + own.substr(own.rfind('X') + 1);
        // The test display's cookie, for the display in between.
        TestSupport::Shell("xauth -f " + dir.Path() + "/cookie add " + name +
                           " . $(xauth list \"$DISPLAY\" 2>/dev/null | awk '{print $3; exit}') "
                           ">/dev/null 2>&1");
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), false, {},
                                      {{"DISPLAY", name}, {"XAUTHORITY", dir.Path() + "/cookie"}});
        const std::string noted = "The display " + name + " refused the game's request";
        if (c.refuse == kNoSuchWindow) {
            EXPECT_TRUE(TestSupport::WaitWhileRunning(
                [&] { return game.Output().find(noted) != std::string::npos; }, game, 30.0));
            EXPECT_EQ(game.Wait(2.0), -1) << game.Output();
            game.Signal(SIGTERM);
        }
        int status = 0;
        if (!Ends(display)) kill(display, SIGKILL);
        waitpid(display, &status, 0);
        unlink(own.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "it never came that far";
        const int code = c.signal ? -1 : c.refuse == kNoSuchWindow ? 0 : 1;
        EXPECT_EQ(game.Wait(c.switching ? 10.0 : 1.0), code) << game.Output();
        const std::string output = game.Output();
        EXPECT_EQ(game.TermSignal() != 0, c.signal != 0) << output;  // SIGABRT under ASan
        EXPECT_EQ(Occurrences(output, "Lost the display " + name + ": its X server ended"),
                  c.signal || c.refuse ? 0 : 1)
            << output;
        EXPECT_EQ(Occurrences(output, "Lost the game's window on the display " + name +
                                          ": another program"),
                  c.refuse == kWindowDestroyed ? 1 : 0)
            << output;
        EXPECT_EQ(Occurrences(output, noted), c.refuse == kNoSuchWindow ? 1 : 0) << output;
        for (const char* xlib : {"Xlib", "XIO", "X connection", "X Error"}) {
            EXPECT_EQ(output.find(xlib), std::string::npos) << output;
        }
        EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/ended.txt"), marked ? "ended\n" : "")
            << output;
        EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/save.txt").size(),
                  c.switching ? 2000000u : 0u);
    }
}

// Without a display and without an X server that starts, the start script
// says so with the cause Xvfb gave, within a moment however much it wrote
// (with /tmp read-only it tries every display number, 12 MB of messages).
TEST(GameProcess, MakeRunSaysWhyItsXServerFailed) {
    const struct {
        const char* what;
        const char* standIn;
        const char* line;
    } cases[] = {
        {"a short failure",
         "printf '(EE) \\nFatal server error:\\n(EE) Couldn'\\''t add screen 0(EE) \\n' >&2\n"
         "exit 1\n",
         "Xvfb could not start a display for the game: Couldn't add screen 0\n"},
        {"10 MB of messages first",
         "yes '_XSERVTransMakeAllCOTSServerListeners: failed to create listener for local' | "
         "head -c 10000000 >&2\nprintf '\\n(EE) \\nFatal server error:\\n(EE) Failed to find a "
         "socket to listen on\\n(EE) \\n' >&2\nexit 1\n",
         "Xvfb could not start a display for the game: Failed to find a socket to listen on\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestSupport::TempDir dir;
        WriteScripts(dir, "");
        const auto env = StandIn(dir, "Xvfb", std::string("#!/bin/sh\n") + c.standIn);
        TestSupport::GameProcess game(
            "/bin/bash", dir.Path(), false,
            {std::string(TAZZLE_SOURCE_DIR) + "/scripts/run-game.sh", TAZZLE_BINARY}, env);
        EXPECT_EQ(game.Wait(2.0), 1);
        EXPECT_EQ(game.Output(), c.line);
    }
}

// Started with standard output, error or all three closed (`make run >&-`):
// the game's X connection, sound socket and files take other numbers, and
// what it writes there is dropped. It plays, and a quit ends its level.
TEST(GameProcess, ClosedStandardDescriptorsAreNothingElse) {
    const std::vector<std::vector<int>> closings = {{1}, {2}, {0, 1, 2}};
    for (const std::vector<int>& closed : closings) {
        SCOPED_TRACE("closed: " + std::to_string(closed.size()) + " from " +
                     std::to_string(closed.front()));
        TestSupport::TempDir dir;
        WriteScripts(dir, TestSupport::kReadyThenQuitOnRequest,
                     "local f = io.open('saved.txt', 'w') f:write('saved') f:close()\n");
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), true, {}, {}, -1, closed);
        ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ready", game, 60.0))
            << game.Output();
        game.Signal(SIGINT);
        EXPECT_EQ(game.Wait(30.0), 0) << game.Output();
        EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/saved.txt"), "saved");
    }
}

// Ctrl+C while make checks which packages are installed ends the check,
// also when the program it runs ends with a plain failure on the signal (as
// bash's child that is about to become one does: it takes the signal for
// the shell): nothing is taken for missing, and nothing is installed. With
// every package in place nothing is installed either.
TEST(GameProcess, CtrlCInThePackageCheckInstallsNothing) {
    TestSupport::TempDir dir;
    for (const char* installer : {"apt-get", "sudo"}) {
        StandIn(dir, installer, "#!/bin/sh\ntouch installed\n");
    }
    {
        TestSupport::GameProcess check(
            "/bin/bash", dir.Path(), false,
            {std::string(TAZZLE_SOURCE_DIR) + "/scripts/install-deps.sh"},
            StandIn(dir, "dpkg-query",
                    "#!/bin/sh\nshift 2\nfor p; do echo \"$p install ok installed\"; done\n"));
        EXPECT_EQ(check.Wait(10.0), 0) << check.Output();
        EXPECT_EQ(check.Output(), "");
        EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/installed"));
    }
    auto env = StandIn(dir, "dpkg-query",
                       "#!/bin/sh\ntouch asked\ntrap 'exit 1' INT\nsleep 30 &\nwait\nexit 1\n");
    TestSupport::GameProcess check(
        "/usr/bin/setsid", dir.Path(), false,
        {"bash", std::string(TAZZLE_SOURCE_DIR) + "/scripts/install-deps.sh"}, env);
    ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/asked", check, 30.0))
        << check.Output();
    kill(-check.Pid(), SIGINT);
    check.Wait(10.0);
    EXPECT_EQ(check.TermSignal(), SIGINT) << check.Output();
    EXPECT_EQ(check.Output().find("Installing"), std::string::npos) << check.Output();
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/installed"));
    kill(-check.Pid(), SIGKILL);
}

// Signals reach a game that no frame is coming from: a level that reloads
// itself from its start script, a script stuck in a loop, and an end script
// stuck in a long library call, which the second signal ends at once (or,
// after a script's quit, the watchdog).
TEST(GameProcess, SignalsEndAGameThatIsStuck) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    for (bool byWindow : {false, true}) {
        SCOPED_TRACE(byWindow ? "window closed" : "SIGTERM");
        TestSupport::TempDir dir;
        WriteScripts(dir,
                     "local f = io.open('loads.txt', 'a'); f:write('x'); f:close()\n"
                     "ExecuteConsoleCommand('reload')\n");
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
        const std::string loads = dir.Path() + "/loads.txt";
        ASSERT_TRUE(TestSupport::WaitWhileRunning(
            [&] { return TestSupport::ReadFile(loads).size() >= 3; }, game, 60.0))
            << game.Output();
        if (byWindow) {
            // This game's window: other tests may have one of that title open.
            EXPECT_EQ(
                TestSupport::Shell("wmctrl -i -c $(timeout 30 xdotool search --sync --pid " +
                                   std::to_string(game.Pid()) + " --name '^Tazzle$' | head -1)"),
                0);
        } else {
            game.Signal(SIGTERM);
        }
        EXPECT_EQ(game.Wait(30.0), 0) << game.Output();
        // Every load but the last ended through the end script, and so did it.
        EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/ended.txt").size(),
                  TestSupport::ReadFile(loads).size() * 6);
    }
    {
        TestSupport::TempDir dir;
        WriteScripts(dir,
                     "frames = 0\n"
                     "function OnLevelUpdate()\n"
                     "  frames = frames + 1\n"
                     "  if frames == 30 then\n"
                     "    local f = io.open('ready', 'w'); f:close()\n"
                     "    while true do end\n"
                     "  end\n"
                     "end\n");
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
        ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ready", game, 60.0))
            << game.Output();
        game.Signal(SIGINT);
        EXPECT_EQ(game.Wait(30.0), 0) << game.Output();
        EXPECT_NE(game.Output().find("interrupted\n"), std::string::npos) << game.Output();
        EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/ended.txt"), "ended\n");
    }
    // An end script stuck in a long library call, after a signal or after
    // a script's quit.
    for (bool byScript : {false, true}) {
        SCOPED_TRACE(byScript ? "a script quit" : "a signal");
        TestSupport::TempDir dir;
        WriteScripts(dir, TestSupport::kReadyThenQuitOnRequest,
                     "string.find(string.rep('a', 60), string.rep('a*', 60) .. 'b')\n");
        TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
        ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ready", game, 60.0))
            << game.Output();
        if (byScript) {
            dir.Write("quit", "");
        } else {
            game.Signal(SIGHUP);
        }
        ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ended.txt", game, 30.0))
            << game.Output();
        if (byScript) {
            // The watchdog's seconds count from the signal; what went on was
            // the level's end.
            game.Signal(SIGTERM);
            EXPECT_EQ(game.Wait(30.0), 128 + SIGTERM) << game.Output();
            EXPECT_NE(game.Output().find("within 5 seconds of the quit signal: its level's end or "
                                         "its shutdown went on"),
                      std::string::npos)
                << game.Output();
            continue;
        }
        // Sooner, it would be taken for the first one handed on.
        EXPECT_EQ(game.Wait(kQuitSignalEchoSeconds), -1);
        game.Signal(SIGINT);
        EXPECT_EQ(game.Wait(30.0), -1);
        EXPECT_EQ(game.TermSignal(), SIGINT) << game.Output();
    }
    {
        // Started under `nohup`: the hangup stays ignored.
        TestSupport::TempDir dir;
        WriteScripts(dir, TestSupport::kReadyThenQuitOnRequest);
        TestSupport::GameProcess game("/bin/sh", dir.Path(), true,
                                      {"-c", "trap '' HUP; exec \"$0\"", TAZZLE_BINARY});
        ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ready", game, 60.0))
            << game.Output();
        game.Signal(SIGHUP);
        EXPECT_EQ(game.Wait(2.0), -1);
        EXPECT_TRUE(game.Running());
        game.Signal(SIGTERM);
        EXPECT_EQ(game.Wait(30.0), 0) << game.Output();
        EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/ended.txt"), "ended\n");
    }
}

// Finalizers left for the end: the one that raises prints one line; those
// that use the camera and a post-processing effect run while they live; one
// the state still holds when it closes is refused the engine, gone by then.
TEST(GameProcess, FinalizersAtTheQuitRunWhileTheEngineLives) {
    const std::string output = TestSupport::RunGame(
        "CreatePostProcess('', 'Resources/Shaders/grey.frag')\n"
        "ExecuteConsoleCommand('level QUIT_GAME')\n",
        {{"Globals/EndOfLevel.lua", R"lua(
            collectgarbage('stop')
            local function leave(finalizer) getmetatable(newproxy(true)).__gc = finalizer end
            local camera, effect = GetCamera(), GetPostEffect(1)
            local parameter = effect:GetParameter('strength')
            leave(function() error('finalizer raised') end)
            leave(function() camera:SetPosition(5, 5) io.write('camera used\n') end)
            leave(function() effect:GetParameter('other') io.write('effect used\n') end)
            leave(function() parameter:SetFloat(0.5) io.write('parameter set\n') end)
            kept = newproxy(true)
            getmetatable(kept).__gc = function() io.write('closing\n') camera:Lock() end
        )lua"}});
    for (const char* line : {"camera used\n", "effect used\n", "parameter set\n", "closing\n"}) {
        EXPECT_NE(output.find(line), std::string::npos) << line << output;
    }
    const size_t error = output.find("Lua Error: ");
    EXPECT_EQ(error, output.rfind("Lua Error: ")) << output;
    EXPECT_NE(output.find("finalizer raised\n", error), std::string::npos) << output;
}

// The first signal ends a script wherever it loops: where a hook can reach
// the loop, the script stops with its place named and the level ends; where
// none can (a finalizer, a long library call), the watchdog ends the game.
TEST(GameProcess, TheFirstSignalEndsAScriptWhereverItLoops) {
    struct Case {
        const char* what;
        const char* loop;   // line 6 of the start script
        const char* where;  // the interrupted place, or null when the watchdog ends it
        int signal = SIGINT;
        const char* endTail = "";  // line 2 of the end script
    };
    const char* const start = "Globals/StartOfLevel.lua:6: interrupted\n";
    const Case cases[] = {
        {"pcall", "while true do pcall(function() while true do end end) end", start},
        {"coroutine", "coroutine.wrap(function() while true do end end)()", start},
        {"hangup", "while true do end", start, SIGHUP},
        {"SleepGame", "SleepGame(1e9)", "", SIGTERM},
        // Cut in the handler, xpcall gives back the error; the next
        // instruction (the function's end) is cut again, naming the loop.
        {"xpcall handler", "xpcall(function() error('x') end, function() while true do end end)",
         start},
        // Deep under an xpcall, a cut at every level of pcall on the way out.
        {"deep under xpcall", "xpcall(function() local function deep(n, k) if n > 0 then return"
         " 1 + deep(n - 1, k) end if k > 0 then pcall(deep, 90, k - 1) end while true do end end"
         " deep(90, 190) end, function(m) return m end)", start, SIGTERM},
        // The cut hands on the message of the innermost running xpcall's
        // handler only: one of its own thread, and not one that returned.
        {"nested xpcall", "xpcall(function() xpcall(function() while true do end end,"
         " function() while true do end end) end, function(m) return m end)", start},
        {"coroutine under xpcall", "xpcall(function() coroutine.wrap(function() while true do end"
         " end)() end, print)", start},
        // The returned one ran 31 calls deep (30 of them pcall's, deep in C);
        // `probe` loops at that depth, its first local kept or replaced.
        {"after an xpcall returned", "local function probe() local a, b = 'kept', 'replaced'"
         " report = function() return a end while true do end end local function dig(n) if n =="
         " 1 then probe() else dig(n - 1) end end local t = {} for i = 1, 29 do t[i] = pcall end"
         " t[30], t[31], t[32] = xpcall, function() end, print pcall(unpack(t)) dig(30)",
         "probe kept\n", SIGINT, "print('probe ' .. tostring(report and report()))"},
        // The quit stands over the level the end script asks for.
        {"end script asks for a level", "", "Level GenericTileLevel refused: the game is quitting\n",
         SIGTERM, "ExecuteConsoleCommand('level GenericTileLevel 00_Menu_Splash.tmx')"},
        {"end script", "", "Globals/EndOfLevel.lua:2: interrupted\n", SIGTERM, "while true do end"},
        {"__gc",
         "getmetatable(newproxy(true)).__gc = function() while true do end end; "
         "collectgarbage()",
         nullptr},
        {"string.find", "string.find(string.rep('a', 60), string.rep('a*', 60) .. 'b')", nullptr,
         SIGTERM},
        // Runs after the signal share one grace, coroutines a few instructions at a time too.
        {"200 looping objects", "f = io.open('Resources/Lua/Loop.lua', 'w') f:write('while true do"
         " local t = {} end') f:close() for i = 1, 200 do LuaObject:new():GetComponent("
         "'LuaComponent'):SetUpdateScript('Loop.lua') end", "Loop.lua:1: interrupted\n", SIGTERM},
        {"gsub resumes", "local w = coroutine.wrap(function() while true do coroutine.yield('x') "
         "end end) string.gsub(string.rep('a', 2e7), 'a', w)", start},
        // The watchdog's seconds count again from the quit.
        {"3 s, then 3 s more", "os.execute('sleep 3')", "", SIGTERM, "os.execute('sleep 3')"},
        // The game ignored it while the command ran (the C library's
        // system), and played on; no signal of the test's.
        {"a command ended by Ctrl+C", "os.execute('kill -INT $$')", "", 0},
    };
    struct Run {
        TestSupport::TempDir dir;
        std::unique_ptr<TestSupport::GameProcess> game;
    };
    std::vector<Run> runs(std::size(cases));
    // One after the other up to the signal (a window that another covers
    // gets its frames slowly), then the waits side by side, so that the
    // watchdog's seconds pass for all at once.
    for (size_t i = 0; i < runs.size(); ++i) {
        WriteScripts(runs[i].dir,
                     std::string("frames = 0\n"
                                 "function OnLevelUpdate()\n"
                                 "  frames = frames + 1\n"
                                 "  if frames == 3 then\n"
                                 "    local f = io.open('ready', 'w'); f:close()\n") +
                         cases[i].loop + "\n  end\nend\n",
                     cases[i].endTail);
        runs[i].game =
            std::make_unique<TestSupport::GameProcess>(TAZZLE_BINARY, runs[i].dir.Path());
        ASSERT_TRUE(
            TestSupport::AwaitFileWhileRunning(runs[i].dir.Path() + "/ready", *runs[i].game, 60.0))
            << cases[i].what << "\n"
            << runs[i].game->Output();
        runs[i].game->Signal(cases[i].signal);
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        TestSupport::GameProcess& game = *runs[i].game;
        const int code = game.Wait(kQuitSignalGraceSeconds + 10.0);
        const std::string output = game.Output();
        const std::string ended = TestSupport::ReadFile(runs[i].dir.Path() + "/ended.txt");
        const char* where = cases[i].where;
        EXPECT_EQ(code, where ? 0 : 128 + cases[i].signal) << output;
        // Once: a count, as an end script that runs for ever writes many lines.
        EXPECT_EQ(std::count(ended.begin(), ended.end(), '\n'), where ? 1 : 0);
        EXPECT_EQ(output.find("did not end within") != std::string::npos, !where) << output;
        // Each stuck before its main loop took the quit.
        EXPECT_EQ(output.find("it did not get back to its main loop") != std::string::npos, !where)
            << output;
        // coroutine.wrap passes the error on with its own place in front.
        if (where) {
            EXPECT_NE(output.find(where), std::string::npos) << output;
        }
    }
}

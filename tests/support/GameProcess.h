// Runs the real game executable in a directory of its own, for tests.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace TestSupport {

class GameProcess {
public:
    // Starts the game with `workDir` as its working directory and its output
    // in workDir/output.txt, or to `output` when one is given. `withDisplay`
    // false removes DISPLAY; `env` adds to the environment; the descriptors
    // `closed` (of 0, 1 and 2) are closed.
    GameProcess(const std::string& binary, const std::string& workDir, bool withDisplay = true,
                const std::vector<std::string>& args = {},
                const std::map<std::string, std::string>& env = {}, int output = -1,
                const std::vector<int>& closed = {});
    ~GameProcess();
    GameProcess(const GameProcess&) = delete;
    GameProcess& operator=(const GameProcess&) = delete;

    // Waits up to `seconds` for the process to end; its exit code, or -1
    // when it is still running (or died of a signal).
    int Wait(double seconds);
    // The signal that ended the process; 0 while it runs or when it exited.
    int TermSignal();
    bool Running();
    std::string Output() const;
    void Signal(int signal);
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string outputPath_;
};

class TempDir;
// A game folder: the project's shaders and configuration, empty global
// scripts and `startOfLevel` as the start-of-level script.
void MakeGameFolder(const TempDir& dir, const std::string& startOfLevel);
// Runs the game in a folder made by MakeGameFolder, with the first level of
// WriteFirstLevel and the further Lua files of `scripts` (names below
// Resources/Lua/), until a script quits; expects exit code 0 and returns the
// output.
std::string RunGame(const std::string& startOfLevel,
                    const std::map<std::string, std::string>& scripts = {});
// Writes the first level the game loads: an empty one-tile map whose
// per-frame script calls the Lua function OnLevelUpdate(dt) when a script
// defined it.
void WriteFirstLevel(const TempDir& dir);

// A start-of-level script for window tests that drive the game from
// outside: it writes "ready" once the level has run 30 frames and quits the
// game when a file "quit" appears.
extern const char* const kReadyThenQuitOnRequest;

// Runs a shell command; its exit code.
int Shell(const std::string& command);
// Makes sure a window manager runs on the display (starts openbox if not,
// binding no keys, so that every key reaches the game).
bool EnsureWindowManager();
// Waits up to `seconds` for a window of that title to appear.
bool WaitForWindow(const std::string& title, double seconds);
// Waits up to `seconds` for a file to appear; false at once when the game
// has ended.
// Polls `condition` every 50 ms while the game runs, up to `seconds`;
// whether it came true.
bool WaitWhileRunning(const std::function<bool()>& condition, GameProcess& game, double seconds);
bool AwaitFileWhileRunning(const std::string& path, GameProcess& game, double seconds);

}  // namespace TestSupport

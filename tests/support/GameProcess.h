// Runs the real game executable in a directory of its own, for tests.
#pragma once

#include <sys/types.h>

#include <string>

namespace TestSupport {

class GameProcess {
public:
    // Starts the game with `workDir` as its working directory and its output
    // in workDir/output.txt. `withDisplay` false removes DISPLAY.
    GameProcess(const std::string& binary, const std::string& workDir, bool withDisplay = true);
    ~GameProcess();
    GameProcess(const GameProcess&) = delete;
    GameProcess& operator=(const GameProcess&) = delete;

    // Waits up to `seconds` for the process to end; its exit code, or -1
    // when it is still running (or died of a signal).
    int Wait(double seconds);
    bool Running();
    std::string Output() const;

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string outputPath_;
};

class TempDir;
// Writes the first level the game loads: an empty one-tile map whose
// per-frame script calls the Lua function OnLevelUpdate(dt) when a script
// defined it.
void WriteFirstLevel(const TempDir& dir);

// Runs a shell command; its exit code.
int Shell(const std::string& command);
// Makes sure a window manager runs on the display (starts openbox if not).
bool EnsureWindowManager();
// Waits up to `seconds` for a window of that title to appear.
bool WaitForWindow(const std::string& title, double seconds);

}  // namespace TestSupport

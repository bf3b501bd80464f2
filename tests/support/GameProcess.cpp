#include "support/GameProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/TestSupport.h"

namespace TestSupport {

GameProcess::GameProcess(const std::string& binary, const std::string& workDir, bool withDisplay,
                         const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env, int output,
                         const std::vector<int>& closed)
    : outputPath_(workDir + "/output.txt") {
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        if (chdir(workDir.c_str()) != 0) _exit(127);
        int out =
            output >= 0 ? output : open(outputPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
            close(out);
        }
        for (int descriptor : closed) close(descriptor);
        // The game starts with a hangup's and a broken pipe's default action,
        // as from a shell: the tests decide otherwise, not whoever started
        // them (nohup, a runner that ignores SIGPIPE).
        signal(SIGHUP, SIG_DFL);
        signal(SIGPIPE, SIG_DFL);
        if (!withDisplay) unsetenv("DISPLAY");
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
}

GameProcess::~GameProcess() {
    if (Running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
}

bool GameProcess::Running() {
    if (pid_ <= 0 || status_ != -1) return false;
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        status_ = status;
        return false;
    }
    return true;
}

int GameProcess::Wait(double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (Running() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (Running() || status_ == -1 || !WIFEXITED(status_)) return -1;
    return WEXITSTATUS(status_);
}

int GameProcess::TermSignal() {
    if (Running() || status_ == -1 || !WIFSIGNALED(status_)) return 0;
    return WTERMSIG(status_);
}

void GameProcess::Signal(int signal) {
    if (Running()) kill(pid_, signal);
}

std::string GameProcess::Output() const {
    return ReadFile(outputPath_);
}

void MakeGameFolder(const TempDir& dir, const std::string& startOfLevel) {
    namespace fs = std::filesystem;
    fs::create_directories(fs::path(dir.Path()) / "Resources");
    for (const char* sub : {"Shaders", "Config"}) {
        fs::copy(fs::path(TAZZLE_SOURCE_DIR) / "Resources" / sub,
                 fs::path(dir.Path()) / "Resources" / sub, fs::copy_options::recursive);
    }
    dir.Write("Resources/Lua/Globals/LuaGlobals.lua", "");
    dir.Write("Resources/Lua/Globals/EndOfLevel.lua", "");
    dir.Write("Resources/Lua/Globals/StartOfLevel.lua", startOfLevel);
}

std::string RunGame(const std::string& startOfLevel,
                    const std::map<std::string, std::string>& scripts) {
    TempDir dir;
    MakeGameFolder(dir, startOfLevel);
    for (const auto& [name, text] : scripts) dir.Write("Resources/Lua/" + name, text);
    WriteFirstLevel(dir);
    GameProcess game(TAZZLE_BINARY, dir.Path());
    int code = game.Wait(60.0);
    EXPECT_EQ(code, 0) << game.Output();
    return game.Output();
}

void WriteFirstLevel(const TempDir& dir) {
    dir.Write("Resources/Levels/00_Menu_Splash.tmx",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<map version=\"1.0\" orientation=\"orthogonal\" width=\"1\" height=\"1\" "
              "tilewidth=\"32\" tileheight=\"32\">\n"
              " <properties>\n"
              "  <property name=\"Update\" value=\"Test/Update.lua\"/>\n"
              " </properties>\n"
              " <tileset firstgid=\"1\" name=\"none\" tilewidth=\"32\" tileheight=\"32\"/>\n"
              " <layer name=\"Empty\" width=\"1\" height=\"1\">\n"
              "  <data encoding=\"base64\" compression=\"zlib\">eJxjYGBgAAAABAAB</data>\n"
              " </layer>\n"
              "</map>\n");
    dir.Write("Resources/Lua/Test/Update.lua",
              "if OnLevelUpdate then OnLevelUpdate(getdt()) end\n");
}

const char* const kReadyThenQuitOnRequest = R"lua(
    frames = 0
    function OnLevelUpdate(dt)
        frames = frames + 1
        if frames == 30 then
            local f = io.open("ready", "w"); f:write("x"); f:close()
        end
        local quit = io.open("quit", "r")
        if quit then
            quit:close()
            ExecuteConsoleCommand("level QUIT_GAME")
        end
    end
)lua";

int Shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool EnsureWindowManager() {
    if (Shell("wmctrl -m >/dev/null 2>&1") == 0) return true;
    // Openbox's own configuration takes Print Screen for itself.
    std::ofstream("/tmp/tazzle-openbox-rc.xml")
        << "<openbox_config xmlns=\"http://openbox.org/3.4/rc\"><keyboard/></openbox_config>\n";
    Shell("(setsid openbox --config-file /tmp/tazzle-openbox-rc.xml >/dev/null 2>&1 &)");
    for (int i = 0; i < 100; ++i) {
        if (Shell("wmctrl -m >/dev/null 2>&1") == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool WaitForWindow(const std::string& title, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (Shell("wmctrl -l 2>/dev/null | grep -q ' " + title + "$'") == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool WaitWhileRunning(const std::function<bool()>& condition, GameProcess& game, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        if (!game.Running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool AwaitFileWhileRunning(const std::string& path, GameProcess& game, double seconds) {
    return WaitWhileRunning([&] { return std::filesystem::exists(path); }, game, seconds);
}

}  // namespace TestSupport

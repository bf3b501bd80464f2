// The unit tests' main. The registrations are made before the first test,
// as the game makes them before its main, so that no test depends on being
// the first to register. After every test a listener compares the
// process-wide state with what it was before and fails the test that
// changed it: run whole or shuffled, the tests share one process, and a
// leftover (a stand-in console command, another working directory, a global
// left set) would fail some other test far away.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Audio/AudioManager.h"
#include "Game/Registration.h"
#include "Game/StateManager.h"
#include "Graphics/Camera.h"
#include "Graphics/DrawFunctions.h"
#include "Graphics/Font.h"
#include "Graphics/Renderer.h"
#include "Graphics/Window.h"
#include "Gui/ConsolePanel.h"
#include "Gui/FastPanel.h"
#include "Gui/GuiFactory.h"
#include "Gui/GuiManager.h"
#include "Gui/Menu.h"
#include "Input/InputManager.h"
#include "Input/ReplayRecorder.h"
#include "System/Source/Components/Factories.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/LuaState.h"
#include "System/Source/MemoryPool.h"
#include "System/Source/MessageQueue.h"
#include "World/Level.h"
#include "World/PhysicsWorld.h"
#include "support/SavedConsole.h"

namespace {

// "name=value name=value ..." of the fields of one piece of state.
class Fields {
public:
    template <class T>
    Fields& operator()(const char* name, const T& value) {
        out_ << name << "=" << value << " ";
        return *this;
    }
    operator std::string() const { return out_.str(); }

private:
    std::ostringstream out_;
};

std::string WorkingDirectory() {
    char cwd[4096];
    return getcwd(cwd, sizeof(cwd)) ? cwd : "?";
}

// The place in Probes() of the working directory, which the check puts
// back.
constexpr size_t kDirectory = 0;

// Every piece of process-wide state a test may change only if it puts it
// back. Add what a new test changes.
const std::vector<std::pair<const char*, std::function<std::string()>>>& Probes() {
    static const std::vector<std::pair<const char*, std::function<std::string()>>> probes = {
        {"the working directory", WorkingDirectory},
        {"standard output",
         []() -> std::string {
             struct stat out {};
             fstat(STDOUT_FILENO, &out);
             return Fields()("device", out.st_dev)("inode", out.st_ino);
         }},
        {"the console's entries", TestSupport::DescribeConsole},
        {"the Lua stack",
         []() -> std::string {
             lua_State* L = PeekLuaState();
             return Fields()("top", L ? lua_gettop(L) : 0);
         }},
        {"the registries",
         []() -> std::string {
             std::vector<std::string> levels;
             LevelTypeRegistry::GetNames(levels);
             return Fields()("components", g_componentFactoryHead)("objects", g_objectFactoryHead)(
                 "widgets", g_guiFactoryHead)("levelTypes", levels.size());
         }},
        {"the engine's singletons",
         []() -> std::string {
             return Fields()("pool", System::GetEnginePool())("componentTable",
                                                              GetComponentTableMain())(
                 "objectTable", GetObjectTableMain())("messages", GetMessageQueue())(
                 "bodies", PhysicsWorld::GetBodies())("renderer", CurrentRenderer)(
                 "camera", CurrentCamera)("window", GameWindow)("audio", Audio)(
                 "recorder", Recorder);
         }},
        {"the GUI",
         []() -> std::string {
             return Fields()("manager", Gui)("root", GuiRoot)("focus", FocusedPanel)(
                 "console", ConsolePanel)("output", ConsoleOutput)("menus", MenuList)(
                 "hudMenus", HudMenuList)("scaled", ScaledPanelList);
         }},
        {"the window's size",
         []() -> std::string {
             return Fields()("width", WindowWidth)("height", WindowHeight)(
                 "fullscreen", FullscreenFlag)("focused", WindowFocused);
         }},
        {"the renderer's font provider",
         []() -> std::string {
             const FontProvider& fonts = GetFontProvider();
             return Fields()("find", reinterpret_cast<const void*>(fonts.find))(
                 "load", reinterpret_cast<const void*>(fonts.load))("drawText", DrawTextFont());
         }},
        {"the input hooks",
         []() -> std::string {
             return Fields()("poll", reinterpret_cast<const void*>(InputManager::PollEvents));
         }},
        {"the state manager",
         []() -> std::string {
             const StateManagerData& s = GetStateManager();
             return Fields()("level", s.currentLevel)("paused", s.paused)(
                 "pauseMenu", s.pauseMenuShown)("pauseAllowed", s.pauseAllowed)(
                 "timeScale", s.timeScale)("god", s.godMode)("graph", s.graph);
         }},
    };
    return probes;
}

std::vector<std::string> TakeSnapshot() {
    std::vector<std::string> snapshot;
    for (const auto& probe : Probes()) snapshot.push_back(probe.second());
    return snapshot;
}

class ProcessStateCheck : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        before_ = TakeSnapshot();
        console_ = std::make_unique<TestSupport::SavedConsole>();
    }

    // Runs before the result is printed: a failure here is the test's own.
    void OnTestEnd(const ::testing::TestInfo& test) override {
        const std::vector<std::string> after = TakeSnapshot();
        for (size_t i = 0; i < after.size(); ++i) {
            if (after[i] == before_[i]) continue;
            ADD_FAILURE_AT(test.file(), test.line())
                << test.test_suite_name() << "." << test.name() << " left "
                << Probes()[i].first << " changed\n  before: " << before_[i]
                << "\n  after:  " << after[i];
        }
        // What can be put back is, so that the tests after this one do not
        // fail for it too: the console (as the saved copy goes) and the
        // working directory.
        console_.reset();
        if (after[kDirectory] != before_[kDirectory] && chdir(before_[kDirectory].c_str()) != 0)
            std::perror("chdir");
    }

private:
    std::vector<std::string> before_;
    std::unique_ptr<TestSupport::SavedConsole> console_;
};

// What the game has before its first frame, made before the first test
// (and not for a mere listing of the tests).
class GameStartUp : public ::testing::Environment {
public:
    void SetUp() override {
        RunStaticRegistration();
        // fontconfig reads the game's font aliases ("Consola" and the like)
        // once, from the folder it is first used in. The game starts in its
        // own folder; tests run in temporary ones: the aliases are read from
        // the project's folder.
        const std::string cwd = WorkingDirectory();
        ASSERT_EQ(chdir(TAZZLE_SOURCE_DIR), 0);
        FindFontFile("consola");
        ASSERT_EQ(chdir(cwd.c_str()), 0);
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new GameStartUp);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ProcessStateCheck);
    return RUN_ALL_TESTS();
}

#include <gtest/gtest.h>

#include "Game/Engine.h"
#include "Game/StateCommands.h"
#include "Gui/GuiManager.h"
#include "Gui/GuiPanel.h"
#include "System/Source/Components/Factories.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Console.h"
#include "World/Level.h"
#include "engine_fixture.h"

namespace {

constexpr double kClamp = 0.03333333507180214;

}  // namespace

TEST(TimeStep, ClampsAndScales) {
    float scale = 1.0f, left = -1.0f;
    EXPECT_DOUBLE_EQ(ScaleTimeStep(0.1, scale, left), kClamp);
    EXPECT_DOUBLE_EQ(ScaleTimeStep(0.01, scale, left), 0.01);
    // Half speed for one second, then back to normal.
    scale = 0.5f;
    left = 1.0f;
    EXPECT_DOUBLE_EQ(ScaleTimeStep(0.02, scale, left), 0.01);
    EXPECT_FLOAT_EQ(left, 0.98f);
    left = 0.01f;
    EXPECT_DOUBLE_EQ(ScaleTimeStep(0.02, scale, left), 0.01);  // time runs out in this frame
    EXPECT_DOUBLE_EQ(ScaleTimeStep(0.02, scale, left), 0.02);  // the next one is normal again
    EXPECT_EQ(scale, 1.0f);
    // A negative time (from Lua, -100) holds the scale.
    scale = 0.25f;
    left = -100.0f;
    for (int i = 0; i < 1000; ++i) ScaleTimeStep(0.02, scale, left);
    EXPECT_EQ(scale, 0.25f);
}

using StateManagerTest = EngineFixture;

TEST_F(StateManagerTest, FramesMeasureScaleAndClampTheTimeStep) {
    Start();
    Frame(0.1);
    EXPECT_DOUBLE_EQ(GetFrameTime(), kClamp);
    Frame(0.01);
    EXPECT_NEAR(GetFrameTime(), 0.01, 1e-9);
    Lua("SetDtScale(0.5, -1)");
    for (int i = 0; i < 50; ++i) Frame(0.02);
    EXPECT_NEAR(GetFrameTime(), 0.01, 1e-9);
    Lua("assert(GetDtScale() == 0.5)");
    // A scale that is not a number is ignored.
    Lua("SetDtScale(0/0, 5)");
    Lua("assert(GetDtScale() == 0.5)");
    Lua("SetDtScale(2, 0)");
    Frame(0.01);
    EXPECT_NEAR(GetFrameTime(), 0.01, 1e-9);  // a time of 0 restores 1.0 before it applies
    Lua("x = getdt()");
    EXPECT_FLOAT_EQ(float(Global("x")), 0.01f);
}

TEST_F(StateManagerTest, PauseTogglesOncePerFrameAndHonoursTheLock) {
    Start();
    Frame(0.01);
    TogglePause();
    TogglePause();  // a second request in the same frame changes nothing
    EXPECT_TRUE(IsPaused());
    EXPECT_TRUE(IsPauseMenuShown());
    Frame(0.01);
    Lua("Pause()");
    EXPECT_FALSE(IsPaused());
    Frame(0.01);

    ExecuteCommandLine("StateManagerLockPause");
    Lua("Pause()");
    EXPECT_FALSE(IsPaused());
    ExecuteCommandLine("StateManagerUnlockPause");
    ExecuteCommandLine("resume");
    EXPECT_TRUE(IsPaused());
    Frame(0.01);

    // A lock lasts until the next state change, and paused survives it.
    Lua("LockPause()");
    ExecuteCommandLine("reload");
    Frame(0.01);
    EXPECT_TRUE(IsPaused());
    EXPECT_TRUE(GetStateManager().pauseAllowed);
}

TEST_F(StateManagerTest, RestartKeepsTheLevelTypeAndFileAndIdsStartAgain) {
    // A tile level runs the start-of-level script once its map was read.
    for (const char* map : {"00_Menu_Splash.tmx", "town.tmx"})
        dir.Write(std::string("Resources/Levels/") + map, "<map></map>\n");
    Start();
    StateManagerData& state = GetStateManager();
    EXPECT_EQ(state.currentState, "GenericTileLevel");
    EXPECT_EQ(state.levelFile, "00_Menu_Splash.tmx");
    EXPECT_EQ(Global("startCount"), 1.0);

    Lua("a = GenericGameObject:new(); b = GenericGameObject:new()");
    EXPECT_EQ(GetObjectCount(), 2);
    ExecuteCommandLine("level RESTART_LEVEL other.tmx");
    Frame(0.01);
    EXPECT_EQ(state.currentState, "GenericTileLevel");
    EXPECT_EQ(state.previousState, "RESTART_LEVEL");
    EXPECT_EQ(state.levelFile, "00_Menu_Splash.tmx");
    EXPECT_EQ(Global("endCount"), 1.0);
    EXPECT_EQ(Global("startCount"), 2.0);
    EXPECT_EQ(GetObjectCount(), 0);
    Lua("c = GenericGameObject:new(); assert(c:GetId() == 0)");

    // Asking for the running type again with a new file restarts with it.
    ExecuteCommandLine("level GenericTileLevel town.tmx");
    Frame(0.01);
    EXPECT_EQ(state.levelFile, "town.tmx");
    EXPECT_EQ(Global("startCount"), 3.0);

    // "Level" loads nothing: without a file no map is asked for.
    ExecuteCommandLine("level Level");
    Frame(0.01);
    EXPECT_EQ(state.currentState, "Level");
    EXPECT_EQ(state.levelFile, "");
}

TEST_F(StateManagerTest, LevelCommandMessages) {
    Start();
    std::string out = TestSupport::CaptureStdout([] {
        ConsoleArgs none("level");
        ConsoleLevel(none);
        ExecuteCommandLine("level Nowhere");
        ExecuteCommandLine("level RELOAD_LEVEL");
        ExecuteCommandLine("level genericTileLevel");
    });
    EXPECT_EQ(out,
              "Please provide an argument.\n"
              "Level Nowhere does not exist\n"
              "Level RELOAD_LEVEL does not exist\n"
              "Level genericTileLevel does not exist\n");
    EXPECT_FALSE(GetStateManager().stateChange);

    dir.Write("Resources/Levels/b.tmx", "");
    dir.Write("Resources/Levels/a.tmx", "");
    dir.Write("Resources/Levels/notes.txt", "");
    ConsoleCandidates candidates = LevelCompletions();
    ASSERT_EQ(candidates.size(), 2u);
    EXPECT_EQ(candidates[0], (std::vector<std::string>{"QUIT_GAME", "RESTART_LEVEL", "Level",
                                                       "GenericTileLevel"}));
    EXPECT_EQ(candidates[1], (std::vector<std::string>{"a.tmx", "b.tmx"}));
}

// Also when the end script asks for another level, as one that moves the
// player on to the next map would: the quit stands, whoever asked for it.
TEST_F(StateManagerTest, QuitRunsTheEndScriptAndEndsTheLoop) {
    WriteScript("EndOfLevel.lua",
                "endCount = (endCount or 0) + 1\n"
                "ExecuteConsoleCommand('level Level next.tmx')\n"
                "ExecuteConsoleCommand('reload')\n");
    static bool closed = false;
    for (bool byWindow : {false, true}) {
        SCOPED_TRACE(byWindow ? "window closed" : "level QUIT_GAME");
        Start();
        Lua("endCount = 0 o = GenericGameObject:new()");
        closed = byWindow;
        GetMainLoopHooks().windowShouldClose = [] { return closed; };
        if (!byWindow) Lua("ExecuteConsoleCommand('level QUIT_GAME')");
        const std::string out = TestSupport::CaptureStdout([&] { EXPECT_FALSE(Frame(0.01)); });
        EXPECT_EQ(out,
                  "Level Level refused: the game is quitting\n"
                  "Level RESTART_LEVEL refused: the game is quitting\n");
        EXPECT_EQ(Global("endCount"), 1.0);
        EXPECT_EQ(GetObjectCount(), 0);
        EXPECT_EQ(GetStateManager().currentState, "QUIT_GAME");
        GetMainLoopHooks().windowShouldClose = nullptr;
        StopStateManager();
        GetStateManager() = StateManagerData();
    }
}

// A quit that comes while a change ends the level is that end's: here the
// window's close, seen once the end script has run. The next level is not
// loaded, none of its scripts runs, and the end script does not run again.
TEST_F(StateManagerTest, AQuitDuringALevelChangeEndsTheGameThere) {
    WriteScript("EndOfLevel.lua", "endCount = (endCount or 0) + 1\nclosed = true\n");
    dir.Write("Resources/Levels/00_Menu_Splash.tmx", "<map></map>\n");
    Start();
    static lua_State* S = nullptr;
    S = L;
    GetMainLoopHooks().windowShouldClose = [] {
        lua_getglobal(S, "closed");
        const bool closed = lua_toboolean(S, -1);
        lua_pop(S, 1);
        return closed;
    };
    ExecuteCommandLine("reload");
    EXPECT_FALSE(Frame(0.01));
    EXPECT_EQ(Global("endCount"), 1.0);
    EXPECT_EQ(Global("startCount"), 1.0);
    EXPECT_EQ(GetStateManager().currentState, "QUIT_GAME");
    GetMainLoopHooks().windowShouldClose = nullptr;
}

TEST_F(StateManagerTest, GodModeAndUnknownLevelTypes) {
    Start();
    Lua("assert(CheckGodMode() == 0)");
    ExecuteCommandLine("god");
    Lua("assert(CheckGodMode() == 1)");
    ExecuteCommandLine("god");
    Lua("assert(CheckGodMode() == 0)");

    // A type nobody registered (only reachable around the console's check)
    // leaves no level; frames go on without one.
    std::string out = TestSupport::CaptureStdout([this] {
        RequestStateChange("NoSuchType", "x.tmx");
        Frame(0.01);
        Frame(0.01);
    });
    EXPECT_NE(out.find("NoSuchType"), std::string::npos);
    EXPECT_EQ(GetStateManager().currentLevel, nullptr);
    Lua("assert(IsNull(GetLevel()) == 1)");
}

TEST_F(StateManagerTest, ARequestFromTheGlobalScriptIsKept) {
    // The global script runs before the state manager starts.
    WriteScript("LuaGlobals.lua", "ExecuteConsoleCommand('level Level')\n");
    Start();
    Frame(0.01);
    EXPECT_EQ(GetStateManager().currentState, "Level");
    EXPECT_EQ(Global("endCount"), 1.0);
}

namespace {

// Counts its updates; the first one it gets adds another component.
class SpawningComponent : public System::GenericComponent {
public:
    void Update(float) override {
        ++updates;
        if (spawn) {
            spawn = false;
            System::GenericGameObject* owner = GetOwner();
            if (owner) owner->AddComponent("TestSpawned");
        }
    }
    int updates = 0;
    bool spawn = true;
};

System::GenericComponent* MakeSpawning() {
    auto* component = new SpawningComponent();
    component->SetComponentName("TestSpawning");
    return component;
}
System::GenericComponent* MakeSpawned() {
    auto* component = new SpawningComponent();
    component->spawn = false;
    component->SetComponentName("TestSpawned");
    return component;
}

}  // namespace

TEST_F(StateManagerTest, AComponentMadeDuringTheUpdatePassWaitsForTheNextFrame) {
    ComponentFactoryNode* saved = g_componentFactoryHead;
    static ComponentFactoryNode spawning, spawned;
    RegisterComponentType(spawning, "TestSpawning", MakeSpawning);
    RegisterComponentType(spawned, "TestSpawned", MakeSpawned);
    Start();
    auto* object = new System::GenericGameObject();
    object->AddComponent("TestSpawning");
    Frame(0.01);
    auto* second = dynamic_cast<SpawningComponent*>(object->GetComponent("TestSpawned"));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->updates, 0);
    EXPECT_EQ(GetComponentById(second->GetId()), second);
    Frame(0.01);
    EXPECT_EQ(second->updates, 1);
    // Paused frames update no component.
    TogglePause();
    Frame(0.01);
    EXPECT_EQ(second->updates, 1);
    EXPECT_EQ((*GetComponentTableMain())[second->GetId()], second);
    g_componentFactoryHead = saved;
}

TEST_F(StateManagerTest, ALevelChangeDeletesLevelMenusAndKeepsHudMenus) {
    Gui = new GuiManager();
    GuiRoot = new GuiPanel(1000, 1000, 500.0f, 500.0f);
    MenuList = new MenuListType();
    HudMenuList = new MenuListType();
    Start();
    Lua(R"lua(
        level = Menu:new()
        levelButton = level:CreateButton(500, 500, 100, 100)
        hud = Menu:new()
        hudLabel = hud:CreateLabel(500, 500, 100, 100)
        hud:PushToHud()
    )lua");
    ExecuteCommandLine("level Level");
    Frame(0.01);
    EXPECT_TRUE(MenuList->empty());
    ASSERT_EQ(HudMenuList->size(), 1u);
    EXPECT_EQ(GuiRoot->children.size(), 1u);
    Lua(R"lua(
        assert(not pcall(function() levelButton:SetText("x") end))
        assert(not pcall(function() level:GetPanel() end))
        hudLabel:SetText("kept")
    )lua");
    DeleteMenuLists();
    delete Gui;
    Gui = nullptr;
}

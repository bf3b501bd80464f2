#include "Game/StateManager.h"

#include <GLFW/glfw3.h>

#include <cstdio>

#include "Audio/AudioManager.h"
#include "Graphics/Window.h"
#include "Gui/GuiManager.h"
#include "Input/InputManager.h"
#include "Platform/Signals.h"
#include "System/Source/Components/GenericComponent.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/ConsolePrint.h"
#include "System/Source/DataNode.h"
#include "System/Source/EngineClock.h"
#include "System/Source/GlobalScripts.h"
#include "System/Source/LuaGuard.h"
#include "System/Source/LuaState.h"
#include "System/Source/MessageQueue.h"
#include "System/Source/PerformanceGraph.h"
#include "System/Source/ScriptRegistry.h"
#include "World/Level.h"
#include "World/PhysicsWorld.h"

namespace {

constexpr double kMaxTimeStep = double(1.0f / 30.0f);  // 0.03333333507180214

StateManagerData g_state;
MainLoopHooks g_hooks;

// A request made before the state manager started (for instance from the
// global script), carried out once the first level exists.
bool g_earlyRequest = false;
System::String g_earlyState;
System::String g_earlyFile;

bool g_changedLastPass = false;

bool DefaultWindowShouldClose() {
    return WindowShouldClose();
}

bool DefaultDisplayLost() {
    return GameWindow && !UsableWindow();
}

void DefaultSetCursorVisible(bool visible) {
    AskAboutWindow([visible](GLFWwindow* window) {
        glfwSetInputMode(window, GLFW_CURSOR, visible ? GLFW_CURSOR_NORMAL : GLFW_CURSOR_HIDDEN);
    });
}

bool IsState(const System::String& state, const char* name) {
    return state == name;
}

void DeleteMenus(MenuListType* list) {
    if (!list) return;
    for (Menu* menu : *list) delete menu;
    list->clear();
}

bool ChangePending() {
    return g_state.requestedState != g_state.currentState || g_state.stateChange;
}

// The state change: end the level, delete everything it made.
void ChangeState() {
    RunEndOfLevelScript();
    delete g_state.currentLevel;
    g_state.currentLevel = nullptr;
    DeleteAllObjectsAndComponents();
    DeleteMenus(MenuList);
    ClearAllMessages();
    g_state.pauseAllowed = true;
    g_state.previousState = g_state.currentState;
    g_state.currentState = g_state.requestedState;
    g_state.stateChange = false;
}

// A quit that came while the old level ended for a change (a signal, the
// display lost, the window's close seen meanwhile) took that end for its
// own: the end script ran once, and the next level is not loaded, so that
// none of its scripts runs, nor the end script again on it.
bool QuitCameDuringChange() {
    if (IsState(g_state.currentState, "QUIT_GAME")) return false;
    MainLoopHooks& hooks = GetMainLoopHooks();
    return QuitSignalReceived() || hooks.windowShouldClose() || hooks.displayLost();
}

Level* CurrentLevel() {
    return g_state.currentLevel;
}

// Every active component gets its update; components made meanwhile wait in
// the table's pending vector until the next frame.
void UpdateAllComponents(float dt) {
    if (!BeginComponentIteration()) return;
    if (ComponentVector* main = GetComponentTableMain()) {
        const size_t count = main->size();
        for (size_t i = 0; i < count; ++i) {
            System::GenericComponent* component = (*main)[i];
            if (component && component->IsActive()) component->Update(dt);
        }
    }
    EndComponentIteration();
}

// Every alive object in view draws through its graphics component.
void DrawAllObjects() {
    ObjectVector* main = GetObjectTableMain();
    if (!main) return;
    const size_t count = main->size();
    for (size_t i = 0; i < count && i < main->size(); ++i) {
        System::GenericGameObject* object = (*main)[i];
        if (object && object->IsAlive()) object->Draw();
    }
}

}  // namespace

StateManagerData& GetStateManager() {
    return g_state;
}

MainLoopHooks& GetMainLoopHooks() {
    if (!g_hooks.windowShouldClose) g_hooks.windowShouldClose = DefaultWindowShouldClose;
    if (!g_hooks.displayLost) g_hooks.displayLost = DefaultDisplayLost;
    if (!g_hooks.setCursorVisible) g_hooks.setCursorVisible = DefaultSetCursorVisible;
    return g_hooks;
}

void StartStateManager() {
    g_earlyRequest = g_state.stateChange;
    if (g_earlyRequest) {
        g_earlyState = g_state.requestedState;
        g_earlyFile = g_state.levelFile;
    }
    g_state.levelFile = "00_Menu_Splash.tmx";
    g_state.requestedState = "";
    g_state.previousState = "";
    g_state.currentState = "GenericTileLevel";
    g_state.stateChange = false;
    delete g_state.graph;
    g_state.graph = new PerformanceGraph();
}

void StopStateManager() {
    delete g_state.graph;
    g_state.graph = nullptr;
    g_state.levelFile = System::String();
    g_state.requestedState = System::String();
    g_state.previousState = System::String();
    g_state.currentState = System::String();
    g_earlyState = System::String();
    g_earlyFile = System::String();
}

void RequestStateChange(const std::string& state, const std::string& levelFile) {
    if (IsState(g_state.requestedState, "QUIT_GAME") && state != "QUIT_GAME") {
        ConsolePrintf("Level %s refused: the game is quitting\n", state.c_str());
        return;
    }
    g_state.requestedState = System::MakeString(state);
    g_state.stateChange = true;
    if (levelFile != "PAST") g_state.levelFile = System::MakeString(levelFile);
}

bool StateDispatch() {
    if (IsState(g_state.currentState, "QUIT_GAME")) return false;
    if (IsState(g_state.currentState, "RESTART_LEVEL") ||
        IsState(g_state.currentState, "RELOAD_LEVEL")) {
        g_state.currentState = g_state.previousState;
        g_state.requestedState = g_state.previousState;
        g_state.previousState = "RESTART_LEVEL";
    }
    // The request is settled before the level loads, so that a change the
    // level's start script asks for is kept rather than overwritten.
    g_state.requestedState = g_state.currentState;
    g_state.currentLevel = LevelTypeRegistry::Create(System::ToStd(g_state.currentState));
    if (!g_state.currentLevel) {
        std::printf("Level type %s is not registered; running without a level\n",
                    g_state.currentState.c_str());
    } else if (!g_state.levelFile.empty()) {
        g_state.currentLevel->Load(System::ToStd(g_state.levelFile));
    }
    if (g_earlyRequest) {
        g_earlyRequest = false;
        RequestStateChange(System::ToStd(g_earlyState), System::ToStd(g_earlyFile));
    }
    return true;
}

double ScaleTimeStep(double measured, float& timeScale, float& scaleTimeLeft) {
    if (scaleTimeLeft > 0.0f) {
        scaleTimeLeft -= float(measured);
    } else if (scaleTimeLeft > -90.0f) {
        timeScale = 1.0f;
    }
    double step = measured * double(timeScale);
    if (step > kMaxTimeStep) step = kMaxTimeStep;
    return step;
}

// The replay step of the time step: recorded while recording; while playing
// back, the recorded step when one was read, else the measured one (so that
// the game does not stand still without a replay file or past its end). A
// file's step gets the bounds of a measured one: a damaged or forged file
// must not hand the simulation an endless or negative step.
static void ReplayTimeStep() {
    if (!Recorder) return;
    if (Recorder->IsRecording()) {
        Recorder->Write(&g_state.dt, sizeof(g_state.dt));
        return;
    }
    double recorded = 0.0;
    if (Recorder->Read(&recorded, sizeof(recorded))) {
        g_state.dt = Recorder->BoundTimeStep(recorded, kMaxTimeStep);
    }
}

bool MainLoopPass() {
    MainLoopHooks& hooks = GetMainLoopHooks();
    // Only a frame polls the window: through level changes with no frame
    // between them (a level whose load asks for a change again) its close
    // request would never arrive. The keys and characters this poll brings
    // are the next input update's.
    if (g_changedLastPass && ChangePending()) InputManager::PollBetweenFrames();
    // Ctrl+C and `kill` end the game as closing the window does. The quit
    // wins over a pending level change, which would otherwise keep it out
    // for as long as levels ask for changes while they load.
    if (hooks.windowShouldClose() || QuitSignalReceived()) {
        RequestStateChange("QUIT_GAME", "PAST");
        // The interrupt stands: the level's end script gets a grace of its
        // own, and one that loops is cut after it.
        RenewScriptGrace();
    }
    g_changedLastPass = ChangePending();
    if (g_changedLastPass) {
        // Whatever asked for it, the quit is taken: the level ends now.
        if (IsState(g_state.requestedState, "QUIT_GAME")) QuitTaken();
        ChangeState();
        if (QuitCameDuringChange()) {
            g_state.currentState = "QUIT_GAME";
            g_state.requestedState = "QUIT_GAME";
            QuitTaken();
        }
        return StateDispatch();
    }
    g_state.frameStart = EngineTime();

    ReplayTimeStep();
    BeginProfileSection("Input Manager", Color(255, 64, 16, 255));
    InputManager::Update();
    if (Recorder) Recorder->EndFrame();
    ApplyWindowFocus();
    if (!g_state.pauseMenuShown && InputManager::GetActionTriggered(0, "Pause_Game") != 0.0f) {
        TogglePause();
    }
    BeginFrame();
    if (Audio) Audio->Update();
    if (ScriptsChanged()) ReloadChangedScripts();

    float dt = float(g_state.dt);
    if (!g_state.paused) {
        BeginProfileSection("Level Update", Color(80, 220, 0, 255));
        if (Level* level = CurrentLevel()) level->Update(dt);
        BeginProfileSection("Components", Color(240, 128, 32, 255));
        UpdateAllComponents(dt);
        BeginProfileSection("Physics Update", Color(32, 200, 180, 255));
        PhysicsWorld::Step();
    }
    BeginProfileSection("Messages", Color(240, 200, 120, 255));
    DeliverAllMessages();

    BeginProfileSection("Draw Calls", Color(240, 128, 200, 255));
    DrawAllObjects();
    if (Level* level = CurrentLevel()) level->Draw();
    DrawFrame();
    UpdateFrameStatistics();

    double measured = EngineTime() - g_state.frameStart;
    if (g_state.graph) g_state.graph->UpdatePerformanceGraph(measured);
    g_state.dt = ScaleTimeStep(measured, g_state.timeScale, g_state.scaleTimeLeft);
    g_state.toggledThisFrame = false;
    return true;
}

void RunMainLoop() {
    if (!StateDispatch()) return;
    while (MainLoopPass()) {
    }
}

void SetPaused(bool paused) {
    g_state.paused = paused;
    if (paused) {
        InputManager::StopRumble();
    } else {
        InputManager::ResumeRumble();
    }
}

void TogglePause() {
    if (!g_state.pauseAllowed || g_state.toggledThisFrame) return;
    SetPaused(!g_state.paused);
    PostGuiMessage(MakeNodeWithInt(kPauseMenuName, "ToggleVisible"));
    g_state.pauseMenuShown = !g_state.pauseMenuShown;
    if (Audio) Audio->PauseSounds();
    GetMainLoopHooks().setCursorVisible(g_state.pauseMenuShown);
    if (Audio) Audio->SetMusicPauseVolume(g_state.pauseMenuShown ? 0.5f : 1.0f);
    g_state.toggledThisFrame = true;
}

bool IsPaused() {
    return g_state.paused;
}
bool StatePauseMenuShown() {
    return g_state.pauseMenuShown;
}
double StateFrameTime() {
    return g_state.dt;
}

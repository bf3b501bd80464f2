#include "Game/Engine.h"

#include <GLFW/glfw3.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "Audio/AudioManager.h"
#include "Game/GameHooks.h"
#include "Game/StateManager.h"
#include "Graphics/Camera.h"
#include "Graphics/DisplayConnection.h"
#include "Graphics/Effect.h"
#include "Graphics/Font.h"
#include "Graphics/Renderer.h"
#include "Graphics/TextureAtlas.h"
#include "Graphics/Window.h"
#include "Gui/GuiButton.h"
#include "Gui/GuiManager.h"
#include "Gui/GuiPanel.h"
#include "Input/InputManager.h"
#include "Platform/Signals.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/DataNode.h"
#include "System/Source/EngineRandom.h"
#include "System/Source/GlobalScripts.h"
#include "System/Source/LuaState.h"
#include "System/Source/MemoryPool.h"
#include "System/Source/MessageQueue.h"
#include "System/Source/PerformanceGraph.h"
#include "System/Source/ScriptRegistry.h"
#include "World/PhysicsWorld.h"
#include "World/Transform.h"

namespace {

MessageQueueOwner* g_messageQueueOwner = nullptr;

// A singleton that cannot be made leaves the engine unusable: say which and
// end the process rather than crash later.
template <class T>
T* Require(T* object, const char* what) {
    if (!object) {
        std::fprintf(stderr, "Could not create the %s.\n", what);
        std::exit(1);
    }
    return object;
}

// Without its window system there is no game: say which display could not
// be opened and why (a stale DISPLAY over SSH, a server that has gone).
bool StartWindowSystem() {
    if (OpenDisplayConnection()) return true;
    const char* why = nullptr;
    glfwGetError(&why);
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "Could not open the display %s: %s\n",
                 display && *display ? display : "(DISPLAY is not set)",
                 why ? why : "the window system did not start");
    return false;
}

// The FPS counter's text reaches the panel "FPS" as a settings tree.
void ApplyFpsText(const char* text) {
    DataNode* settings = MakeNodeWithString("FPS", "SetText", text);
    ApplyLayoutToRoot(settings);
    if (settings) {
        FreeNodeTree(settings);
        delete settings;
    }
}

// The C library's system() ignores SIGINT and SIGQUIT in the game while the
// command runs: Ctrl+C ends only the command. As a shell does for its
// children, the game then takes it as its own, once: the first asks for the
// quit; after that, a Ctrl+C that ends a command the level's end waits for
// ends nothing more.
int ExecuteTakingItsInterrupt(lua_State* L) {
    lua_settop(L, 1);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, 1, 1);
    const int status = int(lua_tointeger(L, -1));
    if (WIFSIGNALED(status) && (WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGQUIT) &&
        !QuitSignalReceived()) {
        raise(SIGINT);
    }
    return 1;
}

// The GUI's sounds: effects, at no position, once.
void PlayGuiClick(const char* name) {
    if (Audio) Audio->Play(name, nullptr, false, false, false);
}

}  // namespace

static void DeleteMenuList(MenuListType*& list) {
    if (!list) return;
    // A menu pushed to both lists, or twice to one, is deleted once.
    for (size_t i = 0; i < list->size(); ++i) {
        Menu* menu = (*list)[i];
        if (!menu) continue;
        for (size_t j = i + 1; j < list->size(); ++j) {
            if ((*list)[j] == menu) (*list)[j] = nullptr;
        }
        if (list == MenuList && HudMenuList) {
            for (Menu*& other : *HudMenuList) {
                if (other == menu) other = nullptr;
            }
        }
        delete menu;
    }
    delete list;
    list = nullptr;
}
void DeleteMenuLists() {
    DeleteMenuList(MenuList);
    DeleteMenuList(HudMenuList);
}

int StartEngine(int argc, char** argv) {
    std::srand(1);
    System::EngineSrand(1);
    Require(System::CreateEnginePool(System::ParseMemorySize("128m")), "memory pool");
    Audio = Require(new AudioManager(), "audio manager");
    InitComponentTable(Require(System::NewPooled<ComponentVector>(), "component table"));
    InitObjectTable(Require(System::NewPooled<ObjectVector>(), "object table"));
    g_messageQueueOwner = Require(new MessageQueueOwner(), "message queue owner");
    MenuList = Require(new MenuListType(), "menu list");
    HudMenuList = Require(new MenuListType(), "HUD menu list");
    CreateMessageQueue();
    Gui = Require(new GuiManager(), "GUI manager");

    InstallGameHooks();
    SetGuiFrameHooks(GuiFrameHooks{GuiStartup, DrawGui, GuiShutdown});
    SetGuiSoundHook(PlayGuiClick);
    SetGuiActionHook(InputManager::GetActionTriggered);
    if (!StartWindowSystem()) return 1;
    if (!RenderStartup()) {
        CloseDisplayConnection();
        return 1;
    }

    Camera mainCamera(0.0f, 0.0f);
    CurrentCamera = &mainCamera;
    System::g_isTransformVisible = [](System::GenericComponent* transform) {
        return CameraIsVisible(CurrentCamera, transform);
    };

    CreateScriptRegistry();
    InputManager::Init();
    InitLua();
    ReplaceLibraryFunction(GetLuaState(), "os", "execute", ExecuteTakingItsInterrupt);
    SetFpsTextHook(ApplyFpsText);
    StartStateManager();
    Recorder = Require(CreateReplayRecorder(argc, argv), "replay recorder");
    PhysicsWorld::Create();

    RunMainLoop();

    // The scripts' garbage is finalized here, while the camera, the effects
    // and the GUI still live. Later finalizers run as CloseLua closes the
    // state, when the engine refuses them.
    CollectLuaGarbage();
    // The main camera ends with this frame; nothing may reach it afterwards.
    CurrentCamera = nullptr;
    return 0;
}

int ShutdownEngine() {
    DeleteMenuLists();
    delete Recorder;
    Recorder = nullptr;
    StopScriptWatcher();
    StopStateManager();
    InputManager::Shutdown();
    RenderShutdown();
    FontRegistry::Clear();
    PhysicsWorld::Clear();
    PhysicsWorld::Destroy();
    CloseLua();
    System::DeletePooled(GetComponentTableMain());
    System::DeletePooled(GetObjectTableMain());
    InitComponentTable(nullptr);
    InitObjectTable(nullptr);
    delete Gui;
    Gui = nullptr;
    delete g_messageQueueOwner;
    g_messageQueueOwner = nullptr;
    // The GL context is gone by now: these free their records only.
    delete CurrentRenderer;
    CurrentRenderer = nullptr;
    if (Audio) Audio->Release();
    delete Audio;
    Audio = nullptr;
    delete GlobalTextureAtlas;
    GlobalTextureAtlas = nullptr;
    delete GlobalShaderCache;
    GlobalShaderCache = nullptr;
    System::ShutdownEnginePool();
    return DisplayLost() ? 1 : 0;
}

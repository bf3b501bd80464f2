// The engine core without a window: registrations, fresh object tables, the
// message queue, the script registry, a fresh Lua state, the state manager
// and a fake clock, in a temporary working directory with its own scripts.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "Game/Registration.h"
#include "Game/StateManager.h"
#include "Graphics/Camera.h"
#include "Gui/GuiManager.h"
#include "System/Source/Components/GenericComponent.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/EngineClock.h"
#include "System/Source/GlobalScripts.h"
#include "System/Source/LuaState.h"
#include "System/Source/MemoryPool.h"
#include "System/Source/MessageQueue.h"
#include "System/Source/ScriptRegistry.h"
#include "World/Level.h"
#include "World/PhysicsWorld.h"
#include "support/SavedConsole.h"
#include "support/TestSupport.h"

class EngineFixture : public ::testing::Test {
protected:
    static inline double clockNow = 0.0;
    static double FakeClock() { return clockNow; }

    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
        oldCwd = cwd;
        ASSERT_EQ(chdir(dir.Path().c_str()), 0);
        WriteScript("EndOfLevel.lua", "endCount = (endCount or 0) + 1\n");
        WriteScript("StartOfLevel.lua", "startCount = (startCount or 0) + 1\n");
        WriteScript("LuaGlobals.lua", "PLAYER_LIST = {}\n");

        StopScriptWatcher();
        CloseLua();
        // As in the game, the engine's objects live in the pool: objects that
        // scripts make and nothing owns (a camera from Camera:new()) end with
        // it.
        System::CreateEnginePool(System::ParseMemorySize("16m"));
        RunStaticRegistration();
        L = GetLuaState();
        InitComponentTable(System::NewPooled<ComponentVector>());
        InitObjectTable(System::NewPooled<ObjectVector>());
        CreateMessageQueue();
        CreateScriptRegistry();
        clockNow = 100.0;
        SetEngineClock(FakeClock);
        CurrentCamera = &camera;
        StateManagerData& state = GetStateManager();
        state = StateManagerData();
    }

    void TearDown() override {
        // Panels that scripts made go before the pool that holds them.
        GuiShutdown();
        DeleteAllObjectsAndComponents();
        ClearAllMessages();
        StateManagerData& state = GetStateManager();
        delete state.currentLevel;
        state.currentLevel = nullptr;
        StopStateManager();
        // Pause, lock and time scale as a fresh engine has them; the texts
        // go while their pool is still there.
        state = StateManagerData();
        // The first body of a level makes the world.
        PhysicsWorld::Destroy();
        StopScriptWatcher();
        CloseLua();
        System::DeletePooled(GetComponentTableMain());
        System::DeletePooled(GetObjectTableMain());
        InitComponentTable(nullptr);
        InitObjectTable(nullptr);
        DestroyMessageQueue();
        SetEngineClock(nullptr);
        CurrentCamera = nullptr;
        System::ShutdownEnginePool();
        EXPECT_EQ(chdir(oldCwd.c_str()), 0);
    }

    void WriteScript(const std::string& name, const std::string& text) {
        dir.Write("Resources/Lua/Globals/" + name, text);
    }

    // Starts the state manager and runs the first state dispatch.
    void Start() {
        InitLua();
        StartStateManager();
        ASSERT_TRUE(StateDispatch());
    }

    // One frame that takes `seconds` of (fake) time.
    bool Frame(double seconds) {
        frameSeconds = seconds;
        reads = 0;
        SetEngineClock(AdvancingClock);
        bool going = MainLoopPass();
        SetEngineClock(FakeClock);
        if (reads > 0) clockNow += seconds;
        return going;
    }

    double Global(const char* name) {
        lua_getglobal(L, name);
        double value = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return value;
    }

    void Lua(const std::string& code) {
        int top = lua_gettop(L);
        ASSERT_EQ(luaL_loadstring(L, code.c_str()), 0);
        ASSERT_EQ(lua_pcall(L, 0, 0, 0), 0) << lua_tostring(L, -1);
        lua_settop(L, top);
    }

    TestSupport::TempDir dir;
    TestSupport::SavedConsole savedConsole;  // console lines may set variables
    std::string oldCwd;
    lua_State* L = nullptr;
    Camera camera{0.0f, 0.0f};

private:
    // The first read of the clock in a frame is the frame's start; every
    // later read is its end, so the frame measures exactly its length.
    static inline double frameSeconds = 0.0;
    static inline int reads = 0;
    static double AdvancingClock() { return reads++ == 0 ? clockNow : clockNow + frameSeconds; }
};

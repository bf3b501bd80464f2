#include "Game/StateCommands.h"

#include <cmath>

#include "Game/StateManager.h"
#include "Graphics/Window.h"
#include "System/Source/ConsolePrint.h"
#include "System/Source/LuaState.h"
#include "World/Level.h"

void ConsoleLevel(ConsoleArgs& args) {
    if (args.Count() == 0) {
        ConsolePrintf("Please provide an argument.\n");
        return;
    }
    std::string state = args.GetArg(0);
    if (state != "QUIT_GAME" && state != "RESTART_LEVEL" && !LevelTypeRegistry::Exists(state)) {
        ConsolePrintf("Level %s does not exist\n", state.c_str());
        return;
    }
    if (state == "RESTART_LEVEL") {
        RequestStateChange(state, "PAST");
    } else {
        RequestStateChange(state, args.Count() > 1 ? args.GetArg(1) : std::string());
    }
}

ConsoleCandidates LevelCompletions() {
    ConsoleCandidates candidates(2);
    candidates[0].push_back("QUIT_GAME");
    candidates[0].push_back("RESTART_LEVEL");
    LevelTypeRegistry::GetNames(candidates[0]);
    candidates[1] = ListDirectory("Resources/Levels/", ".tmx");
    return candidates;
}

void ConsoleReload(ConsoleArgs&) {
    RequestStateChange("RESTART_LEVEL", "PAST");
}
void ConsoleResume(ConsoleArgs&) {
    TogglePause();
}
void ConsoleGod(ConsoleArgs&) {
    GetStateManager().godMode = !GetStateManager().godMode;
}
void ConsoleLockPause(ConsoleArgs&) {
    GetStateManager().pauseAllowed = false;
}
void ConsoleUnlockPause(ConsoleArgs&) {
    GetStateManager().pauseAllowed = true;
}

int LuaGetdt(lua_State* L) {
    ReadLuaArgumentValues(L);
    lua_pushnumber(L, double(float(GetFrameTime())));
    return 1;
}

int LuaSetDtScale(lua_State* L) {
    System::MetaArgs args = ReadLuaArgumentValues(L);
    float scale = System::GetArgument(args, 0).ToFloat();
    // A scale that is not a finite number would poison every later time
    // step: ignored.
    if (!std::isfinite(scale)) return 0;
    StateManagerData& state = GetStateManager();
    state.timeScale = scale;
    // Without a duration the scale holds until it is set again.
    float seconds = args.size() >= 2 ? System::GetArgument(args, 1).ToFloat() : -1.0f;
    if (std::isnan(seconds)) seconds = -1.0f;
    state.scaleTimeLeft = seconds < 0.0f ? -100.0f : seconds;
    return 0;
}

int LuaLockPause(lua_State* L) {
    ReadLuaArgumentValues(L);
    GetStateManager().pauseAllowed = false;
    return 0;
}

int LuaPause(lua_State* L) {
    ReadLuaArgumentValues(L);
    TogglePause();
    return 0;
}

int LuaGetDtScale(lua_State* L) {
    ReadLuaArgumentValues(L);
    lua_pushnumber(L, double(GetStateManager().timeScale));
    return 1;
}

int LuaGetLevel(lua_State* L) {
    ReadLuaArgumentValues(L);
    PushUserdata(L, GetStateManager().currentLevel);
    return 1;
}

int LuaCheckGodMode(lua_State* L) {
    ReadLuaArgumentValues(L);
    lua_pushnumber(L, GetStateManager().godMode ? 1.0 : 0.0);
    return 1;
}

#include "System/Source/GlobalScripts.h"

#include <lua.hpp>

#include "System/Source/ConsoleArgs.h"
#include "System/Source/LuaState.h"
#include "System/Source/MessageQueue.h"
#include "System/Source/ScriptRegistry.h"

void InitLua() {
    lua_State* L = GetLuaState();
    RegisterLuaFunction(LuaSendObjectMessage, "SendObjectMessage");
    lua_atpanic(L, PrintLuaError);
    lua_pushboolean(L, 0);
    lua_setfield(L, LUA_GLOBALSINDEX, "DEBUG");
    RunGlobalScript(kLuaGlobalsScript);
    lua_gc(L, LUA_GCSETSTEPMUL, 50);
}

void RunGlobalScript(const char* path) {
    ScriptNesting nesting(path ? path : "");
    if (nesting.Refused()) return;
    RunScriptChunk(LoadScript(path));
}

void RunStartOfLevelScript() {
    RunGlobalScript(kStartOfLevelScript);
}

void RunEndOfLevelScript() {
    RunGlobalScript(kEndOfLevelScript);
}

void ConsoleGlobalReload(ConsoleArgs&) {
    RunGlobalScript(kLuaGlobalsScript);
}

void ConsoleTeleport(ConsoleArgs&) {
    RunGlobalScript(kTeleportScript);
}

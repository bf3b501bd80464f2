// Console commands and Lua functions that steer the state manager.
#pragma once

#include <lua.hpp>

#include "System/Source/Console.h"

// Console commands.
void ConsoleLevel(ConsoleArgs& args);
ConsoleCandidates LevelCompletions();
void ConsoleReload(ConsoleArgs& args);
void ConsoleResume(ConsoleArgs& args);
void ConsoleGod(ConsoleArgs& args);
void ConsoleLockPause(ConsoleArgs& args);
void ConsoleUnlockPause(ConsoleArgs& args);

// Lua functions.
int LuaGetdt(lua_State* L);
int LuaSetDtScale(lua_State* L);
int LuaLockPause(lua_State* L);
int LuaPause(lua_State* L);
int LuaGetDtScale(lua_State* L);
int LuaCheckGodMode(lua_State* L);
// GetLevel(): the current level, or null.
int LuaGetLevel(lua_State* L);

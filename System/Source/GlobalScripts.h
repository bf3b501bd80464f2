// The engine's global scripts, run by name through the script registry (so
// that they reload while the game runs): the LuaGlobals script at the Lua
// start-up and on "globalReload", StartOfLevel and EndOfLevel around each
// level, Teleport on "teleport".
#pragma once

class ConsoleArgs;

// The Lua start-up: registers "SendObjectMessage", sets "DEBUG" to false,
// runs the LuaGlobals script and sets the collector's step multiplier.
void InitLua();

// Runs a script through the script registry (compiled at first use, then
// as the hot reload last compiled it). An error while it runs prints
// "Lua Error: %s\n"; it counts as a level of ScriptNesting.
void RunGlobalScript(const char* path);
void RunStartOfLevelScript();
void RunEndOfLevelScript();

// Console commands.
void ConsoleGlobalReload(ConsoleArgs& args);  // runs the LuaGlobals script
void ConsoleTeleport(ConsoleArgs& args);      // runs the Teleport script

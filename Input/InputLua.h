// The input functions offered to Lua.
#pragma once

#include <lua.hpp>

namespace InputLua {
// Keys by code (0-423): held, released this frame, pressed this frame.
int IsKeyPressed(lua_State* L);
int IsKeyReleased(lua_State* L);
int IsKeyTriggered(lua_State* L);
// RumbleControllers(strength 0.0-1.0).
int RumbleControllers(lua_State* L);
// The GUI position of this frame's left-button release, -1 without one.
int GetMouseClickX(lua_State* L);
int GetMouseClickY(lua_State* L);
int AnyControllerIn(lua_State* L);
// IsControllerActive(pad): pad 0 always counts as active.
int IsControllerActive(lua_State* L);
int AnyInput(lua_State* L);
// (action name, player).
int IsActionPressed(lua_State* L);
int IsActionReleased(lua_State* L);
int IsActionTriggered(lua_State* L);
// BindActionToKey(action name, code, player).
int BindActionToKey(lua_State* L);
}  // namespace InputLua

// Registers the thirteen functions above as Lua globals, in that order.
void InputLuaRegisterAll();
// Forgets every pad's remembered motor speeds.
void ZeroRememberedVibration();

// The Lua face of game objects and components: the methods of the class
// "GenericGameObject", the "new" functions of the engine's base classes and
// the global functions that find objects.
#pragma once

#include <lua.hpp>

namespace ObjectLua {

// Adds the ten methods of "GenericGameObject" to its class metadata.
void RegisterGameObjectMethods();

// "new" of the class tables "GenericGameObject", "GenericComponent", "empty".
int NewGameObject(lua_State* L);
int NewGenericComponent(lua_State* L);
int NewEmpty(lua_State* L);

// Global functions.
int GetGameObject(lua_State* L);
int GetObjectByName(lua_State* L);
int GetFirstPlayer(lua_State* L);
int GetClosestPlayer(lua_State* L);
int GetAllGameObjects(lua_State* L);
int CallMeDebug(lua_State* L);
int Null(lua_State* L);
int IsNull(lua_State* L);
int IsDataNull(lua_State* L);

}  // namespace ObjectLua

// STAND-IN for the game world's tile level: loading a map only runs the
// start-of-level script, and each frame's update calls the Lua global
// function OnLevelUpdate(dt) when a script defined one (in place of the
// map's update script). The TMX reader and the tile layer replace this file.
#include "System/Source/LuaState.h"
#include "World/GenericTileLevel.h"

void GenericTileLevel::Update(float dt) {
    lua_State* L = GetLuaState();
    int top = lua_gettop(L);
    lua_getglobal(L, "OnLevelUpdate");
    if (lua_isfunction(L, -1)) {
        lua_pushnumber(L, dt);
        if (lua_pcall(L, 1, 0, 0) != 0) PrintLuaError(L);
    }
    lua_settop(L, top);
}
void GenericTileLevel::Draw() {}
void GenericTileLevel::Load(std::string) {
    RunStartOfLevelScript();
}

Level* GenericTileLevel::Create() {
    return new GenericTileLevel();
}

void GenericTileLevel::RegisterMethods() {
    System::MetaData<GenericTileLevel>::SetParent<Level>();
}

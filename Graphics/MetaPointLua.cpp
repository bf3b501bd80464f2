// The Lua face of MetaPoint: the class table's "new" and the global function
// whose points Lua owns.
#include <cstring>

#include "Graphics/MetaPoint.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/LuaState.h"

int MetaPoint::LuaNew(lua_State* L) {
    System::CheckNewArguments(L);
    MetaPoint* point = new MetaPoint(0.0f, 0.0f);
    if (!point) return luaL_error(L, "not enough memory for a MetaPoint");
    PushUserdata(L, point);
    return 1;
}

int MetaPoint::LuaCreate(lua_State* L) {
    float px = 0.0f;
    float py = 0.0f;
    {
        System::MetaArgs args;
        ReadLuaArguments(L, args);
        px = System::GetArgument(args, 0).ToFloat();
        py = System::GetArgument(args, 1).ToFloat();
    }
    lua_settop(L, 0);

    // The userdata and its metatable come first, holding no object, so that
    // a failure while they are made leaves nothing behind.
    System::ObjectBlock* block = System::PushObjectBlock(L, nullptr, true);
    lua_createtable(L, 0, 2);
    lua_pushcfunction(L, System::LuaIndex);
    lua_setfield(L, -2, "__index");
    lua_pushcfunction(L, System::LuaGc);
    lua_setfield(L, -2, "__gc");
    lua_setmetatable(L, -2);

    MetaPoint* point = new MetaPoint(px, py);
    if (!point) return luaL_error(L, "not enough memory for a MetaPoint");
    System::HoldObject(*block, point);
    return 1;
}

// Placeholder for the message queue's Lua function until that module is in
// this tree: queues nothing.
#include <lua.hpp>

int LuaSendObjectMessage(lua_State*) {
    return 0;
}

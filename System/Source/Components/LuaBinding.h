// Reflected classes as Lua class tables: the class table with "className",
// "new", the method table and the property reader and writer, the closure
// through which every reflected method is called, and the objects as
// userdata holding an ObjectBlock.
#pragma once

#include <lua.hpp>

#include "System/Source/Components/Meta.h"
#include "System/Source/LuaState.h"

namespace System {

// The block of every userdata the engine hands to Lua for an object.
// Scripts cannot write a userdata's bytes, so the mark tells the engine's
// userdata from any other whatever metatable a script gives it; the serial
// tells the object it was made for from a later one at the same address;
// the liveness test (of the object's family, MetaBase::GetLivenessTest)
// and the ownership are the object's own, not those of the class its
// metatable names: a userdata whose object fails the test reads as holding
// no object. `checkedAt` is MetaBase::Deaths()
// when the object was last found alive: while no object has died since, the
// object needs no test.
struct ObjectBlock {
    MetaBase* object;  // first: a block's address is read as its object's
    uint64_t serial;
    LivenessTest liveness;
    uint64_t mark;
    mutable uint64_t checkedAt;
    bool ownedByLua;
};
// Pushes a new userdata holding `object` (may be null) with no metatable.
ObjectBlock* PushObjectBlock(lua_State* L, MetaBase* object, bool ownedByLua = false);
// Makes the block hold `object` (with its serial and its family's test).
void HoldObject(ObjectBlock& block, MetaBase* object);
// Pushes a userdata for what a property stored, without touching the
// object, which may have died since.
ObjectBlock* PushStoredObject(lua_State* L, const Userdata& record);

// The engine's block at `index`; null for any other value.
const ObjectBlock* EngineBlock(lua_State* L, int index);
// True when the value at `index` is a userdata the engine made for an object.
bool IsEngineUserdata(lua_State* L, int index);
// The object of an engine userdata, while it is the object the userdata was
// made for and alive; null for anything else.
MetaBase* ToEngineObject(lua_State* L, int index);

// The closure of every reflected method; its upvalue 1 holds the MetaMethod.
int CallMethodThunk(lua_State* L);
// Sets one method closure per method of `meta` and its ancestors (the most
// distant first, so a class's own method replaces an inherited one) into
// the table on top of the stack.
void PushMethods(lua_State* L, const MetaBase& meta);

// The property reader: (object, key) -> the property's value.
int LuaIndex(lua_State* L);
// Pushes the property named by argument 2 of `object`; returns the count
// of values pushed.
int PushProperty(MetaBase* object, lua_State* L);
// The property writer: (object, key, value).
int LuaNewIndex(lua_State* L);
// The property writer of component classes: a userdata that holds no
// object is reported as a failed check, which ends the program.
int LuaNewIndexComponent(lua_State* L);
// "__gc" of the objects that Lua owns: deletes the object.
int LuaGc(lua_State* L);

// The argument check of every "new": exactly one argument, a table.
void CheckNewArguments(lua_State* L);

// Registers the class table of a class under `typeName` in the registry
// and under `globalName` as a global.
void RegisterClassTable(const char* typeName, const char* globalName, lua_CFunction newFunction,
                        const MetaBase& classMeta, lua_CFunction newIndex);

// The class table of T: registry name TypeName<T>::name, methods from T's
// static metadata (and its parents), "new" = `newFunction`.
template <class T>
void RegisterClassTable(const char* globalName, lua_CFunction newFunction,
                        lua_CFunction newIndex = LuaNewIndex) {
    RegisterClassTable(TypeName<T>::name, globalName, newFunction, MetaData<T>::GetStatic(),
                       newIndex);
}

// "new" of a class built by its default constructor.
template <class T>
int LuaNewDefault(lua_State* L) {
    CheckNewArguments(L);
    PushUserdata(L, new T());
    return 1;
}

}  // namespace System

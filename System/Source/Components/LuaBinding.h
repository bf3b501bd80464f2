// Reflected classes as Lua class tables: the class table with "className",
// "new", the method table and the property reader and writer, the closure
// through which every reflected method is called, and the objects as
// pointer-sized userdata holding their System::MetaBase.
#pragma once

#include <lua.hpp>

#include "System/Source/Components/Meta.h"
#include "System/Source/LuaState.h"

namespace System {

// True when the value at `index` is a userdata the engine made for an
// object: its metatable is a registered class table, or it carries the
// engine's "__gc" (objects that Lua owns).
bool IsEngineUserdata(lua_State* L, int index);
// The object of an engine userdata; null for anything else.
MetaBase* ToEngineObject(lua_State* L, int index);

// Objects of some classes die while scripts still hold them (GUI panels).
// Such a class names a test of whether an object is still alive; a
// userdata whose metatable is that class's and whose object fails the test
// reads as holding no object. The test must not dereference the pointer.
using LivenessTest = bool (*)(const MetaBase* object);
void SetLivenessTest(const char* typeName, LivenessTest test);

// The object at `index`, for the property reader and writer of a class
// table: their upvalues 2 to 5 let an object of that class skip the full
// test of ToEngineObject, with the same result. May leave values above the
// arguments.
MetaBase* ToEngineObjectOfClass(lua_State* L, int index);

// The closure of every reflected method; its upvalue 1 holds the MetaMethod
// and what the closure knows of its class.
int CallMethodThunk(lua_State* L);
// Sets one method closure per method of `meta` and its ancestors (the most
// distant first, so a class's own method replaces an inherited one) into
// the table on top of the stack.
void PushMethods(lua_State* L, const MetaBase& meta);
// The same into the table at `methodTable`, for the class table at
// `classTable` registered under the name string at `className`: a call
// on an object of that table skips the full object test.
void PushMethods(lua_State* L, const MetaBase& meta, int methodTable, int classTable,
                 int className);

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

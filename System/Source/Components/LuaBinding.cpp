#include "System/Source/Components/LuaBinding.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace System {

namespace {

static_assert(sizeof(MetaMethod) == sizeof(void*), "a method travels as a light userdata");

// Absolute form of a stack index (pseudo-indices stay as they are).
int Absolute(lua_State* L, int index) {
    return (index < 0 && index > LUA_REGISTRYINDEX) ? lua_gettop(L) + index + 1 : index;
}

MetaBase* ReadObject(lua_State* L, int index) {
    MetaBase* object = nullptr;
    std::memcpy(&object, lua_touserdata(L, index), sizeof object);
    return object;
}

// True when the metatable of the userdata at `index` frees it through LuaGc.
bool OwnedByLua(lua_State* L, int index) {
    if (!lua_getmetatable(L, index)) return false;
    lua_pushliteral(L, "__gc");
    lua_rawget(L, -2);
    bool owned = lua_tocfunction(L, -1) == LuaGc;
    lua_pop(L, 2);
    return owned;
}

// The property name at argument 2: a string, or a number in its text form.
const char* PropertyKey(lua_State* L) {
    // Lua gives null for every other type.
    return lua_tostring(L, 2);
}

// The class name a stored userdata remembers: its metatable's "className",
// or "NULL". Leaves the stack as it was.
String StoredClassName(lua_State* L, int index) {
    String name = MakeString("NULL");
    if (lua_getmetatable(L, index)) {
        lua_pushliteral(L, "className");
        lua_rawget(L, -2);
        if (lua_type(L, -1) == LUA_TSTRING) name = MakeString(lua_tostring(L, -1));
        lua_pop(L, 2);
    }
    return name;
}

void RefuseWrite(lua_State* L, int valueType) {
    std::printf("dumpStack Err, type encountered: %s\n", lua_typename(L, valueType));
}

// Writes a number (booleans arrive as 0 or 1) into the field a property
// refers to, converted to the field's own type. False when the property is
// not a numeric field.
bool WriteNumber(const MetaValue& property, double number) {
    void* field = property.payload.p;
    if (!field) return false;
    if (property.IsType<char*>()) {
        *static_cast<char*>(field) =
            static_cast<char>(static_cast<uint32_t>(SafeDoubleToInt(number)) & 0xFFu);
    } else if (property.IsType<bool*>()) {
        *static_cast<bool*>(field) = SafeDoubleToInt(number) != 0;
    } else if (property.IsType<int*>()) {
        *static_cast<int*>(field) = SafeDoubleToInt(number);
    } else if (property.IsType<float*>()) {
        *static_cast<float*>(field) = SafeDoubleToFloat(number);
    } else if (property.IsType<double*>()) {
        *static_cast<double*>(field) = number;
    } else {
        return false;
    }
    return true;
}

void* NewBlock(lua_State* L, size_t bytes) {
    void* block = PoolNew(bytes);
    if (!block) luaL_error(L, "not enough memory for a new property");
    return block;
}

// The writer shared by every class table. `assertNull`: a userdata that holds
// no object ends the program through the failed-check report (component
// classes); otherwise such a write raises a script error.
int WriteProperty(lua_State* L, bool assertNull) {
    const char* key = PropertyKey(L);
    if (!key) return luaL_error(L, "property names must be strings");
    int valueType = lua_type(L, 3);
    switch (valueType) {
        case LUA_TSTRING:
            return 0;  // text is not stored in properties
        case LUA_TBOOLEAN:
        case LUA_TNUMBER:
        case LUA_TLIGHTUSERDATA:
        case LUA_TUSERDATA:
        case LUA_TTHREAD:
            break;
        default:
            RefuseWrite(L, valueType);
            return 0;
    }

    MetaBase* object = ToEngineObjectOfClass(L, 1);
    if (!object) {
        if (assertNull && IsEngineUserdata(L, 1)) ReportAssertion();
        return luaL_error(L, "property \"%s\" written without an object", key);
    }
    const MetaValue* property = object->FindProperty(key);

    switch (valueType) {
        case LUA_TBOOLEAN: {
            bool flag = lua_toboolean(L, 3) != 0;
            if (property) {
                if (!WriteNumber(*property, flag ? 1.0 : 0.0)) RefuseWrite(L, valueType);
            } else {
                auto* block = static_cast<bool*>(NewBlock(L, sizeof(bool)));
                *block = flag;
                object->AddDynamicProperty(key, MetaValue(block), MetaBase::Ownership::Block);
            }
            break;
        }
        case LUA_TNUMBER: {
            double number = lua_tonumber(L, 3);
            if (property) {
                if (!WriteNumber(*property, number)) RefuseWrite(L, valueType);
            } else {
                auto* block = static_cast<double*>(NewBlock(L, sizeof(double)));
                *block = number;
                object->AddDynamicProperty(key, MetaValue(block), MetaBase::Ownership::Block);
            }
            break;
        }
        case LUA_TLIGHTUSERDATA: {
            void* pointer = lua_touserdata(L, 3);
            if (!property) {
                object->AddDynamicProperty(key, MetaValue(pointer), MetaBase::Ownership::None);
            } else if (property->IsType<void*>() && property->payload.p &&
                       !object->DynamicProperties().count(key)) {
                // A registered pointer field; a stored light userdata is a
                // value, not a field, and is never written through.
                *static_cast<void**>(property->payload.p) = pointer;
            } else {
                RefuseWrite(L, valueType);
            }
            break;
        }
        case LUA_TUSERDATA: {
            bool hasMetatable = lua_getmetatable(L, 3) != 0;
            if (hasMetatable) lua_pop(L, 1);
            if (!hasMetatable || (property && !property->IsType<Userdata*>())) {
                RefuseWrite(L, valueType);
                break;
            }
            MetaBase* stored = ToEngineObject(L, 3);
            String className = StoredClassName(L, 3);
            if (property) {
                auto* record = static_cast<Userdata*>(property->payload.p);
                if (!record) {
                    RefuseWrite(L, valueType);
                    break;
                }
                record->object = stored;
                record->className = std::move(className);
            } else {
                Userdata* record = new Userdata;
                if (!record) return luaL_error(L, "not enough memory for a new property");
                record->object = stored;
                record->className = std::move(className);
                object->AddDynamicProperty(key, MetaValue(record), MetaBase::Ownership::Userdata);
            }
            break;
        }
        case LUA_TTHREAD: {
            DumpLuaStack(L);
            lua_State* thread = lua_tothread(L, 3);
            lua_pushvalue(L, 3);
            int ref = luaL_ref(L, LUA_REGISTRYINDEX);
            MetaValue value =
                MetaValue::Pointer(thread, TypeName<lua_State*>::name, TypeName<lua_State>::name);
            object->AddDynamicProperty(key, value, MetaBase::Ownership::LuaRef, ref);
            break;
        }
        default:
            break;
    }
    return 0;
}

// The class table's "__index": methods first (from the method table in the
// upvalue), then the object's properties.
// Runs on every method lookup, so it makes as few calls into Lua as it can:
// the nil left on the stack when the key names no method is harmless, as
// only the value pushed last is returned.
int ClassIndex(lua_State* L) {
    lua_pushvalue(L, 2);
    lua_rawget(L, lua_upvalueindex(1));
    if (!lua_isnil(L, -1)) return 1;
    return PushProperty(ToEngineObjectOfClass(L, 1), L);
}

}  // namespace

namespace {

// Whether the value at `index` is an engine userdata; `className` gets the
// name of its class table (null for the objects Lua owns, which have none).
// The name stays valid while the class table lives in the registry.
bool EngineUserdataClass(lua_State* L, int index, const char** className) {
    *className = nullptr;
    index = Absolute(L, index);
    if (lua_type(L, index) != LUA_TUSERDATA) return false;
    if (lua_objlen(L, index) != sizeof(MetaBase*)) return false;
    if (!lua_getmetatable(L, index)) return false;
    bool engine = false;
    lua_pushliteral(L, "className");
    lua_rawget(L, -2);
    if (lua_type(L, -1) == LUA_TSTRING) {
        const char* name = lua_tostring(L, -1);
        lua_rawget(L, LUA_REGISTRYINDEX);
        engine = lua_rawequal(L, -1, -2) != 0;
        if (engine) *className = name;
    }
    lua_pop(L, 2);
    return engine || OwnedByLua(L, index);
}

struct LivenessEntry {
    std::string typeName;
    LivenessTest test;
};
// On the ordinary heap: it outlives every pool and Lua state.
std::vector<LivenessEntry>& LivenessTests() {
    static std::vector<LivenessEntry> tests;
    return tests;
}
// Whether any class has a liveness test: read on every method call, so it
// is a plain flag rather than a look at the list behind its guard.
bool g_anyLivenessTest = false;

// False when the class has a liveness test that the object fails.
bool PassesLivenessTest(const char* className, const MetaBase* object) {
    if (!className) return true;
    for (const LivenessEntry& entry : LivenessTests()) {
        if (entry.typeName == className) return entry.test(object);
    }
    return true;
}

}  // namespace

bool IsEngineUserdata(lua_State* L, int index) {
    const char* className = nullptr;
    return EngineUserdataClass(L, index, &className);
}

void SetLivenessTest(const char* typeName, LivenessTest test) {
    for (LivenessEntry& entry : LivenessTests()) {
        if (entry.typeName == typeName) {
            entry.test = test;
            return;
        }
    }
    LivenessTests().push_back(LivenessEntry{typeName, test});
    g_anyLivenessTest = true;
}

MetaBase* ToEngineObject(lua_State* L, int index) {
    const char* className = nullptr;
    if (!EngineUserdataClass(L, index, &className)) return nullptr;
    MetaBase* object = ReadObject(L, Absolute(L, index));
    if (object && !PassesLivenessTest(className, object)) return nullptr;
    return object;
}

// The engine object at `index` for a closure that knows its class table
// (upvalue 2), the name it is registered under (upvalue 3) and the key
// "className" (upvalue 4): a userdata whose metatable is that table, still
// naming that class, is an engine object; anything else takes the full test.
MetaBase* ToEngineObjectOfClass(lua_State* L, int index) {
    // Light userdata have the length 0, so the length tells the full ones.
    void* block = lua_touserdata(L, index);
    if (block && lua_objlen(L, index) == sizeof(MetaBase*) && lua_getmetatable(L, index)) {
        bool same = false;
        if (lua_rawequal(L, -1, lua_upvalueindex(2))) {
            lua_pushvalue(L, lua_upvalueindex(4));
            lua_rawget(L, -2);
            same = lua_rawequal(L, -1, lua_upvalueindex(3)) != 0;
            lua_pop(L, 2);
        } else {
            lua_pop(L, 1);
        }
        if (same) {
            MetaBase* object = nullptr;
            std::memcpy(&object, block, sizeof object);
            // With no liveness test registered the class name is not even read.
            if (!g_anyLivenessTest) return object;
            return PassesLivenessTest(lua_tostring(L, lua_upvalueindex(3)), object) ? object
                                                                                     : nullptr;
        }
    }
    return ToEngineObject(L, index);
}

namespace {

// Pushes the three upvalues ToEngineObjectOfClass reads after the first.
void PushClassUpvalues(lua_State* L, int classTable, int className) {
    lua_pushvalue(L, classTable);
    lua_pushvalue(L, className);
    lua_pushliteral(L, "className");
}

}  // namespace

namespace {

// Reads the arguments after the object and calls the method with them; the
// list ends with this call.
MetaValue CallWithArguments(lua_State* L, MetaMethod method, MetaBase* self) {
    int top = lua_gettop(L);
    MetaArgs args;
    args.reserve(static_cast<size_t>(top > 1 ? top - 1 : 0));
    for (int i = 2; i <= top; ++i) {
        int type = lua_type(L, i);
        // Numbers are by far the most common arguments.
        if (type == LUA_TNUMBER) {
            args.push_back(MetaValue(static_cast<double>(lua_tonumber(L, i))));
            continue;
        }
        switch (type) {
            case LUA_TBOOLEAN:
                args.push_back(MetaValue(lua_toboolean(L, i) ? 1 : 0));
                break;
            case LUA_TSTRING:
                args.push_back(MetaValue(lua_tostring(L, i)));
                break;
            case LUA_TUSERDATA: {
                MetaBase* object = ToEngineObject(L, i);
                args.push_back(object ? MetaValue::Pointer(object, TypeName<void*>::name,
                                                           TypeName<void>::name,
                                                           MetaValue::Holds::Object)
                                      : MetaValue::Pointer(lua_touserdata(L, i),
                                                           TypeName<void*>::name,
                                                           TypeName<void>::name));
                break;
            }
            case LUA_TLIGHTUSERDATA:
                args.push_back(MetaValue::Pointer(lua_touserdata(L, i), TypeName<void*>::name,
                                                  TypeName<void>::name));
                break;
            default:
                std::printf("dumpStack Err, type failed: %s %i\n", lua_typename(L, type), type);
                break;
        }
    }
    return method(self, args);
}

}  // namespace

int CallMethodThunk(lua_State* L) {
    auto method = std::bit_cast<MetaMethod>(lua_touserdata(L, lua_upvalueindex(1)));
    MetaBase* self = ToEngineObjectOfClass(L, 1);
    if (!self && IsEngineUserdata(L, 1) && ReadObject(L, Absolute(L, 1))) {
        return luaL_error(L, "method called on an object that no longer exists");
    }
    if (!self || !method) return luaL_error(L, "method called without an object");
    const MetaValue result = CallWithArguments(L, method, self);
    if (result.IsBadSelf()) {
        return luaL_error(L, "method called on an object of another class (%s)",
                          self->GetTypeName());
    }
    if (result.typeName) PushLuaValue(L, result);
    return 1;
}

void PushMethods(lua_State* L, const MetaBase& meta) {
    int table = lua_gettop(L);
    lua_pushnil(L);  // no class table: every call takes the full object test
    lua_pushnil(L);
    PushMethods(L, meta, table, table + 1, table + 2);
    lua_settop(L, table);
}

void PushMethods(lua_State* L, const MetaBase& meta, int methodTable, int classTable,
                 int className) {
    if (meta.Parent() && meta.Parent() != &meta) {
        PushMethods(L, *meta.Parent(), methodTable, classTable, className);
    }
    for (const auto& [name, method] : meta.Methods()) {
        lua_pushlstring(L, name.data(), name.size());
        lua_pushlightuserdata(L, std::bit_cast<void*>(method));
        PushClassUpvalues(L, classTable, className);
        lua_pushcclosure(L, Guarded<CallMethodThunk>, 4);
        lua_settable(L, methodTable);
    }
}

int LuaIndex(lua_State* L) {
    return PushProperty(ToEngineObject(L, 1), L);
}

int PushProperty(MetaBase* object, lua_State* L) {
    if (!object) return 0;
    const char* key = PropertyKey(L);
    if (!key) return 0;
    const MetaValue* property = object->FindProperty(key);
    if (!property) return luaL_error(L, "Object does not have property \"%s\"!", key);
    PushLuaValues(L, *property);
    return 1;
}

int LuaNewIndex(lua_State* L) {
    return WriteProperty(L, false);
}

int LuaNewIndexComponent(lua_State* L) {
    return WriteProperty(L, true);
}

int LuaGc(lua_State* L) {
    // Only a userdata that Lua owns is freed, however the function is reached.
    if (!IsEngineUserdata(L, 1) || !OwnedByLua(L, 1)) return 0;
    MetaBase* object = ReadObject(L, 1);
    MetaBase* none = nullptr;
    std::memcpy(lua_touserdata(L, 1), &none, sizeof none);
    delete object;
    return 0;
}

void CheckNewArguments(lua_State* L) {
    int count = lua_gettop(L);
    if (count != 1) luaL_error(L, "Got %d arguments, expected 1 (class)", count);
    luaL_checktype(L, 1, LUA_TTABLE);
}

void RegisterClassTable(const char* typeName, const char* globalName, lua_CFunction newFunction,
                        const MetaBase& classMeta, lua_CFunction newIndex) {
    lua_State* L = GetLuaState();
    int top = lua_gettop(L);
    std::string metaName = std::string(typeName) + "__Meta";

    luaL_newmetatable(L, typeName);  // the class table, reused when registered before
    int classTable = lua_gettop(L);
    lua_pushstring(L, typeName);
    lua_setfield(L, classTable, "className");
    if (newFunction) {
        PushGuarded(L, newFunction);
        lua_setfield(L, classTable, "new");
    }

    lua_newtable(L);  // the method table
    int methodTable = lua_gettop(L);
    lua_pushstring(L, typeName);
    int className = lua_gettop(L);
    PushMethods(L, classMeta, methodTable, classTable, className);
    luaL_newmetatable(L, metaName.c_str());
    lua_pushcfunction(L, Guarded<LuaIndex>);
    lua_setfield(L, -2, "__index");
    lua_setmetatable(L, methodTable);

    lua_pushvalue(L, methodTable);
    PushClassUpvalues(L, classTable, className);
    lua_pushcclosure(L, Guarded<ClassIndex>, 4);
    lua_setfield(L, classTable, "__index");
    // The writer's upvalues line up with the methods': the guard holds the
    // writer itself where a method holds its MetaMethod.
    PushClassUpvalues(L, classTable, className);
    PushGuarded(L, newIndex ? newIndex : LuaNewIndex, 3);
    lua_setfield(L, classTable, "__newindex");

    lua_pushvalue(L, classTable);
    lua_setfield(L, LUA_GLOBALSINDEX, globalName);
    lua_settop(L, top);
}

}  // namespace System

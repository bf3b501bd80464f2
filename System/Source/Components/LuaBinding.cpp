#include "System/Source/Components/LuaBinding.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <string_view>

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

    const int top = lua_gettop(L);
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
            lua_settop(L, top);  // the stack as the writer was given it
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

// One cell per class name that has a class table or a liveness test. The
// closures of a class table point at their class's cell, so a test set
// after the table was registered still reaches them. On the ordinary heap
// and never freed: it outlives every pool and Lua state.
using LivenessCells = std::map<std::string, LivenessTest, std::less<>>;
LivenessCells& Cells() {
    static auto* cells = new LivenessCells;
    return *cells;
}

// False when the class has a liveness test that the object fails.
bool PassesLivenessTest(const LivenessTest* cell, const MetaBase* object) {
    return !cell || !*cell || (*cell)(object);
}
bool PassesLivenessTest(const char* className, const MetaBase* object) {
    if (!className) return true;
    auto found = Cells().find(std::string_view(className));
    return found == Cells().end() || PassesLivenessTest(&found->second, object);
}

// What a closure of a class table knows of its class, taken when it is made
// from its upvalues 2 and 3, which keep both alive as long as the closure:
// the class table and the interned name string. Compared by address, which
// for a table and for a (always interned) Lua 5.1 string is raw equality,
// without the calls into Lua that lua_rawequal with an upvalue costs.
struct ClassIdentity {
    const void* classTable = nullptr;  // null: no class, every call takes the full test
    const char* className = nullptr;
    const LivenessTest* liveness = nullptr;
};

// Upvalue 1 of a method closure: the method and its class's identity, so
// that one read of an upvalue serves the whole call.
struct MethodSlot {
    MetaMethod method = nullptr;
    ClassIdentity identity;
};

// The identity of the class table and name at `classTable` and `className`.
ClassIdentity IdentityOf(lua_State* L, int classTable, int className) {
    ClassIdentity identity;
    // A name that reads as a number could be matched by a converted number;
    // such a class takes the full test.
    if (lua_istable(L, classTable) && lua_type(L, className) == LUA_TSTRING &&
        !lua_isnumber(L, className)) {
        identity.classTable = lua_topointer(L, classTable);
        identity.className = lua_tostring(L, className);
        identity.liveness = &Cells()[identity.className];
    }
    return identity;
}

// The engine object at `index` for a closure whose upvalues 2 to 4 are its
// class table, the name it is registered under and the key "className": a
// full userdata of an object's size whose metatable is that table, still
// naming that class, is an engine object; anything else takes the full test.
// An object found the short way leaves two values above the arguments, which
// every caller discards with its own last step cheaper than a pop here.
MetaBase* ObjectOfClass(lua_State* L, int index, const ClassIdentity* identity) {
    // Light userdata have the length 0, so the length tells the full ones.
    void* block = lua_touserdata(L, index);
    if (identity && identity->classTable && block &&
        lua_objlen(L, index) == sizeof(MetaBase*) && lua_getmetatable(L, index)) {
        bool same = false;
        if (lua_topointer(L, -1) == identity->classTable) {
            // A script may have renamed the class table since the last call.
            lua_pushvalue(L, lua_upvalueindex(4));
            lua_rawget(L, -2);
            // A number would be converted, but never to the name (see IdentityOf).
            same = lua_tostring(L, -1) == identity->className;
            if (!same) lua_pop(L, 2);
        } else {
            lua_pop(L, 1);
        }
        if (same) {
            MetaBase* object = nullptr;
            std::memcpy(&object, block, sizeof object);
            return PassesLivenessTest(identity->liveness, object) ? object : nullptr;
        }
    }
    return ToEngineObject(L, index);
}

// The identity that the reader's and the writer's closures keep as upvalue 5.
const ClassIdentity* UpvalueIdentity(lua_State* L) {
    return static_cast<const ClassIdentity*>(lua_touserdata(L, lua_upvalueindex(5)));
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
    return PushProperty(ObjectOfClass(L, 1, UpvalueIdentity(L)), L);
}

}  // namespace

bool IsEngineUserdata(lua_State* L, int index) {
    const char* className = nullptr;
    return EngineUserdataClass(L, index, &className);
}

void SetLivenessTest(const char* typeName, LivenessTest test) {
    Cells()[typeName] = test;
}

MetaBase* ToEngineObject(lua_State* L, int index) {
    const char* className = nullptr;
    if (!EngineUserdataClass(L, index, &className)) return nullptr;
    MetaBase* object = ReadObject(L, Absolute(L, index));
    if (object && !PassesLivenessTest(className, object)) return nullptr;
    return object;
}

MetaBase* ToEngineObjectOfClass(lua_State* L, int index) {
    return ObjectOfClass(L, index, UpvalueIdentity(L));
}

namespace {

// Pushes the upvalues 2 to 4 that ObjectOfClass reads.
void PushClassUpvalues(lua_State* L, int classTable, int className) {
    lua_pushvalue(L, classTable);
    lua_pushvalue(L, className);
    lua_pushliteral(L, "className");
}

MetaValue VoidPointer(void* pointer, MetaValue::Holds holds = MetaValue::Holds::Plain) {
    return MetaValue::Pointer(pointer, TypeName<void*>::name, TypeName<void>::name, holds);
}

// The argument at `i` that is not a number, appended to `args`.
void AppendOtherArgument(lua_State* L, int i, int type, MetaArgs& args) {
    switch (type) {
        case LUA_TBOOLEAN:
            args.push_back(MetaValue(lua_toboolean(L, i) ? 1 : 0));
            break;
        case LUA_TSTRING:
            args.push_back(MetaValue(lua_tostring(L, i)));
            break;
        case LUA_TUSERDATA: {
            MetaBase* object = ToEngineObject(L, i);
            args.push_back(object ? VoidPointer(object, MetaValue::Holds::Object)
                                  : VoidPointer(lua_touserdata(L, i)));
            break;
        }
        case LUA_TLIGHTUSERDATA:
            args.push_back(VoidPointer(lua_touserdata(L, i)));
            break;
        default:
            std::printf("dumpStack Err, type failed: %s %i\n", lua_typename(L, type), type);
            break;
    }
}

// Reads the arguments after the object and calls the method with them; the
// list ends with this call.
MetaValue CallWithArguments(lua_State* L, MetaMethod method, MetaBase* self, int top) {
    MetaArgs args;
    args.reserve(static_cast<size_t>(top > 1 ? top - 1 : 0));
    for (int i = 2; i <= top; ++i) {
        int type = lua_type(L, i);
        // Numbers are by far the most common arguments.
        if (type == LUA_TNUMBER) {
            args.push_back(MetaValue(static_cast<double>(lua_tonumber(L, i))));
        } else {
            AppendOtherArgument(L, i, type, args);
        }
    }
    return method(self, args);
}

}  // namespace

int CallMethodThunk(lua_State* L) {
    const auto* slot = static_cast<const MethodSlot*>(lua_touserdata(L, lua_upvalueindex(1)));
    const int top = lua_gettop(L);
    MetaBase* self = ObjectOfClass(L, 1, slot ? &slot->identity : nullptr);
    if (!self && IsEngineUserdata(L, 1) && ReadObject(L, Absolute(L, 1))) {
        return luaL_error(L, "method called on an object that no longer exists");
    }
    if (!self || !slot || !slot->method) return luaL_error(L, "method called without an object");
    const MetaValue result = CallWithArguments(L, slot->method, self, top);
    if (result.IsBadSelf()) {
        return luaL_error(L, "method called on an object of another class (%s)",
                          self->GetTypeName());
    }
    // Without a result, the value on top of the arguments is the one result.
    if (result.typeName) {
        PushLuaValue(L, result);
    } else {
        lua_pushvalue(L, top);
    }
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
    const ClassIdentity identity = IdentityOf(L, classTable, className);
    for (const auto& [name, method] : meta.Methods()) {
        lua_pushlstring(L, name.data(), name.size());
        // Lua owns the slot: it goes with the closure.
        new (lua_newuserdata(L, sizeof(MethodSlot))) MethodSlot{method, identity};
        PushClassUpvalues(L, classTable, className);
        lua_pushcclosure(L, Guarded<CallMethodThunk>, 4);
        lua_settable(L, methodTable);
    }
}

namespace {

// Pushes the writer's closure over the 4 values on top of the stack, with
// the writer as upvalue 1. The engine's own writers are called directly,
// without the look at upvalue 1 that any other writer needs.
void PushWriter(lua_State* L, lua_CFunction writer) {
    lua_CFunction direct = writer == LuaNewIndex            ? Guarded<LuaNewIndex>
                           : writer == LuaNewIndexComponent ? Guarded<LuaNewIndexComponent>
                                                            : nullptr;
    if (!direct) {
        PushGuarded(L, writer, 4);
        return;
    }
    lua_pushlightuserdata(L, reinterpret_cast<void*>(writer));
    lua_insert(L, -5);
    lua_pushcclosure(L, direct, 5);
}

}  // namespace

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

    // The reader's and the writer's upvalue 5: the class's identity.
    new (lua_newuserdata(L, sizeof(ClassIdentity)))
        ClassIdentity(IdentityOf(L, classTable, className));
    int identity = lua_gettop(L);

    lua_pushvalue(L, methodTable);
    PushClassUpvalues(L, classTable, className);
    lua_pushvalue(L, identity);
    lua_pushcclosure(L, Guarded<ClassIndex>, 5);
    lua_setfield(L, classTable, "__index");
    // The writer's upvalues line up with the reader's: the guard holds the
    // writer itself where the reader holds its method table.
    PushClassUpvalues(L, classTable, className);
    lua_pushvalue(L, identity);
    PushWriter(L, newIndex ? newIndex : LuaNewIndex);
    lua_setfield(L, classTable, "__newindex");

    lua_pushvalue(L, classTable);
    lua_setfield(L, LUA_GLOBALSINDEX, globalName);
    lua_settop(L, top);
}

}  // namespace System

#include "System/Source/Components/LuaBinding.h"

#include <bit>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <string_view>

namespace System {

namespace {

static_assert(sizeof(MetaMethod) == sizeof(void*), "a method travels as a light userdata");

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
    MetaBase* object = ToEngineObject(L, 1);
    if (!object) {
        const ObjectBlock* block = EngineBlock(L, 1);
        if (assertNull && block && !block->object) ReportAssertion();
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
            const uint64_t serial = stored ? stored->Serial() : 0;
            const ObjectBlock* source = stored ? EngineBlock(L, 3) : nullptr;
            const LivenessTest liveness = source ? source->liveness : nullptr;
            String className = StoredClassName(L, 3);
            if (property) {
                auto* record = static_cast<Userdata*>(property->payload.p);
                if (!record) {
                    RefuseWrite(L, valueType);
                    break;
                }
                record->object = stored;
                record->serial = serial;
                record->liveness = liveness;
                record->className = std::move(className);
            } else {
                Userdata* record = new Userdata;
                if (!record) return luaL_error(L, "not enough memory for a new property");
                record->object = stored;
                record->serial = serial;
                record->liveness = liveness;
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

// The mark of the engine's blocks: random per run, so no script can know it.
uint64_t BlockMark() {
    static const uint64_t mark = [] {
        std::random_device device;
        uint64_t value = (uint64_t(device()) << 32) ^ device();
        return value ^ uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    }();
    return mark;
}

// What no count of deaths can equal: the block must be tested.
constexpr uint64_t kNeverChecked = ~uint64_t(0);

// The object a block holds, while it is the one the block was made for.
// Objects die seldom and scripts call often: a block tested since the last
// death is not tested again.
MetaBase* ObjectOf(const ObjectBlock& block) {
    MetaBase* object = block.object;
    if (!object) return nullptr;
    const uint64_t deaths = MetaBase::Deaths();
    if (block.checkedAt == deaths) return object;
    if (block.liveness && !block.liveness(object)) return nullptr;
    if (object->Serial() != block.serial) return nullptr;
    block.checkedAt = deaths;
    return object;
}

}  // namespace

void HoldObject(ObjectBlock& block, MetaBase* object) {
    block.object = object;
    block.serial = object ? object->Serial() : 0;
    block.liveness = object ? object->GetLivenessTest() : nullptr;
    block.checkedAt = object ? MetaBase::Deaths() : kNeverChecked;
}

ObjectBlock* PushObjectBlock(lua_State* L, MetaBase* object, bool ownedByLua) {
    auto* block = static_cast<ObjectBlock*>(lua_newuserdata(L, sizeof(ObjectBlock)));
    HoldObject(*block, object);
    block->mark = BlockMark();
    block->ownedByLua = ownedByLua;
    return block;
}

ObjectBlock* PushStoredObject(lua_State* L, const Userdata& record) {
    ObjectBlock* block = PushObjectBlock(L, nullptr);
    block->object = record.object;
    block->serial = record.serial;
    block->liveness = record.liveness;
    block->checkedAt = kNeverChecked;  // it may have died since it was stored
    return block;
}

const ObjectBlock* EngineBlock(lua_State* L, int index) {
    // Light userdata have the length 0, so the length tells the full ones.
    const auto* block = static_cast<const ObjectBlock*>(lua_touserdata(L, index));
    if (!block || lua_objlen(L, index) != sizeof(ObjectBlock)) return nullptr;
    return block->mark == BlockMark() ? block : nullptr;
}

bool IsEngineUserdata(lua_State* L, int index) {
    return EngineBlock(L, index) != nullptr;
}

MetaBase* ToEngineObject(lua_State* L, int index) {
    const ObjectBlock* block = EngineBlock(L, index);
    return block ? ObjectOf(*block) : nullptr;
}

namespace {

// The class table's "__index": methods first (from the method table in the
// upvalue), then the object's properties.
int ClassIndex(lua_State* L) {
    lua_pushvalue(L, 2);
    lua_rawget(L, lua_upvalueindex(1));
    if (!lua_isnil(L, -1)) return 1;
    return PushProperty(ToEngineObject(L, 1), L);
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
    MetaMethod method = nullptr;
    void* held = lua_touserdata(L, lua_upvalueindex(1));
    std::memcpy(&method, &held, sizeof method);
    const int top = lua_gettop(L);
    MetaBase* self = ToEngineObject(L, 1);
    if (!self) {
        const ObjectBlock* block = EngineBlock(L, 1);
        if (block && block->object) {
            return luaL_error(L, "method called on an object that no longer exists");
        }
        // A userdata the engine did not make, whatever its metatable says.
        if (!block && lua_type(L, 1) == LUA_TUSERDATA) {
            return luaL_error(L, "method called on an object of another class (%s)",
                              "not an engine object");
        }
    }
    if (!self || !method) return luaL_error(L, "method called without an object");
    const MetaValue result = CallWithArguments(L, method, self, top);
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
    if (meta.Parent() && meta.Parent() != &meta) PushMethods(L, *meta.Parent());
    const int table = lua_gettop(L);
    for (const auto& [name, method] : meta.Methods()) {
        lua_pushlstring(L, name.data(), name.size());
        void* held = nullptr;
        std::memcpy(&held, &method, sizeof method);
        lua_pushlightuserdata(L, held);
        lua_pushcclosure(L, Guarded<CallMethodThunk>, 1);
        lua_settable(L, table);
    }
}

namespace {

// Pushes the writer's closure. The engine's own writers are called
// directly, without the look at upvalue 1 that any other writer needs.
void PushWriter(lua_State* L, lua_CFunction writer) {
    if (writer == LuaNewIndex) {
        lua_pushcfunction(L, Guarded<LuaNewIndex>);
    } else if (writer == LuaNewIndexComponent) {
        lua_pushcfunction(L, Guarded<LuaNewIndexComponent>);
    } else {
        PushGuarded(L, writer);
    }
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
    if (property->IsType<lua_State*>()) {
        // A thread comes from its anchor, not from the pointer kept here.
        const auto& dynamic = object->DynamicProperties();
        auto found = dynamic.find(std::string_view(key));
        int ref = found != dynamic.end() ? found->second.luaRef : LUA_NOREF;
        PushAnchoredThread(L, ref, property->payload.p);
        return 1;
    }
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
    // Only a userdata that Lua owns is freed, however the function is
    // reached and whatever metatable a script gave the userdata.
    const ObjectBlock* block = EngineBlock(L, 1);
    if (!block || !block->ownedByLua) return 0;
    MetaBase* object = block->object;
    HoldObject(*static_cast<ObjectBlock*>(lua_touserdata(L, 1)), nullptr);
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
    PushMethods(L, classMeta);
    luaL_newmetatable(L, metaName.c_str());
    lua_pushcfunction(L, Guarded<LuaIndex>);
    lua_setfield(L, -2, "__index");
    lua_setmetatable(L, methodTable);

    lua_pushvalue(L, methodTable);
    lua_pushcclosure(L, Guarded<ClassIndex>, 1);
    lua_setfield(L, classTable, "__index");
    PushWriter(L, newIndex ? newIndex : LuaNewIndex);
    lua_setfield(L, classTable, "__newindex");

    lua_pushvalue(L, classTable);
    lua_setfield(L, LUA_GLOBALSINDEX, globalName);
    lua_settop(L, top);
}

}  // namespace System

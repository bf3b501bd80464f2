#include "World/ObjectLua.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "System/Source/Components/Empty.h"
#include "System/Source/Components/GenericComponent.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/LuaState.h"
#include "World/Transform.h"

namespace ObjectLua {

namespace {

using System::GenericComponent;
using System::GenericGameObject;
using System::GetArgument;
using System::MetaArgs;

const char* Text(MetaArgs& args, unsigned index) {
    return GetArgument(args, index).ToString();
}

MetaValue AddComponentMethod(GenericGameObject& self, MetaArgs& args) {
    return MetaValue(self.AddComponent(Text(args, 0)));
}
MetaValue GetComponentMethod(GenericGameObject& self, MetaArgs& args) {
    GenericComponent* component = self.GetComponent(Text(args, 0));
    return MetaValue(component);
}
MetaValue HasComponentMethod(GenericGameObject& self, MetaArgs& args) {
    return MetaValue(self.HasComponent(Text(args, 0)));
}
MetaValue HasPropertyMethod(GenericGameObject& self, MetaArgs& args) {
    return MetaValue(self.HasProperty(Text(args, 0)));
}
MetaValue RemoveComponentMethod(GenericGameObject& self, MetaArgs& args) {
    return MetaValue(self.RemoveComponent(Text(args, 0)));
}
MetaValue SetNameMethod(GenericGameObject& self, MetaArgs& args) {
    self.SetName(Text(args, 0));
    return MetaValue::None();
}
MetaValue DestroyMethod(GenericGameObject& self, MetaArgs&) {
    self.Destroy();
    return MetaValue::None();
}
MetaValue GetIdMethod(GenericGameObject& self, MetaArgs&) {
    return MetaValue(self.GetId());
}
MetaValue GetNameMethod(GenericGameObject& self, MetaArgs&) {
    return MetaValue::Pointer(const_cast<char*>(self.GetName()), "char const *", "char");
}
MetaValue IsAliveMethod(GenericGameObject& self, MetaArgs&) {
    return MetaValue(self.IsAlive());
}

// The x coordinate of the object's active Transform; false when it has none.
bool TransformX(GenericGameObject* object, float& x) {
    GenericComponent* component = object ? object->GetComponent("Transform") : nullptr;
    const Transform* transform = component ? dynamic_cast<const Transform*>(component) : nullptr;
    if (!transform) return false;
    x = transform->x;
    return true;
}

bool IsPlayer(GenericGameObject* object) {
    return object && std::strcmp(object->GetName(), "Player") == 0;
}

// The pointer a userdata argument holds, without trusting its size: null
// for a block too small to hold one. Nil and a missing argument count as
// null too.
bool HoldsNull(lua_State* L, int index) {
    switch (lua_type(L, index)) {
        case LUA_TNONE:
        case LUA_TNIL:
            return true;
        case LUA_TLIGHTUSERDATA:
            return lua_touserdata(L, index) == nullptr;
        case LUA_TUSERDATA: {
            if (lua_objlen(L, index) < sizeof(void*)) return false;
            void* held = nullptr;
            std::memcpy(&held, lua_touserdata(L, index), sizeof(held));
            return held == nullptr;
        }
        default:
            return false;
    }
}

}  // namespace

void RegisterGameObjectMethods() {
    using Meta = System::MetaData<GenericGameObject>;
    using System::Method;
    Meta::AddMethod("AddComponent", Method<GenericGameObject, AddComponentMethod>);
    Meta::AddMethod("GetComponent", Method<GenericGameObject, GetComponentMethod>);
    Meta::AddMethod("HasComponent", Method<GenericGameObject, HasComponentMethod>);
    Meta::AddMethod("HasProperty", Method<GenericGameObject, HasPropertyMethod>);
    Meta::AddMethod("RemoveComponent", Method<GenericGameObject, RemoveComponentMethod>);
    Meta::AddMethod("SetName", Method<GenericGameObject, SetNameMethod>);
    Meta::AddMethod("Destroy", Method<GenericGameObject, DestroyMethod>);
    Meta::AddMethod("GetId", Method<GenericGameObject, GetIdMethod>);
    Meta::AddMethod("GetName", Method<GenericGameObject, GetNameMethod>);
    Meta::AddMethod("IsAlive", Method<GenericGameObject, IsAliveMethod>);
}

int NewGameObject(lua_State* L) {
    return System::LuaNewDefault<GenericGameObject>(L);
}

int NewGenericComponent(lua_State* L) {
    System::CheckNewArguments(L);
    // The base class is abstract: "new" makes nothing and hands back the
    // class table, which becomes its own metatable.
    lua_getfield(L, LUA_REGISTRYINDEX, System::TypeName<GenericComponent>::name);
    lua_setmetatable(L, 1);
    lua_settop(L, 1);
    return 1;
}

int NewEmpty(lua_State* L) {
    return System::LuaNewDefault<empty>(L);
}

int GetGameObject(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    PushUserdata(L, GetObjectById(GetArgument(args, 0).ToInt()));
    return 1;
}

int GetObjectByName(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    const char* name = Text(args, 0);
    GenericGameObject* found = nullptr;
    for (int id = 0, count = GetObjectCount(); id < count && !found; ++id) {
        GenericGameObject* object = GetObjectById(id);
        if (object && std::strcmp(object->GetName(), name) == 0) found = object;
    }
    PushUserdata(L, found);
    return 1;
}

int GetFirstPlayer(lua_State* L) {
    ReadLuaArgumentValues(L);
    int found = -1;
    for (int id = 0, count = GetObjectCount(); id < count && found < 0; ++id) {
        if (IsPlayer(GetObjectEntry(id))) found = id;
    }
    lua_pushnumber(L, found);
    return 1;
}

int GetClosestPlayer(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    GenericGameObject* from = GetArgument(args, 0).ToObject<GenericGameObject>();
    GenericGameObject* best = nullptr;
    float fromX = 0.0f;
    if (TransformX(from, fromX)) {
        float bestDistance = -1.0f;
        for (int id = 0, count = GetObjectCount(); id < count; ++id) {
            GenericGameObject* object = GetObjectEntry(id);
            float x = 0.0f;
            // A player without an active Transform has no place to compare.
            if (!IsPlayer(object) || !TransformX(object, x)) continue;
            float distance = std::fabs(x - fromX);
            if (bestDistance < 0.0f || distance < bestDistance) {
                best = object;
                bestDistance = distance;
            }
        }
    }
    PushUserdata(L, best);
    return 1;
}

// A C function returns at most LUAI_MAXCSTACK (8000) values, arguments
// included. The objects beyond that are counted and named in one line, not
// dropped unnoticed.
int GetAllGameObjects(lua_State* L) {
    lua_settop(L, 0);  // the arguments are ignored: their slots go to results
    int pushed = 0;
    int leftOut = 0;
    for (int id = 0, count = GetObjectCount(); id < count; ++id) {
        GenericGameObject* object = GetObjectById(id);
        if (!object) continue;
        if (leftOut == 0 && lua_checkstack(L, 1)) {
            PushUserdata(L, object);
            ++pushed;
        } else {
            ++leftOut;
        }
    }
    if (leftOut > 0) {
        std::printf("GetAllGameObjects: %d of %d objects left out (a Lua function returns at most "
                    "%d values)\n",
                    leftOut, pushed + leftOut, pushed);
    }
    return pushed;
}

int CallMeDebug(lua_State* L) {
    ReadLuaArgumentValues(L);
    return 0;
}

int Null(lua_State* L) {
    ReadLuaArgumentValues(L);
    PushUserdata(L, static_cast<System::MetaBase*>(nullptr));
    return 1;
}

int IsNull(lua_State* L) {
    ReadLuaArgumentValues(L);
    lua_pushnumber(L, HoldsNull(L, 1) ? 1.0 : 0.0);
    return 1;
}

// The data behind the pointer is not read: a freed object would make that
// read itself the fault. Only the pointer is tested.
int IsDataNull(lua_State* L) {
    return IsNull(L);
}

}  // namespace ObjectLua

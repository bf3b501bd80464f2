#include "World/Object.h"

#include "System/Source/Components/LuaBinding.h"

namespace {

constexpr const char* kObjectComponents[] = {"Transform", "GraphicsComponent"};
constexpr const char* kLuaObjectComponents[] = {"LuaComponent", "Transform", "GraphicsComponent",
                                                "PhysicsBody"};

template <std::size_t N>
void AddAll(System::GenericGameObject& object, const char* const (&names)[N]) {
    for (const char* name : names) object.AddComponent(name);
}

template <std::size_t N>
void RemoveAll(System::GenericGameObject& object, const char* const (&names)[N]) {
    for (const char* name : names) object.RemoveComponent(name);
}

template <class T>
System::GenericGameObject* CreateNamed(const char* name) {
    T* object = new T();
    if (object) object->SetName(name);
    return object;
}

}  // namespace

Object::Object() {
    AddAll(*this, kObjectComponents);
}

Object::~Object() {
    RemoveAll(*this, kObjectComponents);
}

System::GenericGameObject* Object::Create() {
    return CreateNamed<Object>("Object");
}

int Object::LuaNew(lua_State* L) {
    return System::LuaNewDefault<Object>(L);
}

LuaObject::LuaObject() {
    AddAll(*this, kLuaObjectComponents);
}

LuaObject::~LuaObject() {
    RemoveAll(*this, kLuaObjectComponents);
}

System::GenericGameObject* LuaObject::Create() {
    return CreateNamed<LuaObject>("LuaObject");
}

int LuaObject::LuaNew(lua_State* L) {
    return System::LuaNewDefault<LuaObject>(L);
}

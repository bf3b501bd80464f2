// The two kinds of game object; they differ only in the components they
// start with.
#pragma once

#include <lua.hpp>

#include "System/Source/Components/GenericGameObject.h"

// Starts with a Transform and a GraphicsComponent.
class Object : public System::GenericGameObject {
public:
    Object();
    ~Object() override;

    // Object factory creator: a new object named "Object".
    static System::GenericGameObject* Create();
    static int LuaNew(lua_State* L);
};

// Starts with a LuaComponent, a Transform, a GraphicsComponent and a
// PhysicsBody, in that order, so that its scripts run before its Transform
// and body are updated in a frame.
class LuaObject : public System::GenericGameObject {
public:
    LuaObject();
    ~LuaObject() override;

    // Object factory creator: a new object named "LuaObject".
    static System::GenericGameObject* Create();
    static int LuaNew(lua_State* L);
};

// Where an object is, how large it is and how it is turned.
#pragma once

#include <lua.hpp>

#include "System/Source/Components/GenericComponent.h"

class Transform : public System::GenericComponent {
public:
    // Registers x, y, z, scaleX, scaleY and rotation as float properties.
    Transform();

    // 0: x = a1, 1: y = a1, 2: x += a1, 3: y += a1; anything else is not
    // handled (false).
    bool HandleMessage(const MessagePayload& payload) override;
    void Update(float) override {}
    // A re-added Transform starts fresh.
    void OnEnable() override;

    static System::GenericComponent* Create();
    static int LuaNew(lua_State* L);

    float x = 0.0f;  // centre, world units, y up
    float y = 0.0f;
    float z = 0.0f;  // depth offset
    float scaleX = 10.0f;
    float scaleY = 10.0f;
    float rotation = 0.0f;  // radians
};

// The owner's active Transform, or null (also when the component of that
// name is of another class).
Transform* FindTransform(const System::GenericComponent& component);

// A world coordinate as an integer pixel: truncated toward zero, NaN as 0
// and out-of-range values saturated.
int ToPixel(float value);

class Camera;
// Whether the rectangle a Transform places (x, y, scaleX, scaleY) overlaps
// twice the camera's view; false without a transform or camera.
bool CameraIsVisible(const Camera* camera, const System::GenericComponent* transform);

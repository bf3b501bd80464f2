#include "World/Transform.h"

#include "Graphics/Camera.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/LuaBinding.h"

namespace {
constexpr char kName[] = "Transform";
}

Transform::Transform() {
    AddProperty("x", MetaValue(&x));
    AddProperty("y", MetaValue(&y));
    AddProperty("z", MetaValue(&z));
    AddProperty("scaleX", MetaValue(&scaleX));
    AddProperty("scaleY", MetaValue(&scaleY));
    AddProperty("rotation", MetaValue(&rotation));
}

bool Transform::HandleMessage(const MessagePayload& payload) {
    // A message without a number says nothing.
    if (payload.Empty()) return false;
    const System::MetaArgs& args = payload.Args();
    const float value = System::GetArgument(args, 1).ToFloat();
    switch (System::GetArgument(args, 0).ToInt()) {
        case 0:
            x = value;
            return true;
        case 1:
            y = value;
            return true;
        case 2:
            x += value;
            return true;
        case 3:
            y += value;
            return true;
        default:
            return false;
    }
}

void Transform::OnEnable() {
    x = y = z = rotation = 0.0f;
    scaleX = scaleY = 10.0f;
}

System::GenericComponent* Transform::Create() {
    Transform* transform = new Transform();
    if (transform) transform->SetComponentName(kName);
    return transform;
}

int Transform::LuaNew(lua_State* L) {
    return System::LuaNewDefault<Transform>(L);
}

Transform* FindTransform(const System::GenericComponent& component) {
    System::GenericGameObject* owner = component.GetOwner();
    if (!owner) return nullptr;
    return dynamic_cast<Transform*>(owner->GetComponent(kName));
}

int ToPixel(float value) {
    return SafeDoubleToInt(static_cast<double>(value));
}

bool CameraIsVisible(const Camera* camera, const System::GenericComponent* component) {
    const Transform* transform = component ? dynamic_cast<const Transform*>(component) : nullptr;
    if (!camera || !transform) return false;
    return CameraSeesRect(*camera, transform->x, transform->y, transform->scaleX,
                          transform->scaleY);
}

#include "Graphics/Camera.h"

#include <cmath>
#include <glm/gtc/matrix_transform.hpp>

#include "Graphics/Window.h"
#include "System/Source/Color.h"
#include "System/Source/Components/GenericComponent.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/EngineRandom.h"
#include "System/Source/FrameState.h"

Camera* CurrentCamera = nullptr;

namespace {

constexpr float kAspect = 1.7777778f;

float Random01() {
    return float(System::EngineRand()) / 32767.0f;
}

}  // namespace

Camera::Camera(float x, float y) : position(x, y) {
    AddProperty("position", MetaValue(&position));
    AddProperty("rotation", MetaValue(&rotation));
    AddProperty("width", MetaValue(&width));
    AddProperty("height", MetaValue(&height));
    AddProperty("lowerX", MetaValue(&lowerX));
    AddProperty("lowerY", MetaValue(&lowerY));
    AddProperty("upperX", MetaValue(&upperX));
    AddProperty("upperY", MetaValue(&upperY));
    view = glm::translate(glm::mat4(1.0f),
                          glm::vec3(float(WindowWidth / 2), float(WindowHeight / 2), 0.0f));
}

void Camera::SetBounds(float w, float h) {
    (void)h;
    // A view without a positive, finite size would divide by zero: refused.
    if (!(w > 0.0f) || !std::isfinite(w)) return;
    float newWidth = w;
    float newHeight = w / kAspect;
    float newScale = 1920.0f / w;
    if (upperX - lowerX < w) {
        newWidth = upperX - lowerX;
        newScale = 1920.0f / newWidth;
    }
    if (w / kAspect > upperY - lowerY) {
        newHeight = upperY - lowerY;
        newWidth = newHeight * kAspect;
        newScale = 1920.0f / newWidth;
    }
    if (!(newWidth > 0.0f) || !std::isfinite(newScale)) return;
    width = newWidth;
    height = newHeight;
    scale = newScale;
}

void Camera::SetPosition(float x, float y) {
    float half = width / 2.0f;
    float halfH = height / 2.0f;
    if (x < lowerX + half) x = lowerX + half;
    if (y < lowerY + halfH) y = lowerY + halfH;
    if (x > upperX - half) x = upperX - half;
    if (y > upperY - halfH) y = upperY - halfH;
    position.x = x;
    position.y = y;
}

void Camera::Lock() {
    savedLowerX = lowerX;
    savedLowerY = lowerY;
    savedUpperX = upperX;
    savedUpperY = upperY;
    locked = true;
    float half = (1920.0f / zoom) * 0.5f;
    float halfH = (1080.0f / zoom) * 0.5f;
    lowerX = position.x - half;
    upperX = position.x + half;
    lowerY = position.y - halfH;
    upperY = position.y + halfH;
}

void Camera::Unlock() {
    // Without a Lock there is nothing saved to restore.
    if (!locked) return;
    locked = false;
    lowerX = savedLowerX;
    lowerY = savedLowerY;
    upperX = savedUpperX;
    upperY = savedUpperY;
}

void Camera::ResetBounds() {
    lowerX = lowerY = savedLowerX = savedLowerY = -kUnbounded;
    upperX = upperY = savedUpperX = savedUpperY = kUnbounded;
    width = kScreenWidth;
    height = kScreenHeight;
    scale = 1.0f;
    locked = false;
}

void Camera::SetShake(float amplitudeX, float amplitudeY, float duration, bool symmetric) {
    shakeX = amplitudeX;
    shakeY = amplitudeY;
    shakeTime = duration;
    shakeSymmetric = symmetric;
}

void Camera::Update(float dt) {
    if (shakeTime <= 0.0f) {
        shakenX = position.x;
        shakenY = position.y;
    } else {
        shakeTime -= dt;
        shakeTick += dt * 60.0f;
        if (shakeTick > 1.0f) {
            shakenX = position.x;
            shakenY = position.y;
            shakeTick = 0.0f;
            if (shakeSymmetric) {
                shakenX += -shakeX + (shakeX - -shakeX) * Random01();
                shakenY += -shakeY + (shakeY - -shakeY) * Random01();
            } else {
                shakenX += shakeX * Random01();
                shakenY += shakeY * Random01();
            }
        }
    }
    view = glm::translate(glm::mat4(1.0f), glm::vec3(960.0f, 540.0f, 0.0f));
    view = glm::scale(view, glm::vec3(scale, scale, 1.0f));
    view = glm::translate(view, glm::vec3(-shakenX, -shakenY, 0.0f));
}

void CameraUpdate() {
    if (CurrentCamera) CurrentCamera->Update(float(GetFrameTime()));
}

bool CameraSeesRect(const Camera& camera, float x, float y, float scaleX, float scaleY) {
    const float px = camera.position.x;
    const float py = camera.position.y;
    return px - camera.width <= x + scaleX / 2.0f && px + camera.width >= x - scaleX / 2.0f &&
           py - camera.height <= y + scaleY / 2.0f && py + camera.height >= y - scaleY / 2.0f;
}

namespace {

using System::GetArgument;
using System::MetaArgs;

MetaValue CameraLock(Camera& camera, MetaArgs&) {
    camera.Lock();
    return MetaValue::None();
}
MetaValue CameraUnlock(Camera& camera, MetaArgs&) {
    camera.Unlock();
    return MetaValue::None();
}
MetaValue CameraGetHeight(Camera& camera, MetaArgs&) {
    return MetaValue(camera.GetHeight());
}
MetaValue CameraGetWidth(Camera& camera, MetaArgs&) {
    return MetaValue(camera.GetWidth());
}
MetaValue CameraSetBounds(Camera& camera, MetaArgs& args) {
    camera.SetBounds(GetArgument(args, 0).ToFloat(), GetArgument(args, 1).ToFloat());
    return MetaValue::None();
}
MetaValue CameraSetPosition(Camera& camera, MetaArgs& args) {
    camera.SetPosition(GetArgument(args, 0).ToFloat(), GetArgument(args, 1).ToFloat());
    return MetaValue::None();
}
MetaValue CameraSetShake(Camera& camera, MetaArgs& args) {
    camera.SetShake(GetArgument(args, 0).ToFloat(), GetArgument(args, 1).ToFloat(),
                    GetArgument(args, 2).ToFloat(), GetArgument(args, 3).ToInt() != 0);
    return MetaValue::None();
}

}  // namespace

void Camera::RegisterMethods() {
    using System::Method;
    AddMethod("Lock", Method<Camera, CameraLock>);
    AddMethod("Unlock", Method<Camera, CameraUnlock>);
    AddMethod("GetHeight", Method<Camera, CameraGetHeight>);
    AddMethod("GetWidth", Method<Camera, CameraGetWidth>);
    AddMethod("SetBounds", Method<Camera, CameraSetBounds>);
    AddMethod("SetPosition", Method<Camera, CameraSetPosition>);
    AddMethod("SetShake", Method<Camera, CameraSetShake>);
}

int Camera::LuaNew(lua_State* L) {
    System::CheckNewArguments(L);
    PushUserdata(L, new Camera(0.0f, 0.0f));
    return 1;
}

// The view onto the 1920x1080 virtual screen: centre, zoom, bounds, shake.
#pragma once

#include <glm/glm.hpp>
#include <lua.hpp>

#include "Graphics/MetaPoint.h"
#include "System/Source/Components/Meta.h"

class Camera : public System::MetaData<Camera> {
public:
    Camera(float x, float y);
    ~Camera() override = default;

    // Sets the view size (w world units across; h has no effect on the view).
    void SetBounds(float w, float h);
    // Moves the centre, clamped so the view stays inside the bounds.
    void SetPosition(float x, float y);
    // Bounds the camera to the screen around its centre, and undoes that.
    void Lock();
    void Unlock();
    // Back to unbounded, 1920 x 1080 units, unlocked: a new level starts
    // from there, whatever the last one set.
    void ResetBounds();
    void SetShake(float amplitudeX, float amplitudeY, float duration, bool symmetric);
    float GetWidth() const { return width; }
    float GetHeight() const { return height; }
    const glm::mat4& View() const { return view; }
    // The per-frame step: shake and view matrix, with time step dt.
    void Update(float dt);

    static void RegisterMethods();
    // "new" of the class table: a camera at (0, 0).
    static int LuaNew(lua_State* L);

    float zoom = 1.0f;
    MetaPoint position;
    float rotation = 0.0f;
    glm::mat4 view{1.0f};
    // Bounds that bound nothing, and the view of the whole virtual screen: a
    // new camera's, and every level's at its load (ResetBounds).
    static constexpr float kUnbounded = 2147483648.0f;
    static constexpr float kScreenWidth = 1920.0f;
    static constexpr float kScreenHeight = 1080.0f;
    float lowerX = -kUnbounded;
    float upperX = kUnbounded;
    float lowerY = -kUnbounded;
    float upperY = kUnbounded;
    float width = kScreenWidth;
    float height = kScreenHeight;
    float scale = 1.0f;
    float shakeX = 0.0f;
    float shakeY = 0.0f;
    float shakeTime = 0.0f;
    float shakeTick = 0.0f;
    float shakenX = 0.0f;
    float shakenY = 0.0f;
    bool shakeSymmetric = true;
    float savedLowerX = -kUnbounded;
    float savedLowerY = -kUnbounded;
    float savedUpperX = kUnbounded;
    float savedUpperY = kUnbounded;
    bool locked = false;
};

// The camera the world is drawn with; the main camera while the main loop
// runs, null before and after.
extern Camera* CurrentCamera;

// Per frame: updates CurrentCamera with the frame's time step.
void CameraUpdate();

// Whether the rectangle at (x, y) of that size overlaps twice the camera's
// view (CameraIsVisible asks it of a Transform).
bool CameraSeesRect(const Camera& camera, float x, float y, float scaleX, float scaleY);

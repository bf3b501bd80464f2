// An object's drawing hub: sets target, depth, effect and colour, then lets
// the object's texture, animation and particle components draw, or draws a
// plain coloured shape when it has none of them.
#pragma once

#include <lua.hpp>

#include "System/Source/Color.h"
#include "System/Source/Components/GenericComponent.h"

class Effect;
class RenderTarget;

// The kind of shape of a physics body, numbered as the bodies number them.
enum class BodyShape : int { None = -1, Plain = 0, Box = 1, Circle = 2, Boundary = 3, Rigid = 4 };
// The shape kind of `body` (a PhysicsBody component); None for null.
BodyShape BodyShapeKind(System::GenericComponent* body);

class GraphicsComponent : public System::GenericComponent {
public:
    // Registers r, g, b, a and layer as int properties; draws into the
    // first post-processing pass's target when there is one.
    GraphicsComponent();

    const char* GetTypeName() const override;
    // 0: colour = (a1, a2, a3, a4), each truncated and kept as a byte.
    bool HandleMessage(const MessagePayload& payload) override;
    void Update(float) override {}
    void Draw() override;

    // Stores the packed colour and the four channels from it.
    void SetColor(Color c);
    // n from 1 into the graphics layers; 0 (or a layer that does not
    // exist) draws to the screen.
    void SetGraphicsLayer(int n);
    // n from 1 into the post-processing passes; 0 (or a pass that does not
    // exist) draws to the screen.
    void SetRenderTarget(int n);
    // Null clears the name.
    void SetEffectName(const char* name);
    void SetOverrideName(const char* name);
    const char* GetEffectName() const { return effectName_.c_str(); }
    const char* GetOverrideName() const { return overrideName_.c_str(); }
    RenderTarget* GetRenderTarget() const { return renderTarget_; }
    // The plain coloured shape that stands for an object without texture,
    // animation or particles, drawn for a body of that shape kind (None:
    // no body).
    void DrawPlainShape(const class Transform& transform, BodyShape kind);

    static System::GenericComponent* Create();
    static void RegisterMethods();
    static int LuaNew(lua_State* L);

    Color color{0, 0, 0, 0};  // refreshed from r, g, b, a by every Draw
    int r = 0;
    int g = 0;
    int b = 0;
    int a = 0;
    int outline = 2;           // outline of a drawn box body; 0 or less: none
    int layer = 0;             // renderer depth
    Effect* effect = nullptr;  // for the plain shape; null: the renderer's own

private:
    RenderTarget* renderTarget_ = nullptr;
    System::String effectName_;
    System::String overrideName_;
};

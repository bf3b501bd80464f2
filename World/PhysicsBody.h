// The physics body: a component that gives its object a collision shape,
// mass, velocity, timed forces, gravity and collision layers. It keeps no
// position of its own: it moves the owner's Transform.
#pragma once

#include <cstddef>
#include <cstdint>

#include "System/Source/Components/GenericComponent.h"
#include "World/Shapes.h"
#include "World/Vec2.h"

struct lua_State;

class PhysicsBody : public System::GenericComponent {
public:
    // A force and the seconds it still acts (0: for ever).
    struct TimedForce {
        Vec2 force;
        float time = 0.0f;
    };
    // The fields of the owner's Transform that the body reads and writes.
    struct TransformFields {
        System::GenericComponent* component = nullptr;
        float* x = nullptr;
        float* y = nullptr;
        float* scaleX = nullptr;
        float* scaleY = nullptr;
        float* rotation = nullptr;
    };

    // The move of the last Update: the world step replays it in substeps
    // when it is long for the body's size. `step` tells which world step
    // the move belongs to (0: none).
    struct Sweep {
        Vec2 from;
        Vec2 to;
        float dt = 0.0f;
        uint32_t step = 0;
        bool fast = false;  // set by the step: the move needs substeps
    };

    static constexpr float kSpeedCap = 200000.0f;
    static constexpr Vec2 kDefaultGravity{0.0f, -490.0f};

    // Joins the physics world.
    PhysicsBody();
    // Leaves the physics world and frees the shape.
    ~PhysicsBody() override;

    // The component factory's creator ("PhysicsBody").
    static System::GenericComponent* Create();
    // The Lua methods of the class "PhysicsBody".
    static void RegisterMethods();
    // "new" of the class table.
    static int LuaNew(lua_State* L);

    const char* GetTypeName() const override;
    bool HandleMessage(const MessagePayload& payload) override;
    // Integration: forces, gravity, the speed cap, position and rotation.
    void Update(float dt) override;
    // A re-enabled body takes part in the world step again.
    void OnEnable() override;
    // A disabled body leaves the world step.
    void OnDisable() override;

    // Shapes; each replaces (and frees) the current one.
    void CreateBox(float width, float height);
    void CreateRigidBox(float width, float height);
    void CreateCircle(float radius);
    // A static polygon of the given points (in the order given).
    void CreateRigid(const Vec2* points, int count);

    void SetMass(float m);
    Vec2 GetVelocity() const { return direction * speed; }
    void SetVelocity(Vec2 v);
    void SetVelX(float x);
    void SetVelY(float y);
    void SetAngularVelocity(float w);
    void ApplyImpulse(Vec2 impulse, Vec2 r);

    // (0, 0) without a Transform.
    Vec2 GetPosition() const;
    // Writes the Transform's x and y (finite values only).
    void SetPosition(float px, float py);
    // The Transform's rotation, 0 without one.
    float GetRotation() const;
    // Writes the Transform's rotation (a finite value only).
    void SetRotation(float angle);
    bool HasTransform() const { return transform.component != nullptr; }
    // Looks the owner's Transform up again; false when it has none.
    bool FindTransform();

    void CreateForce(float time, float fx, float fy);
    void CreateNormalForce(float time, float dx, float dy, float magnitude);

    void AddToCollisionList(int32_t collisionLayer);
    void RemoveFromCollisionList(int32_t collisionLayer);
    bool InCollisionList(int32_t collisionLayer) const;

    bool IsBoxShaped() const { return shape && shape->typeId == kShapeBox; }
    int32_t ShapeType() const { return shape ? shape->typeId : kShapeNone; }
    // The inverse inertia as the contact response uses it: 0 without a
    // Transform.
    float EffectiveInvInertia() const { return HasTransform() ? invInertia : 0.0f; }

    TransformFields transform;
    Shape* shape = nullptr;
    float friction = 0.0f;
    float bounciness = 1.0f;
    float mass = 0.0f;
    float invMass = 0.0f;
    float inertia = 0.0f;
    float invInertia = 0.0f;
    Vec2 direction;
    float speed = 0.0f;
    int32_t layer = -1;
    System::Vector<int32_t> collisionList;
    float angularVelocity = 0.0f;
    Vec2 contacts[2];
    int32_t contactCount = 0;
    System::List<TimedForce> forces;
    bool ghost = false;
    bool fixedAngle = false;
    Vec2 gravity;
    Sweep sweep;
    // Where the body stands in the physics world's list, so that joining
    // and leaving it need no search; kept by the world, and checked against
    // the list before it is trusted.
    size_t listIndex = SIZE_MAX;

private:
    void ReplaceShape(Shape* replacement);
    // mass := width * height, with the inverse mass; a non-positive mass
    // makes the body static.
    void SetBoxMass(float width, float height);
    // After a box shape: the Transform takes the size and the body stops
    // bouncing.
    void SizeTransform(float width, float height);
};

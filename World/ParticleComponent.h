// Emits a bounded number of square colour particles from the owner's
// Transform: spawned at a rate, falling under a fixed gravity, fading from
// a begin to an end colour over their life. Can switch its owner object off
// when the last particle of a run has died.
#pragma once

#include <lua.hpp>

#include "System/Source/Color.h"
#include "System/Source/Components/GenericComponent.h"

struct Particle {
    bool alive = false;
    bool gravity = false;
    float x = 0.0f;  // world position
    float y = 0.0f;
    float vx = 0.0f;  // units per second
    float vy = 0.0f;
    float life = 0.0f;  // seconds left
    float lifeTotal = 0.0f;
    int size = 0;
    Color begin;
    Color end;
};

class ParticleComponent : public System::GenericComponent {
public:
    // Downward acceleration of falling particles, units per second squared.
    static constexpr float kGravity = 540.0f;

    ParticleComponent() = default;

    const char* GetTypeName() const override;
    void Update(float dt) override;
    void Draw() override;
    void OnDisable() override {}

    // A new run of totalParticles; the particles alive go on.
    void Reset() { spawnedCount = 0; }
    // The particles alive, in the order they were emitted.
    const System::Vector<Particle>& Particles() const { return particles_; }

    static System::GenericComponent* Create();
    static void RegisterMethods();
    static int LuaNew(lua_State* L);

    float speedBegin = 0.0f;
    float speedEnd = 0.0f;
    float angleBegin = 0.0f;  // degrees, 0 = +x, counter-clockwise
    float angleEnd = 0.0f;
    float spawnRate = 1.0f;  // particles per second
    float spawnAccumulator = 0.0f;
    int totalParticles = 0;  // per run
    int spawnedCount = 0;    // in this run
    float particleTime = 0.0f;
    float particleVariance = 0.0f;
    float xOffset = 0.0f;
    float yOffset = 0.0f;
    bool killOnEnd = false;
    bool gravityEnabled = true;
    int size = 4;
    Color beginColor{0, 0, 0, 255};
    Color endColor{0, 0, 0, 255};

private:
    void Spawn();

    // Dead particles are dropped (the order of the others is kept), so the
    // list holds only the living; `emittedAny` remembers that it was used.
    System::Vector<Particle> particles_;
    bool emittedAny_ = false;
};

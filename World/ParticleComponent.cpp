#include "World/ParticleComponent.h"

#include <algorithm>
#include <cmath>

#include "Graphics/Renderer.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/EngineRandom.h"
#include "World/Transform.h"

namespace {

constexpr char kName[] = "ParticleComponent";
constexpr double kDegreesToRadians = 0.017453292519943295;

float RandomRange(float from, float to) {
    return static_cast<float>(from + (to - from) * System::EngineRand() / 32767.0);
}

float FloatArg(const System::MetaArgs& args, unsigned i) {
    return System::GetArgument(args, i).ToFloat();
}

Color ColorArgs(const System::MetaArgs& args) {
    auto byte = [&](unsigned i) {
        return static_cast<uint8_t>(System::GetArgument(args, i).ToInt());
    };
    return Color(byte(0), byte(1), byte(2), byte(3));
}

template <float ParticleComponent::*Field>
MetaValue SetFloat(ParticleComponent& self, System::MetaArgs& args) {
    self.*Field = FloatArg(args, 0);
    return MetaValue::None();
}
template <int ParticleComponent::*Field>
MetaValue SetInt(ParticleComponent& self, System::MetaArgs& args) {
    self.*Field = System::GetArgument(args, 0).ToInt();
    return MetaValue::None();
}
template <Color ParticleComponent::*Field>
MetaValue SetColor(ParticleComponent& self, System::MetaArgs& args) {
    self.*Field = ColorArgs(args);
    return MetaValue::None();
}
MetaValue ResetMethod(ParticleComponent& self, System::MetaArgs&) {
    self.Reset();
    return MetaValue::None();
}
MetaValue SetKillOnEndMethod(ParticleComponent& self, System::MetaArgs& args) {
    self.killOnEnd = System::GetArgument(args, 0).ToChar() != 0;
    return MetaValue::None();
}

}  // namespace

const char* ParticleComponent::GetTypeName() const {
    return System::TypeName<ParticleComponent>::name;
}

void ParticleComponent::Spawn() {
    Particle p;
    const float speed = RandomRange(speedBegin, speedEnd);
    const double angle = RandomRange(angleBegin, angleEnd) * kDegreesToRadians;
    p.alive = true;
    const Transform* transform = FindTransform(*this);
    p.x = (transform ? transform->x : 0.0f) + xOffset;
    p.y = (transform ? transform->y : 0.0f) + yOffset;
    p.life = RandomRange(-particleVariance, particleVariance) + particleTime;
    p.lifeTotal = particleTime;
    p.vx = static_cast<float>(std::cos(angle) * speed);
    p.vy = static_cast<float>(std::sin(angle) * speed);
    const float shade = static_cast<float>(System::EngineRand() / 32767.0 * 0.99999994 + 0.3);
    p.begin = ScaleColor(beginColor, shade);
    p.end = ScaleColor(endColor, shade);
    p.gravity = gravityEnabled;
    p.size = size;
    particles_.push_back(p);
    emittedAny_ = true;
}

void ParticleComponent::Update(float dt) {
    if (spawnedCount < totalParticles) {
        spawnAccumulator += spawnRate * dt;
        while (spawnAccumulator >= 1.0f && spawnedCount < totalParticles) {
            Spawn();
            spawnAccumulator -= 1.0f;
            ++spawnedCount;
        }
    }

    bool running = !emittedAny_ && totalParticles > 0;
    for (Particle& p : particles_) {
        if (!p.alive) continue;
        running = true;
        p.life -= dt;
        if (p.life <= 0.0f) p.alive = false;  // it still moves this time
        p.x += p.vx * dt;
        p.y += p.vy * dt;
        if (p.gravity) p.vy -= kGravity * dt;
    }
    particles_.erase(std::remove_if(particles_.begin(), particles_.end(),
                                    [](const Particle& p) { return !p.alive; }),
                     particles_.end());

    if (!running && killOnEnd) {
        if (System::GenericGameObject* owner = GetOwner()) owner->Destroy();
    }
}

void ParticleComponent::Draw() {
    Renderer* renderer = CurrentRenderer;
    if (!renderer) return;
    renderer->SetDepth(-99);
    renderer->BeginColorFill();
    for (const Particle& p : particles_) {
        if (!p.alive) continue;
        const float half = static_cast<float>(p.size / 2);
        // A particle without a nominal life shows its end colour. A life
        // stretched past the nominal one by the variance would push the
        // factor below 0 and wrap the colour bytes around: it is held at the
        // begin colour instead.
        const float t =
            p.lifeTotal != 0.0f ? std::clamp(1.0f - p.life / p.lifeTotal, 0.0f, 1.0f) : 1.0f;
        const Color c = LerpColor(p.begin, p.end, t);
        renderer->SetColor(c.r, c.g, c.b, c.a);
        renderer->DrawQuad(ToPixel(p.x - half), ToPixel(p.y - half), ToPixel(p.x + half),
                           ToPixel(p.y + half));
    }
    renderer->EndColorFill();
}

System::GenericComponent* ParticleComponent::Create() {
    ParticleComponent* component = new ParticleComponent();
    if (component) component->SetComponentName(kName);
    return component;
}

void ParticleComponent::RegisterMethods() {
    using Meta = System::MetaData<ParticleComponent>;
    using P = ParticleComponent;
    Meta::AddMethod("Reset", System::Method<P, ResetMethod>);
    Meta::AddMethod("SetAngleBegin", System::Method<P, SetFloat<&P::angleBegin>>);
    Meta::AddMethod("SetAngleEnd", System::Method<P, SetFloat<&P::angleEnd>>);
    Meta::AddMethod("SetKillOnEnd", System::Method<P, SetKillOnEndMethod>);
    Meta::AddMethod("SetParticleTime", System::Method<P, SetFloat<&P::particleTime>>);
    Meta::AddMethod("SetParticleVariance", System::Method<P, SetFloat<&P::particleVariance>>);
    Meta::AddMethod("SetSpawnRate", System::Method<P, SetFloat<&P::spawnRate>>);
    Meta::AddMethod("SetSpeedBegin", System::Method<P, SetFloat<&P::speedBegin>>);
    Meta::AddMethod("SetSpeedEnd", System::Method<P, SetFloat<&P::speedEnd>>);
    Meta::AddMethod("SetTotalParticles", System::Method<P, SetInt<&P::totalParticles>>);
    Meta::AddMethod("SetXOffset", System::Method<P, SetFloat<&P::xOffset>>);
    Meta::AddMethod("SetYOffset", System::Method<P, SetFloat<&P::yOffset>>);
    Meta::AddMethod("SetSize", System::Method<P, SetInt<&P::size>>);
    Meta::AddMethod("SetBeginColor", System::Method<P, SetColor<&P::beginColor>>);
    Meta::AddMethod("SetEndColor", System::Method<P, SetColor<&P::endColor>>);
}

int ParticleComponent::LuaNew(lua_State* L) {
    return System::LuaNewDefault<ParticleComponent>(L);
}

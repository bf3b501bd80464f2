// The particle component: emission by rate with the engine's generator,
// motion, fading and the end of a run.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "System/Source/EngineRandom.h"
#include "components_fixture.h"

namespace {

using ComponentTest::ComponentsFixture;

class Particles : public ComponentsFixture {
protected:
    void SetUp() override {
        ComponentsFixture::SetUp();
        object = CreateObject("Object");
        object->AddComponent("ParticleComponent");
        p = Get<ParticleComponent>(object, "ParticleComponent");
        ASSERT_NE(p, nullptr);
        System::EngineSrand(1);
    }
    System::GenericGameObject* object = nullptr;
    ParticleComponent* p = nullptr;
};

TEST_F(Particles, SpawnRateAccumulatesFractions) {
    p->totalParticles = 10;
    p->spawnRate = 10.0f;
    p->particleTime = 50.0f;
    p->Update(0.25f);
    EXPECT_EQ(p->spawnedCount, 2);
    EXPECT_NEAR(p->spawnAccumulator, 0.5f, 1e-6f);
    p->Update(0.05f);
    EXPECT_EQ(p->spawnedCount, 3);
    EXPECT_EQ(p->Particles().size(), 3u);
    // The run stops at its total and the time owed stays owed: after a
    // Reset the next run comes out at once.
    p->Update(10.0f);
    EXPECT_EQ(p->spawnedCount, 10);
    p->Update(1.0f);
    EXPECT_EQ(p->spawnedCount, 10);
    p->Reset();
    p->Update(0.0f);
    EXPECT_EQ(p->spawnedCount, 10);
    EXPECT_EQ(p->Particles().size(), 20u);
    EXPECT_STREQ(p->GetTypeName(), "class ParticleComponent");
}

TEST_F(Particles, SpawnUsesTheEngineGeneratorInOrder) {
    Transform* t = Get<Transform>(object, "Transform");
    t->x = 100;
    t->y = 200;
    p->xOffset = 5;
    p->yOffset = -5;
    p->speedBegin = 10;
    p->speedEnd = 20;
    p->angleBegin = 0;
    p->angleEnd = 90;
    p->particleTime = 2;
    p->particleVariance = 0.5f;
    p->gravityEnabled = false;
    p->beginColor = Color(100, 100, 100, 77);
    p->totalParticles = 1;
    p->Update(1.0f);
    ASSERT_EQ(p->Particles().size(), 1u);

    System::EngineSrand(1);
    const double r1 = System::EngineRand(), r2 = System::EngineRand();
    const double r3 = System::EngineRand(), r4 = System::EngineRand();
    const double speed = 10 + 10 * r1 / 32767.0;
    const double angle = (90 * r2 / 32767.0) * 0.017453292519943295;
    const double life = -0.5 + 1.0 * r3 / 32767.0 + 2.0;
    const float shade = static_cast<float>(r4 / 32767.0 * 0.99999994 + 0.3);
    const Particle& q = p->Particles()[0];
    EXPECT_NEAR(q.life, life - 1.0, 1e-5);
    EXPECT_EQ(q.lifeTotal, 2.0f);
    EXPECT_NEAR(q.vx, std::cos(angle) * speed, 1e-4);
    EXPECT_NEAR(q.vy, std::sin(angle) * speed, 1e-4);
    EXPECT_NEAR(q.x, 105 + q.vx, 1e-3);
    EXPECT_NEAR(q.y, 195 + q.vy, 1e-3);
    EXPECT_EQ(q.begin, ScaleColor(Color(100, 100, 100, 77), shade));
    EXPECT_EQ(q.begin.a, 77);
}

TEST_F(Particles, GravityStopsAParticleLaunchedUpAfterOneSecond) {
    p->speedBegin = p->speedEnd = 540;
    p->angleBegin = p->angleEnd = 90;
    p->particleTime = 5;
    p->totalParticles = 1;
    p->spawnRate = 1000;
    p->Update(0.0f);
    p->Update(0.001f);  // spawns and moves it
    for (int i = 0; i < 10; ++i) p->Update(0.1f);
    ASSERT_EQ(p->Particles().size(), 1u);
    EXPECT_NEAR(p->Particles()[0].vy, -0.54f, 1e-3f);  // 1.001 s of gravity
}

TEST_F(Particles, KillOnEndSwitchesTheOwnerOffOneUpdateAfterTheLastDeath) {
    p->killOnEnd = true;
    p->totalParticles = 1;
    p->spawnRate = 100;
    p->particleTime = 0.15f;
    p->Update(0.1f);  // spawned, 0.05 left
    EXPECT_TRUE(object->IsAlive());
    p->Update(0.1f);  // dies, but counted as running
    EXPECT_TRUE(object->IsAlive());
    EXPECT_TRUE(p->Particles().empty());
    p->Update(0.1f);
    EXPECT_FALSE(object->IsAlive());
    EXPECT_FALSE(p->IsActive());
    EXPECT_EQ(object->GetComponent("Transform"), nullptr);
}

TEST_F(Particles, NothingToEmitSwitchesTheOwnerOffAtOnce) {
    p->killOnEnd = true;
    p->Update(0.0f);
    EXPECT_FALSE(object->IsAlive());
}

TEST_F(Particles, PendingRunKeepsTheOwnerAlive) {
    p->killOnEnd = true;
    p->totalParticles = 2;
    p->spawnRate = 1;
    p->Update(0.5f);  // nothing spawned yet, but a run is owed
    EXPECT_TRUE(object->IsAlive());
}

TEST_F(Particles, DrawsFadingSquaresAtDepthMinus99) {
    Get<Transform>(object, "Transform")->x = 10.9f;
    p->size = 5;
    p->particleTime = 1;
    p->gravityEnabled = false;
    p->beginColor = Color(255, 255, 255, 255);
    p->endColor = Color(255, 255, 255, 255);
    p->totalParticles = 1;
    p->Update(1.0f);  // speed 0: stays at (10.9, 0), life 0 -> dead at once
    EXPECT_TRUE(p->Particles().empty());

    p->Reset();
    p->totalParticles = 1;
    p->Update(0.5f);
    p->Update(0.5f);
    ASSERT_EQ(p->Particles().size(), 1u);
    renderer.calls.clear();
    object->Draw();  // through the graphics component
    auto quads = renderer.Only("DrawQuad");
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(quads[0], "DrawQuad(8, -2, 12, 2)");  // half of 5 is 2
    EXPECT_EQ(renderer.Only("SetDepth")[1], "SetDepth(-99)");
    EXPECT_EQ(renderer.Only("BeginColorFill").size(), 1u);
    EXPECT_EQ(renderer.Only("EndColorFill").size(), 1u);
    // No plain shape for an object with particles.
    EXPECT_TRUE(renderer.Only("FillRect").empty());
}

TEST_F(Particles, ZeroLifetimeParticlesDrawTheirEndColour) {
    p->particleVariance = 1.0f;  // lives of up to 1 s around a nominal 0
    p->beginColor = Color(0, 0, 0, 255);
    p->endColor = Color(200, 200, 200, 255);
    p->totalParticles = 50;
    p->spawnRate = 1000;
    p->Update(0.05f);
    ASSERT_FALSE(p->Particles().empty());
    renderer.calls.clear();
    p->Draw();
    for (const std::string& call : renderer.Only("SetColor")) {
        EXPECT_NE(call, "SetColor(0, 0, 0, 255)") << call;
    }
}

TEST_F(Particles, LivesLongerThanNominalKeepTheBeginColour) {
    // Lives of 0.5 to 1.5 s around a nominal 1 s; red falls from 250 to 0,
    // so a factor below 0 would wrap it past 255.
    p->particleTime = 1.0f;
    p->particleVariance = 0.5f;
    p->beginColor = Color(250, 100, 40, 255);
    p->endColor = Color(0, 250, 250, 255);
    p->totalParticles = 1;
    p->spawnRate = 100;
    while (p->Particles().empty() || p->Particles().back().life <= 1.1f) {
        p->Reset();
        p->Update(0.01f);
    }
    renderer.calls.clear();
    p->Draw();
    const Color c = p->Particles().back().begin;
    EXPECT_EQ(renderer.Only("SetColor").back(), "SetColor(" + std::to_string(c.r) + ", " +
                                                    std::to_string(c.g) + ", " +
                                                    std::to_string(c.b) + ", 255)");
}

}  // namespace

// Whole scenes run frame by frame as the game runs them (every body's
// Update at 1/30 s, then the world step, then the messages): bodies come to
// rest on a floor and stay there, stacks keep their height, fast bodies do
// not pass through floors, ghosts and layers still pass through, and the
// broad phase's shortcut changes nothing.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "System/Source/EngineRandom.h"
#include "test_physics_support.h"

using namespace PhysicsTest;

namespace {

constexpr float kDt = 1.0f / 30.0f;

class PhysicsSceneTest : public PhysicsFixture {
protected:
    void TearDown() override {
        PhysicsWorld::SetReachShortcut(true);
        PhysicsFixture::TearDown();
    }

    void Add(const Thing& thing) { things_.push_back(thing); }

    // A falling body as a level makes one: gravity (0, -490).
    Thing Falling(Thing thing) {
        thing.body->gravity = PhysicsBody::kDefaultGravity;
        Add(thing);
        return thing;
    }
    Thing FallingBox(float x, float y, float w, float h) {
        return Falling(MakeBox(x, y, w, h, w * h));
    }
    Thing FallingBall(float x, float y, float r) {
        Thing ball = Make(x, y);
        ball.body->CreateCircle(r);
        ball.body->SetMass(1);
        return Falling(ball);
    }
    // The floor of the game: static, 2000 x 40, its top at y = 0.
    Thing Floor(float thickness = 40) {
        Thing floor = MakeBox(0, -thickness / 2, 2000, thickness, 0);
        Add(floor);
        return floor;
    }

    void Frame() {
        for (Thing& thing : things_) thing.body->Update(kDt);
        PhysicsWorld::Step();
        DeliverAllMessages();
    }
    void Run(float seconds) {
        for (int i = 0; i < int(seconds * 30 + 0.5f); ++i) Frame();
    }

    std::vector<Thing> things_;
};

// FNV-1a over the bytes of values.
struct Hash {
    uint64_t value = 1469598103934665603ull;
    void Add(const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) value = (value ^ bytes[i]) * 1099511628211ull;
    }
    void Add(float f) { Add(&f, sizeof f); }
    void Add(double d) { Add(&d, sizeof d); }
};

}  // namespace

TEST_F(PhysicsSceneTest, BallComesToRestOnTheFloorAndStays) {
    Floor();
    Thing ball = FallingBall(0, 200, 20);
    Run(3);
    EXPECT_NEAR(ball.transform->y, 20, 0.75f);
    Run(30);
    EXPECT_NEAR(ball.transform->y, 20, 0.75f);
    EXPECT_EQ(ball.transform->x, 0.0f);
    // At rest the contact takes gravity's speed of this frame away again.
    EXPECT_LT(std::fabs(ball.body->GetVelocity().y), 490 * kDt + 0.01f);
    // Resting, it is told every frame, with code 0.
    ASSERT_GT(ball.log->received.size(), 900u);
    EXPECT_EQ(Numbers(ball.log->received.back())[4], 0);
}

TEST_F(PhysicsSceneTest, TenRowStackKeepsItsHeightAndRests) {
    Floor();
    std::vector<Thing> stack;
    for (int row = 0; row < 10; ++row) stack.push_back(FallingBox(0, 20 + row * 40, 40, 40));
    Run(10);
    for (int row = 0; row < 10; ++row) {
        EXPECT_NEAR(stack[row].transform->y, 20 + row * 40, 2.0f) << "row " << row;
        EXPECT_EQ(stack[row].transform->x, 0.0f);
    }
    // Resting boxes report (almost) no vertical speed in their messages.
    for (const Thing& box : stack) {
        ASSERT_FALSE(box.log->received.empty());
        EXPECT_LT(std::fabs(Numbers(box.log->received.back())[6]), 1.0) ;
    }
}

TEST_F(PhysicsSceneTest, FastBodiesDoNotPassThroughFloors) {
    // 5000 units/s is 167 units a frame against a floor 40 thick.
    Thing floor = Floor(40);
    Thing fast = FallingBox(0, 300, 30, 30);
    fast.body->SetVelocity({0, -5000});
    Frame();
    Frame();
    EXPECT_NEAR(fast.transform->y, 15, 0.5f);
    ASSERT_FALSE(fast.log->received.empty());
    std::vector<double> message = Numbers(fast.log->received[0]);
    EXPECT_EQ(message[2], -1);  // the normal seen from the box: down into the floor
    EXPECT_EQ(message[3], double(floor.object->GetId()));
    EXPECT_EQ(message[4], 0);
    // One message per pair and step, however many substeps found it.
    EXPECT_EQ(floor.log->received.size(), fast.log->received.size());

    // A 16 x 16 box dropped from 900 units onto a 16-thick floor.
    Thing thin = MakeBox(3000, -8, 2000, 16, 0);
    Add(thin);
    Thing small = FallingBox(3000, 900, 16, 16);
    Run(3);
    EXPECT_NEAR(small.transform->y, 8, 0.5f);
}

TEST_F(PhysicsSceneTest, GhostsAndLayersStillFallThroughWithTheirCodes) {
    Thing floor = Floor();
    Thing ghost = FallingBox(-200, 100, 40, 40);
    ghost.body->ghost = true;
    Thing layered = FallingBox(200, 100, 40, 40);
    layered.body->layer = 2;
    floor.body->layer = 1;
    Thing listed = FallingBox(400, 100, 40, 40);
    listed.body->layer = 3;
    listed.body->AddToCollisionList(1);
    Run(2);
    EXPECT_LT(ghost.transform->y, -100);
    EXPECT_LT(layered.transform->y, -100);
    EXPECT_NEAR(listed.transform->y, 20, 0.75f);
    ASSERT_FALSE(ghost.log->received.empty());
    ASSERT_FALSE(layered.log->received.empty());
    for (const MessagePayload& m : ghost.log->received) EXPECT_EQ(Numbers(m)[4], 1);
    for (const MessagePayload& m : layered.log->received) EXPECT_EQ(Numbers(m)[4], 2);
    EXPECT_EQ(Numbers(listed.log->received.back())[4], 0);
}

TEST_F(PhysicsSceneTest, ReachShortcutSkipsOnlyPairsOutOfReach) {
    // The same scenes with and without the shortcut: a pyramid on a wide
    // floor, crowds of boxes, balls and polygons of mixed sizes with random
    // velocities, ghosts and layers, a fast body; then the same with a
    // body at a NaN height, where the shortcut must stand aside. The flat
    // scenes of platform games follow: a long row of boxes pressed side by
    // side on one floor with more falling onto it, and grids of platforms
    // wider than high and higher than wide, with boxes resting and
    // falling onto them, so that the broad phase sweeps along either axis.
    enum Scene { kMixed, kMixedNaN, kRow, kWideGrid, kTallGrid };
    auto random = [](float lo, float hi) {
        return lo + (hi - lo) * float(System::EngineRand()) / System::kEngineRandMax;
    };
    auto mixed = [this, &random](bool withNaN) {
        Floor();
        for (int row = 0; row < 8; ++row) {
            for (int i = 0; i < 8 - row; ++i) FallingBox((i - (7 - row) / 2.0f) * 42, 20 + row * 40, 40, 40);
        }
        for (int i = 0; i < 160; ++i) {
            float x = random(-900, 900), y = random(50, 1500), size = random(4, i % 50 == 0 ? 120 : 30);
            Thing thing;
            switch (i % 3) {
                case 0: thing = FallingBox(x, y, size, random(4, 30)); break;
                case 1: thing = FallingBall(x, y, size / 2); break;
                default: thing = Falling(Make(x, y)); thing.body->CreateRigidBox(size, size); break;
            }
            thing.body->SetVelocity({random(-300, 300), random(-300, 300)});
            if (i % 17 == 0) thing.body->ghost = true;
            if (i % 13 == 0) thing.body->layer = i % 3;
            if (i % 26 == 0) thing.body->AddToCollisionList(1);
        }
        Thing fast = FallingBox(0, 2000, 10, 10);
        fast.body->SetVelocity({0, -6000});
        if (withNaN) things_[40].transform->y = NAN;
    };
    auto row = [this, &random]() {
        Add(MakeBox(0, -20, 14000, 40, 0));
        // 39 apart: each box overlaps its neighbours and is pushed sideways.
        for (int i = 0; i < 300; ++i) {
            Thing box = FallingBox((i - 150) * 39.0f, 20, 40, 40);
            box.body->SetVelocity({random(-20, 20), 0});
        }
        for (int i = 0; i < 40; ++i) FallingBall(random(-5800, 5800), random(60, 400), random(5, 25));
    };
    auto grid = [this, &random](int columns, int rows) {
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                float x = c * 500.0f, top = r * 180.0f;
                Add(MakeBox(x, top - 10, 400, 20, 0));
                for (int i = 0; i < 8; ++i) FallingBox(x + (i - 3.5f) * 41, top + 20, 40, 40);
                FallingBox(x + random(-150, 150), top + random(70, 140), 30, 30);
            }
        }
    };
    auto run = [&](bool shortcut, Scene scene) {
        DeleteAllObjectsAndComponents();
        things_.clear();
        PhysicsWorld::SetReachShortcut(shortcut);
        System::EngineSrand(7);
        switch (scene) {
            case kMixed: mixed(false); break;
            case kMixedNaN: mixed(true); break;
            case kRow: row(); break;
            case kWideGrid: grid(8, 3); break;
            case kTallGrid: grid(2, 12); break;
        }
        Hash hash;
        for (int frame = 0; frame < 60; ++frame) {
            Frame();
            for (const Thing& thing : things_) {
                hash.Add(thing.transform->x);
                hash.Add(thing.transform->y);
                hash.Add(thing.body->GetVelocity().x);
                hash.Add(thing.body->GetVelocity().y);
                for (const MessagePayload& m : thing.log->received) {
                    for (double value : Numbers(m)) hash.Add(value);
                }
                thing.log->received.clear();
            }
        }
        return hash.value;
    };
    for (Scene scene : {kMixed, kMixedNaN, kRow, kWideGrid, kTallGrid}) {
        EXPECT_EQ(run(true, scene), run(false, scene)) << "scene " << scene;
    }
}

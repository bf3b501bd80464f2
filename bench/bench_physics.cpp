// The physics step against Box2D on the same scenes, side by side in one
// run: pyramids of boxes on a floor (time per step, and how far the top box
// has dropped after 10 s), bodies scattered at constant density with
// random velocities (time per step, and its growth per 4x bodies, which
// shows the order of the broad phase), and the flat layouts of platform
// games: a long row of boxes on one floor, and a grid of platforms with
// boxes resting on them. This engine never puts bodies to sleep, so the
// flat scenes time Box2D without sleeping and show its sleeping time
// beside it.
//
// Our step is what the game runs each frame: every body's Update, then the
// world step. Box2D gets the world in metres (its solver is tuned for
// bodies of 0.1 to 10 m), at the same time step and with its default
// iterations (8 velocity, 3 position).
#include <box2d/box2d.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "System/Source/Components/Factories.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/MemoryPool.h"
#include "World/PhysicsBody.h"
#include "World/PhysicsWorld.h"
#include "World/Transform.h"

namespace {

constexpr float kDt = 1.0f / 30.0f;
constexpr float kGravity = -490.0f;
constexpr float kBox = 40.0f;  // pyramid box size, units
constexpr float kPyramidSeconds = 10.0f;

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// A tiny fixed generator, so that both engines get the same scene.
struct Random {
    uint32_t state = 12345;
    float Next() {  // 0..1
        state = state * 1664525u + 1013904223u;
        return float(state >> 8) / float(1u << 24);
    }
    float Between(float lo, float hi) { return lo + (hi - lo) * Next(); }
};

// A body as both engines are given it.
struct BodyPlan {
    float x, y, w, h, vx, vy;
    bool still;
};

// ---- Our engine ----

class OurWorld {
public:
    OurWorld() {
        static ComponentFactoryNode transformNode, bodyNode;
        RegisterComponentType(transformNode, "Transform", Transform::Create);
        RegisterComponentType(bodyNode, "PhysicsBody", PhysicsBody::Create);
        InitComponentTable(System::NewPooled<ComponentVector>());
        InitObjectTable(System::NewPooled<ObjectVector>());
        PhysicsWorld::Create();
    }
    ~OurWorld() {
        DeleteAllObjectsAndComponents();
        PhysicsWorld::Destroy();
        System::DeletePooled(GetComponentTableMain());
        System::DeletePooled(GetObjectTableMain());
        InitComponentTable(nullptr);
        InitObjectTable(nullptr);
    }

    // Made as a map object is: a box body, friction 0.8, bounciness 0.1;
    // static ones as a wall.
    PhysicsBody* Add(const BodyPlan& plan, float gravity) {
        auto* object = new System::GenericGameObject();
        object->AddComponent("Transform");
        object->AddComponent("PhysicsBody");
        auto* transform = dynamic_cast<Transform*>(object->GetComponent("Transform"));
        auto* body = dynamic_cast<PhysicsBody*>(object->GetComponent("PhysicsBody"));
        transform->x = plan.x;
        transform->y = plan.y;
        body->FindTransform();
        body->CreateBox(plan.w, plan.h);
        body->friction = 0.8f;
        body->bounciness = 0.1f;
        if (plan.still) {
            body->SetMass(0);
        } else {
            body->gravity = Vec2(0, gravity);
            body->SetVelocity({plan.vx, plan.vy});
        }
        bodies_.push_back(body);
        return body;
    }

    void Step() {
        for (PhysicsBody* body : bodies_) body->Update(kDt);
        PhysicsWorld::Step();
    }

private:
    std::vector<PhysicsBody*> bodies_;
};

// ---- Box2D ----

class BoxWorld {
public:
    BoxWorld(float unitsPerMetre, float gravity, bool sleeping)
        : scale_(1.0f / unitsPerMetre), world_(b2Vec2(0, gravity * scale_)) {
        world_.SetAllowSleeping(sleeping);
    }

    b2Body* Add(const BodyPlan& plan) {
        b2BodyDef def;
        def.type = plan.still ? b2_staticBody : b2_dynamicBody;
        def.position.Set(plan.x * scale_, plan.y * scale_);
        def.linearVelocity.Set(plan.vx * scale_, plan.vy * scale_);
        b2Body* body = world_.CreateBody(&def);
        b2PolygonShape box;
        box.SetAsBox(plan.w / 2 * scale_, plan.h / 2 * scale_);
        b2FixtureDef fixture;
        fixture.shape = &box;
        fixture.density = 1.0f;
        fixture.friction = 0.8f;
        fixture.restitution = 0.1f;
        body->CreateFixture(&fixture);
        return body;
    }
    void Step() { world_.Step(kDt, 8, 3); }
    float Y(const b2Body* body) const { return body->GetPosition().y / scale_; }

private:
    float scale_;
    b2World world_;
};

// ---- Scenes ----

// A static floor 2000 x 40 with its top at y = 0, and a pyramid of 40 x 40
// boxes on it, 2 units apart within a row.
std::vector<BodyPlan> Pyramid(int rows) {
    std::vector<BodyPlan> plans;
    float floorWidth = std::max(2000.0f, rows * (kBox + 2) + 400);
    plans.push_back({0, -20, floorWidth, 40, 0, 0, true});
    for (int row = 0; row < rows; ++row) {
        int count = rows - row;
        for (int i = 0; i < count; ++i) {
            float x = (i - (count - 1) / 2.0f) * (kBox + 2);
            float y = kBox / 2 + row * kBox;
            plans.push_back({x, y, kBox, kBox, 0, 0, false});
        }
    }
    return plans;
}

// Boxes of 10 x 10, one per 30 x 30 square of a square area, with random
// velocities up to 100 units/s, no gravity.
std::vector<BodyPlan> Scattered(int count) {
    std::vector<BodyPlan> plans;
    Random random;
    float side = 30.0f * std::sqrt(float(count));
    for (int i = 0; i < count; ++i) {
        plans.push_back({random.Between(0, side), random.Between(0, side), 10, 10,
                         random.Between(-100, 100), random.Between(-100, 100), false});
    }
    return plans;
}

// A row of boxes 40 x 40, 2 units apart, resting on one static floor
// whose top is at y = 0: every box is at the same height.
std::vector<BodyPlan> Row(int count) {
    std::vector<BodyPlan> plans;
    float pitch = kBox + 2;
    plans.push_back({0, -20, count * pitch + 400, 40, 0, 0, true});
    for (int i = 0; i < count; ++i) {
        plans.push_back({(i - (count - 1) / 2.0f) * pitch, kBox / 2, kBox, kBox, 0, 0, false});
    }
    return plans;
}

// A grid of static platforms 400 x 20, 600 apart across and 200 apart
// up, each with 8 boxes 40 x 40 resting on it: rows of bodies at a few
// heights.
std::vector<BodyPlan> Platforms(int columns, int rows) {
    std::vector<BodyPlan> plans;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            float x = column * 600.0f, top = row * 200.0f;
            plans.push_back({x, top - 10, 400, 20, 0, 0, true});
            for (int i = 0; i < 8; ++i) {
                plans.push_back({x + (i - 3.5f) * (kBox + 2), top + kBox / 2, kBox, kBox, 0, 0, false});
            }
        }
    }
    return plans;
}

struct Result {
    double msPerStep;
    float drop;  // of the last body (the pyramid's top box)
};

Result RunOurs(const std::vector<BodyPlan>& plans, float gravity, int steps) {
    OurWorld world;
    PhysicsBody* last = nullptr;
    for (const BodyPlan& plan : plans) last = world.Add(plan, gravity);
    float start = last->GetPosition().y;
    Clock::time_point begin = Clock::now();
    for (int i = 0; i < steps; ++i) world.Step();
    double ms = Milliseconds(Clock::now() - begin) / steps;
    return {ms, start - last->GetPosition().y};
}

Result RunBox2D(const std::vector<BodyPlan>& plans, float unitsPerMetre, float gravity,
                int steps, bool sleeping = true) {
    auto world = std::make_unique<BoxWorld>(unitsPerMetre, gravity, sleeping);
    b2Body* last = nullptr;
    for (const BodyPlan& plan : plans) last = world->Add(plan);
    float start = world->Y(last);
    Clock::time_point begin = Clock::now();
    for (int i = 0; i < steps; ++i) world->Step();
    double ms = Milliseconds(Clock::now() - begin) / steps;
    return {ms, start - world->Y(last)};
}

void PyramidScene(int rows) {
    std::vector<BodyPlan> plans = Pyramid(rows);
    int steps = int(kPyramidSeconds / kDt + 0.5f);
    Result ours = RunOurs(plans, kGravity, steps);
    Result box2d = RunBox2D(plans, kBox, kGravity, steps);
    std::printf("pyramid %2d rows (%4zu boxes): ours %7.3f ms/step, Box2D %7.3f ms/step, ratio %5.2f;"
                " top box dropped after 10 s: ours %6.1f, Box2D %6.1f units\n",
                rows, plans.size() - 1, ours.msPerStep, box2d.msPerStep,
                ours.msPerStep / box2d.msPerStep, ours.drop, box2d.drop);
}

void ScatteredScenes() {
    double previousOurs = 0, previousBox2D = 0;
    for (int count : {100, 400, 1600, 6400}) {
        std::vector<BodyPlan> plans = Scattered(count);
        // The best of five runs each, taken in turns, so that a busy
        // moment of the machine does not decide a ratio.
        int steps = 60;
        Result ours = RunOurs(plans, 0, steps);
        Result box2d = RunBox2D(plans, 10, 0, steps);
        for (int run = 1; run < 5; ++run) {
            ours.msPerStep = std::min(ours.msPerStep, RunOurs(plans, 0, steps).msPerStep);
            box2d.msPerStep = std::min(box2d.msPerStep, RunBox2D(plans, 10, 0, steps).msPerStep);
        }
        std::printf("scattered %4d bodies: ours %7.3f ms/step, Box2D %7.3f ms/step, ratio %5.2f", count,
                    ours.msPerStep, box2d.msPerStep, ours.msPerStep / box2d.msPerStep);
        if (previousOurs > 0) {
            std::printf("; growth per 4x bodies: ours %5.2f, Box2D %5.2f", ours.msPerStep / previousOurs,
                        box2d.msPerStep / previousBox2D);
        }
        std::printf("\n");
        previousOurs = ours.msPerStep;
        previousBox2D = box2d.msPerStep;
    }
}

// Our time, Box2D's without sleeping and Box2D's with it: medians of
// five runs taken in turns, so that a busy moment of the machine does not
// decide a ratio.
struct FlatTimes {
    double ours, box2d, box2dSleeping;
};
FlatTimes TimeFlat(const std::vector<BodyPlan>& plans, int steps) {
    std::vector<double> ours, box2d, sleeping;
    for (int run = 0; run < 5; ++run) {
        ours.push_back(RunOurs(plans, kGravity, steps).msPerStep);
        box2d.push_back(RunBox2D(plans, kBox, kGravity, steps, false).msPerStep);
        sleeping.push_back(RunBox2D(plans, kBox, kGravity, steps, true).msPerStep);
    }
    auto median = [](std::vector<double>& v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    return {median(ours), median(box2d), median(sleeping)};
}

void PrintFlat(const char* scene, size_t boxes, const FlatTimes& t) {
    std::printf("%s (%5zu boxes): ours %7.3f ms/step, Box2D %7.3f ms/step without sleeping, ratio %5.2f;"
                " Box2D sleeping %7.3f ms/step, ratio %5.2f",
                scene, boxes, t.ours, t.box2d, t.ours / t.box2d, t.box2dSleeping,
                t.ours / t.box2dSleeping);
}

void RowScenes() {
    FlatTimes previous{};
    for (int count : {1000, 2000, 4000, 8000}) {
        FlatTimes t = TimeFlat(Row(count), 60);
        char scene[32];
        std::snprintf(scene, sizeof scene, "row %4d", count);
        PrintFlat(scene, size_t(count), t);
        if (previous.ours > 0) {
            std::printf("; growth per 2x boxes: ours %4.2f, Box2D %4.2f", t.ours / previous.ours,
                        t.box2d / previous.box2d);
        }
        std::printf("\n");
        previous = t;
    }
}

void PlatformScenes() {
    for (int side : {8, 16}) {
        std::vector<BodyPlan> plans = Platforms(side, side);
        char scene[40];
        std::snprintf(scene, sizeof scene, "platforms %2dx%-2d", side, side);
        PrintFlat(scene, size_t(side * side * 8), TimeFlat(plans, 60));
        std::printf("\n");
    }
}

}  // namespace

int main() {
    // The game serves its objects from the engine pool; so does the benchmark.
    System::CreateEnginePool(System::ParseMemorySize("128m"));
    PyramidScene(20);
    PyramidScene(40);
    ScatteredScenes();
    RowScenes();
    PlatformScenes();
    return 0;
}

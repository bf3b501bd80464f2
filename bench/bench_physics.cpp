// The physics step against Box2D on the same scenes, side by side in one
// run: pyramids of boxes on a floor (time per step, and how far the top box
// has dropped after 10 s), bodies scattered at constant density with
// random velocities (time per step, and its growth per 4x bodies, which
// shows the order of the broad phase), and the flat layouts of platform
// games: a long row of boxes on one floor, and a grid of platforms with
// boxes resting on them.
//
// Steps are timed in steady state: the first second of each scene is a
// warm-up, timed apart. Box2D's first two steps spend hundreds of
// milliseconds in its continuous collision pass at 8,000 boxes (against
// some 15 a step after, and some 30 without that pass), which would
// otherwise decide its figures. This engine never puts bodies to sleep, so Box2D is timed
// without sleeping (like for like) and with it (what a game on Box2D gets
// from bodies at rest), side by side.
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
#include <initializer_list>
#include <memory>
#include <vector>

#include "System/Source/Components/Factories.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/MemoryPool.h"
#include "World/PhysicsBody.h"
#include "World/PhysicsWorld.h"
#include "World/Transform.h"
#include "bench/BodyWorld.h"

namespace {

constexpr float kDt = 1.0f / 30.0f;
constexpr float kGravity = -490.0f;
constexpr float kBox = 40.0f;  // pyramid box size, units
constexpr float kPyramidSeconds = 10.0f;
constexpr int kWarmUpSteps = 30;  // the first second of a scene
constexpr int kRuns = 5;

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
    float Y(const PhysicsBody* body) const { return body->GetPosition().y; }

private:
    BodyWorld world_;
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
    double warmUpMs;   // the warm-up steps together
    double msPerStep;  // after them
    float drop;        // of the last body (the pyramid's top box), over all steps
};

// The warm-up, then `steps` steps timed.
template <class World, class Body>
Result Run(World& world, Body* last, int steps) {
    const float start = world.Y(last);
    const Clock::time_point begin = Clock::now();
    for (int i = 0; i < kWarmUpSteps; ++i) world.Step();
    const Clock::time_point warm = Clock::now();
    for (int i = 0; i < steps; ++i) world.Step();
    const double ms = Milliseconds(Clock::now() - warm) / steps;
    return {Milliseconds(warm - begin), ms, start - world.Y(last)};
}

Result RunOurs(const std::vector<BodyPlan>& plans, float gravity, int steps) {
    OurWorld world;
    PhysicsBody* last = nullptr;
    for (const BodyPlan& plan : plans) last = world.Add(plan, gravity);
    return Run(world, last, steps);
}

Result RunBox2D(const std::vector<BodyPlan>& plans, float unitsPerMetre, float gravity, int steps,
                bool sleeping) {
    auto world = std::make_unique<BoxWorld>(unitsPerMetre, gravity, sleeping);
    b2Body* last = nullptr;
    for (const BodyPlan& plan : plans) last = world->Add(plan);
    return Run(*world, last, steps);
}

// Ours, Box2D without sleeping and Box2D with it: medians of kRuns runs
// taken in turns, so that a busy moment of the machine does not decide a
// ratio.
struct Times {
    Result ours, box2d, sleeping;
};

Result Median(std::vector<Result> runs) {
    auto median = [&](auto field) {
        std::vector<double> v;
        for (const Result& r : runs) v.push_back(r.*field);
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    return {median(&Result::warmUpMs), median(&Result::msPerStep), runs.front().drop};
}

Times TimeScene(const std::vector<BodyPlan>& plans, float unitsPerMetre, float gravity, int steps) {
    std::vector<Result> ours, box2d, sleeping;
    for (int run = 0; run < kRuns; ++run) {
        ours.push_back(RunOurs(plans, gravity, steps));
        box2d.push_back(RunBox2D(plans, unitsPerMetre, gravity, steps, false));
        sleeping.push_back(RunBox2D(plans, unitsPerMetre, gravity, steps, true));
    }
    return {Median(ours), Median(box2d), Median(sleeping)};
}

void PrintTimes(const char* scene, const Times& t) {
    std::printf("%s: ours %7.3f ms/step, Box2D %7.3f without sleeping (ratio %5.2f), %7.3f with it"
                " (ratio %5.2f); warm-up %d steps: ours %6.0f ms, Box2D %6.0f, %6.0f",
                scene, t.ours.msPerStep, t.box2d.msPerStep, t.ours.msPerStep / t.box2d.msPerStep,
                t.sleeping.msPerStep, t.ours.msPerStep / t.sleeping.msPerStep, kWarmUpSteps,
                t.ours.warmUpMs, t.box2d.warmUpMs, t.sleeping.warmUpMs);
}

void PyramidScene(int rows) {
    std::vector<BodyPlan> plans = Pyramid(rows);
    Times t = TimeScene(plans, kBox, kGravity, int(kPyramidSeconds / kDt + 0.5f) - kWarmUpSteps);
    char scene[48];
    std::snprintf(scene, sizeof scene, "pyramid %2d rows (%4zu boxes)", rows, plans.size() - 1);
    PrintTimes(scene, t);
    std::printf("; top box dropped after 10 s: ours %6.1f, Box2D %6.1f units\n", t.ours.drop,
                t.box2d.drop);
}

// Scenes of growing size, each `factor` times the last: the step's growth
// from one to the next shows the order of the broad phase.
template <class Scene>
void GrowingScenes(const char* name, std::initializer_list<int> counts, int factor, Scene scene,
                   float unitsPerMetre, float gravity) {
    Times previous{};
    for (int count : counts) {
        Times t = TimeScene(scene(count), unitsPerMetre, gravity, 60);
        char label[48];
        std::snprintf(label, sizeof label, "%s %4d", name, count);
        PrintTimes(label, t);
        if (previous.ours.msPerStep > 0) {
            std::printf("; growth per %dx: ours %4.2f, Box2D %4.2f", factor,
                        t.ours.msPerStep / previous.ours.msPerStep,
                        t.box2d.msPerStep / previous.box2d.msPerStep);
        }
        std::printf("\n");
        previous = t;
    }
}

void PlatformScenes() {
    for (int side : {8, 16}) {
        char scene[48];
        std::snprintf(scene, sizeof scene, "platforms %2dx%-2d (%4d boxes)", side, side, side * side * 8);
        PrintTimes(scene, TimeScene(Platforms(side, side), kBox, kGravity, 60));
        std::printf("\n");
    }
}

}  // namespace

int main() {
    // The game serves its objects from the engine pool; so does the benchmark.
    System::CreateEnginePool(System::ParseMemorySize("128m"));
    PyramidScene(20);
    PyramidScene(40);
    GrowingScenes("scattered bodies", {100, 400, 1600, 6400}, 4, Scattered, 10, 0);
    GrowingScenes("row of boxes", {1000, 2000, 4000, 8000}, 2, Row, kBox, kGravity);
    PlatformScenes();
    return 0;
}

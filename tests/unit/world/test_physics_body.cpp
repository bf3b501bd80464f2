// The physics body: shapes, integration, forces, messages and membership of
// the physics world.
#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <vector>

#include "test_physics_support.h"

using namespace PhysicsTest;

namespace {

class PhysicsBodyTest : public PhysicsFixture {
protected:
    static MessagePayload Message(std::initializer_list<double> values) {
        MessagePayload payload;
        for (double v : values) payload.AddNumber(v);
        return payload;
    }
};

bool InWorld(PhysicsBody* body) {
    const PhysicsWorld::BodyList* list = PhysicsWorld::GetBodies();
    return list && std::count(list->begin(), list->end(), body) == 1;
}

}  // namespace

TEST_F(PhysicsBodyTest, DefaultsAndFactoryName) {
    Thing t = Make(0, 0);
    PhysicsBody& b = *t.body;
    EXPECT_STREQ(b.GetComponentName(), "PhysicsBody");
    EXPECT_STREQ(b.GetTypeName(), "class PhysicsBody");
    ASSERT_NE(b.shape, nullptr);
    EXPECT_EQ(b.shape->typeId, kShapeNone);
    EXPECT_EQ(b.shape->radius, 0.0f);
    EXPECT_EQ(b.bounciness, 1.0f);
    EXPECT_EQ(b.mass, 0.0f);
    EXPECT_EQ(b.layer, -1);
    EXPECT_EQ(b.gravity, Vec2());
    EXPECT_FALSE(b.ghost);
    EXPECT_TRUE(InWorld(&b));
}

TEST_F(PhysicsBodyTest, GravityIntegratesOverSteps) {
    Thing t = Make(0, 0);
    t.body->SetMass(1);
    t.body->gravity = PhysicsBody::kDefaultGravity;
    t.body->Update(0.5f);
    EXPECT_FLOAT_EQ(t.body->GetVelocity().y, -245.0f);
    EXPECT_FLOAT_EQ(t.transform->y, -122.5f);
    t.body->Update(0.5f);
    EXPECT_FLOAT_EQ(t.body->GetVelocity().y, -490.0f);
    EXPECT_FLOAT_EQ(t.transform->y, -367.5f);
    EXPECT_FLOAT_EQ(t.transform->x, 0.0f);
}

TEST_F(PhysicsBodyTest, StaticBodyKeepsItsStoredVelocity) {
    Thing t = Make(0, 0);
    t.body->SetMass(1);
    t.body->SetVelocity({3, 0});
    t.body->SetMass(0);
    t.body->SetVelocity({50, 50});
    t.body->SetVelX(7);
    t.body->SetVelY(7);
    t.body->gravity = PhysicsBody::kDefaultGravity;
    t.body->CreateForce(0, 100, 100);
    t.body->Update(1.0f);
    EXPECT_EQ(t.body->GetVelocity(), Vec2(3, 0));
    EXPECT_FLOAT_EQ(t.transform->x, 3.0f);
    EXPECT_FLOAT_EQ(t.transform->y, 0.0f);
}

TEST_F(PhysicsBodyTest, TimedForcesActForTheirTimeAndPermanentOnesAlways) {
    Thing t = Make(0, 0);
    t.body->SetMass(2);
    t.body->CreateForce(0.05f, 10, 0);    // half of the step, then gone
    t.body->CreateForce(-1.0f, 1000, 0);  // expired: removed unused
    t.body->CreateForce(0, 0, 4);         // for ever
    t.body->Update(0.1f);
    EXPECT_FLOAT_EQ(t.body->GetVelocity().x, 10 * 0.05f * 0.5f);
    EXPECT_FLOAT_EQ(t.body->GetVelocity().y, 4 * 0.1f * 0.5f);
    ASSERT_EQ(t.body->forces.size(), 1u);
    t.body->Update(0.1f);
    EXPECT_FLOAT_EQ(t.body->GetVelocity().x, 0.25f);
    EXPECT_FLOAT_EQ(t.body->GetVelocity().y, 0.4f);

    // A force longer than the step keeps the rest of its time.
    t.body->forces.clear();
    t.body->CreateNormalForce(0.25f, 3, 4, 10);  // (6, 8)
    t.body->Update(0.1f);
    ASSERT_EQ(t.body->forces.size(), 1u);
    EXPECT_FLOAT_EQ(t.body->forces.front().time, 0.15f);
    EXPECT_FLOAT_EQ(t.body->forces.front().force.x, 6.0f);
    EXPECT_FLOAT_EQ(t.body->forces.front().force.y, 8.0f);
}

TEST_F(PhysicsBodyTest, SpeedIsCappedAndRotationWrapped) {
    Thing t = Make(0, 0);
    t.body->SetMass(1);
    t.body->SetVelocity({0, 400000});
    t.body->Update(0.0f);
    EXPECT_FLOAT_EQ(t.body->speed, 200000.0f);
    EXPECT_EQ(t.body->direction, Vec2(0, 1));

    t.transform->rotation = 3.0f;
    t.body->SetAngularVelocity(2.0f);
    t.body->Update(0.1f);
    EXPECT_FLOAT_EQ(t.transform->rotation, (3.0f + 0.1f * 2.0f) - 6.2831855f);
    t.transform->rotation = -3.0f;
    t.body->SetAngularVelocity(-2.0f);
    t.body->Update(0.1f);
    EXPECT_FLOAT_EQ(t.transform->rotation, (-3.0f - 0.1f * 2.0f) + 6.2831855f);

    // A fixed angle or a box stops the turning.
    t.body->fixedAngle = true;
    t.body->Update(0.1f);
    EXPECT_EQ(t.body->angularVelocity, 0.0f);
}

TEST_F(PhysicsBodyTest, HugeValuesNeverReachTheTransformAsNanOrHang) {
    Thing t = Make(0, 0);
    t.body->SetMass(1);
    t.body->direction = Vec2(1, 1);
    t.body->speed = FLT_MAX;
    t.transform->rotation = 1e30f;
    t.body->angularVelocity = 1.0f;
    t.body->Update(0.1f);
    EXPECT_TRUE(std::isfinite(t.transform->x));
    EXPECT_TRUE(std::isfinite(t.transform->y));
    EXPECT_LE(std::fabs(t.transform->rotation), 3.1415927f);

    t.body->CreateBox(FLT_MAX, FLT_MAX);  // its mass overflows
    t.body->Update(0.1f);
    EXPECT_TRUE(std::isfinite(t.transform->x));
    EXPECT_TRUE(std::isfinite(t.transform->scaleX));
}

TEST_F(PhysicsBodyTest, WithoutTransformUpdateChangesNothing) {
    auto* object = new System::GenericGameObject();
    object->AddComponent("PhysicsBody");
    auto* body = dynamic_cast<PhysicsBody*>(object->GetComponent("PhysicsBody"));
    ASSERT_NE(body, nullptr);
    body->SetMass(1);
    body->SetVelocity({1, 2});
    body->gravity = PhysicsBody::kDefaultGravity;
    body->Update(1.0f);
    EXPECT_EQ(body->GetVelocity(), Vec2(1, 2));
    EXPECT_EQ(body->GetPosition(), Vec2());
    body->SetPosition(5, 5);  // nowhere to write
    body->CreateBox(4, 4);
    EXPECT_EQ(body->bounciness, 1.0f);  // only a Transform's box stops bouncing
}

TEST_F(PhysicsBodyTest, ShapeCreators) {
    Thing t = Make(0, 0);
    PhysicsBody& b = *t.body;
    b.CreateBox(10, 20);
    ASSERT_EQ(b.shape->typeId, kShapeBox);
    EXPECT_FLOAT_EQ(b.mass, 200.0f);
    EXPECT_FLOAT_EQ(b.invMass, 0.005f);
    EXPECT_FLOAT_EQ(b.shape->radius, std::sqrt(125.0f));
    EXPECT_EQ(b.bounciness, 0.0f);
    EXPECT_EQ(t.transform->scaleX, 10.0f);
    EXPECT_EQ(t.transform->scaleY, 20.0f);

    b.inertia = b.invInertia = 3.0f;
    b.CreateBox(0, 5);
    EXPECT_EQ(b.mass, 0.0f);
    EXPECT_EQ(b.invMass, 0.0f);
    EXPECT_EQ(b.inertia, 0.0f);
    EXPECT_EQ(b.invInertia, 0.0f);

    b.CreateRigidBox(2, 4);
    ASSERT_EQ(b.shape->typeId, kShapeRigid);
    const Rigid& rigid = static_cast<const Rigid&>(*b.shape);
    ASSERT_EQ(rigid.pointCount, 4);
    EXPECT_EQ(rigid.points[0], Vec2(1, 2));
    EXPECT_EQ(rigid.points[1], Vec2(-1, 2));
    EXPECT_EQ(rigid.points[2], Vec2(-1, -2));
    EXPECT_EQ(rigid.points[3], Vec2(1, -2));
    EXPECT_FLOAT_EQ(b.mass, 8.0f);
    EXPECT_FLOAT_EQ(b.inertia, 8.0f * 20.0f * 0.0833333358f);
    EXPECT_FLOAT_EQ(b.invInertia, 1.0f / b.inertia);
    EXPECT_FLOAT_EQ(b.shape->radius, std::sqrt(5.0f));

    b.CreateCircle(5);
    EXPECT_EQ(b.shape->typeId, kShapeCircle);
    EXPECT_EQ(b.shape->radius, 5.0f);
    EXPECT_EQ(t.transform->scaleX, 5.0f);
    EXPECT_FLOAT_EQ(b.mass, 8.0f);  // untouched

    t.transform->scaleX = 1;
    Vec2 points[] = {{0, 0}, {30, 0}, {30, 40}};
    b.CreateRigid(points, 3);
    EXPECT_EQ(b.shape->typeId, kShapeRigid);
    EXPECT_FLOAT_EQ(b.shape->radius, 50.0f);
    EXPECT_EQ(b.mass, 0.0f);
    EXPECT_EQ(t.transform->scaleX, 1.0f);
    b.CreateRigid(nullptr, 0);
    EXPECT_EQ(static_cast<const Rigid&>(*b.shape).pointCount, 0);
}

TEST_F(PhysicsBodyTest, ImpulsesAndAngularVelocity) {
    Thing t = Make(0, 0);
    PhysicsBody& b = *t.body;
    b.CreateRigidBox(2, 2);  // mass 4, inertia 4 * 8 / 12
    b.ApplyImpulse({4, 0}, {0, 1});
    EXPECT_FLOAT_EQ(b.GetVelocity().x, 1.0f);
    EXPECT_FLOAT_EQ(b.angularVelocity, Cross(Vec2(0, 1), Vec2(4, 0)) * b.invInertia);

    b.CreateBox(2, 2);
    b.ApplyImpulse({0, 4}, {1, 0});
    EXPECT_EQ(b.angularVelocity, 0.0f);
    b.SetAngularVelocity(3);
    EXPECT_EQ(b.angularVelocity, 0.0f);

    b.SetMass(0);
    b.ApplyImpulse({100, 100}, {});
    EXPECT_FLOAT_EQ(b.GetVelocity().x, 1.0f);
}

TEST_F(PhysicsBodyTest, CollisionList) {
    Thing t = Make(0, 0);
    t.body->AddToCollisionList(3);
    t.body->AddToCollisionList(3);
    t.body->AddToCollisionList(5);
    t.body->AddToCollisionList(7);
    EXPECT_EQ(t.body->collisionList.size(), 3u);
    t.body->RemoveFromCollisionList(5);
    t.body->RemoveFromCollisionList(42);
    ASSERT_EQ(t.body->collisionList.size(), 2u);
    EXPECT_EQ(t.body->collisionList[0], 3);
    EXPECT_EQ(t.body->collisionList[1], 7);
}

TEST_F(PhysicsBodyTest, Messages) {
    Thing t = Make(1, 2);
    PhysicsBody& b = *t.body;
    b.HandleMessage(Message({0, 4}));
    EXPECT_FLOAT_EQ(b.invMass, 0.25f);
    b.HandleMessage(Message({3, 0.5}));
    EXPECT_EQ(b.bounciness, 0.5f);
    b.HandleMessage(Message({4, 2, 0}));  // not normalised
    b.HandleMessage(Message({5, 3}));
    EXPECT_EQ(b.GetVelocity(), Vec2(6, 0));
    b.HandleMessage(Message({6, 0, -5}));
    EXPECT_EQ(b.GetVelocity(), Vec2(0, -5));
    b.HandleMessage(Message({7, 10, 20}));
    EXPECT_EQ(b.GetPosition(), Vec2(10, 20));
    b.HandleMessage(Message({13, 1, -1}));
    EXPECT_EQ(b.GetPosition(), Vec2(11, 19));
    b.HandleMessage(Message({10, 2}));
    EXPECT_TRUE(b.ghost);
    b.HandleMessage(Message({12, 0, 0, 2, 3}));
    ASSERT_EQ(b.forces.size(), 1u);
    EXPECT_EQ(b.forces.front().force, Vec2(0, 3));
    b.HandleMessage(Message({14, 1.5}));
    EXPECT_EQ(t.transform->rotation, 1.5f);
    b.HandleMessage(Message({15, 2}));
    EXPECT_EQ(b.angularVelocity, 2.0f);
    b.HandleMessage(Message({22, 6}));
    EXPECT_EQ(b.shape->typeId, kShapeCircle);
    b.HandleMessage(Message({23, 2, 2}));
    EXPECT_EQ(b.shape->typeId, kShapeRigid);
    b.HandleMessage(Message({21, 3, 3}));
    EXPECT_EQ(b.shape->typeId, kShapeBox);
    EXPECT_FLOAT_EQ(b.mass, 9.0f);

    // Message 31 integrates at once; 8 and numbers outside the table do
    // nothing.
    b.forces.clear();
    b.SetVelocity({2, 0});
    b.HandleMessage(Message({31, 0.5}));
    EXPECT_EQ(b.GetPosition(), Vec2(12, 19));
    for (double n : {8.0, 9.0, 40.0, -1.0, 1.0}) {
        b.HandleMessage(Message({n, 100, 100}));
    }
    b.HandleMessage(MessagePayload());
    EXPECT_EQ(b.GetPosition(), Vec2(12, 19));
    EXPECT_FLOAT_EQ(b.mass, 9.0f);
    EXPECT_EQ(b.GetVelocity(), Vec2(2, 0));
}

TEST_F(PhysicsBodyTest, WorldMembershipFollowsEnableAndLifetime) {
    Thing t = Make(0, 0);
    EXPECT_TRUE(InWorld(t.body));
    t.object->RemoveComponent("PhysicsBody");
    EXPECT_FALSE(InWorld(t.body));
    t.object->AddComponent("PhysicsBody");
    EXPECT_TRUE(InWorld(t.body));
    t.object->Destroy();
    EXPECT_FALSE(InWorld(t.body));

    // A body made before the world exists is kept.
    PhysicsWorld::Destroy();
    auto* early = new PhysicsBody();
    EXPECT_TRUE(InWorld(early));
    delete early;
    EXPECT_TRUE(PhysicsWorld::GetBodies()->empty());
}

TEST_F(PhysicsBodyTest, BodiesLeaveAndRejoinTheListInOrder) {
    // Body i at x = i, each lower than the one before: the step reverses them.
    std::vector<Thing> things;
    for (int i = 0; i < 6; ++i) things.push_back(Make(float(i), float(-i)));
    auto order = [] {
        std::vector<int> out;
        for (PhysicsBody* body : *PhysicsWorld::GetBodies())
            out.push_back(int(body->GetPosition().x));
        return out;
    };
    auto leave = [&](int i) { things[size_t(i)].object->RemoveComponent("PhysicsBody"); };
    auto rejoin = [&](int i) { things[size_t(i)].object->AddComponent("PhysicsBody"); };
    for (int i : {1, 3}) leave(i);
    rejoin(1);
    EXPECT_EQ(order(), (std::vector<int>{0, 2, 4, 5, 1}));
    // Most of the list gone at once, then one back.
    for (int i : {0, 2, 4}) leave(i);
    rejoin(2);
    EXPECT_EQ(order(), (std::vector<int>{5, 1, 2}));
    // After a step has reordered the list: no body twice, none lost.
    PhysicsWorld::Step();
    EXPECT_EQ(order(), (std::vector<int>{5, 2, 1}));
    PhysicsWorld::AddBody(things[1].body);
    leave(5);
    rejoin(5);
    EXPECT_EQ(order(), (std::vector<int>{2, 1, 5}));
    // A place held in a list that was cleared means nothing.
    PhysicsWorld::Clear();
    rejoin(4);
    leave(1);
    PhysicsWorld::AddBody(things[2].body);
    EXPECT_EQ(order(), (std::vector<int>{4, 2}));
}

// Making and deleting 64 times the bodies takes some 70 to 120 times as
// long (the caches hold fewer of them); when each body searched the list as
// it came and went, some 3,000 times.
TEST_F(PhysicsBodyTest, JoiningAndLeavingTheWorldDoNotSearchIt) {
    auto seconds = [](int count) {
        double best = 1e9;
        // The best of three, so that a busy moment does not decide it.
        for (int run = 0; run < 3; ++run) {
            auto begin = std::chrono::steady_clock::now();
            for (int i = 0; i < count; ++i) new PhysicsBody();
            // Deleted first to last, as a level change deletes them.
            DeleteAllObjectsAndComponents();
            std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
            best = std::min(best, took.count());
        }
        return best;
    };
    const double few = seconds(2000);
    const double many = seconds(128000);
    EXPECT_LT(many, few * 1000) << few << " s for 2,000, " << many << " s for 128,000";
}

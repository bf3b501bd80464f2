// The world step: ordering, pair filtering, each shape pair's contact and
// response, layers, ghosts and the queued "Collision" messages.
#include <cmath>

#include "test_physics_support.h"

using namespace PhysicsTest;

namespace {

class PhysicsWorldTest : public PhysicsFixture {
protected:
    // Delivers the step's messages to the logs.
    static void StepAndDeliver() {
        PhysicsWorld::Step();
        DeliverAllMessages();
    }
    // One response of a pair, as one round of the step gives it.
    static bool RespondOnce(Thing& a, Thing& b) {
        a.body->contactCount = b.body->contactCount = 0;
        PhysicsWorld::Contact contact;
        if (!PhysicsWorld::TestPair(*a.body, *b.body, contact)) return false;
        PhysicsWorld::CorrectPositions(*a.body, *b.body, contact);
        PhysicsWorld::ResolveImpulses(*a.body, *b.body, contact.normal);
        return true;
    }
    static Thing MakeRigidBox(float x, float y, float w, float h) {
        Thing thing = Make(x, y);
        thing.body->CreateRigidBox(w, h);
        return thing;
    }
};

}  // namespace

TEST_F(PhysicsWorldTest, BoxesSeparateAlongTheSmallerOverlap) {
    Thing a = MakeBox(0, 0, 10, 10, 1);
    Thing b = MakeBox(8, 3, 10, 10, 1);
    PhysicsWorld::Contact contact;
    ASSERT_TRUE(PhysicsWorld::TestPair(*a.body, *b.body, contact));
    EXPECT_EQ(a.body->contactCount, 2);
    EXPECT_EQ(a.body->contacts[0], Vec2(-5, 5));   // x = 0 - 1 * 5; lower top
    EXPECT_EQ(a.body->contacts[1], Vec2(-5, -2));  // higher bottom
    StepAndDeliver();
    // Later rounds of the step find the pair at the slop and leave it.
    EXPECT_NEAR(a.transform->x, -0.95f, 1e-5);
    EXPECT_NEAR(b.transform->x, 8.95f, 1e-5);
    EXPECT_FLOAT_EQ(a.transform->y, 0.0f);
    EXPECT_FLOAT_EQ(b.transform->y, 3.0f);

    // The message: number, name, normal seen from the receiver, the other
    // object, the code and the receiver's velocity.
    ASSERT_EQ(a.log->received.size(), 1u);
    ASSERT_EQ(b.log->received.size(), 1u);
    const MessagePayload& ma = a.log->received[0];
    ASSERT_EQ(ma.Size(), 8u);
    EXPECT_STREQ(ma.Args()[1].ToString(), "Collision");
    EXPECT_EQ(Numbers(ma), (std::vector<double>{6, 1, 0, double(b.object->GetId()), 0, 0, 0}));
    EXPECT_EQ(Numbers(b.log->received[0]),
              (std::vector<double>{6, -1, 0, double(a.object->GetId()), 0, 0, 0}));
}

TEST_F(PhysicsWorldTest, LandingBoxBouncesAndFrictionStopsItsSlide) {
    Thing ground = MakeBox(0, 0, 100, 10, 0);
    Thing box = MakeBox(0, 9, 10, 10, 1);
    ground.body->bounciness = box.body->bounciness = 0.5f;
    ground.body->friction = box.body->friction = 0.5f;
    box.body->SetVelocity({3, -10});
    StepAndDeliver();
    // Depth 1: the box alone moves out by 1 - 0.1.
    EXPECT_FLOAT_EQ(box.transform->y, 9.9f);
    EXPECT_FLOAT_EQ(ground.transform->y, 0.0f);
    // j = 1.5 * 10 over two contacts; friction 1.5 per contact (under the
    // limit 7.5 * 0.5) takes the slide away.
    EXPECT_NEAR(box.body->GetVelocity().x, 0.0f, 1e-5);
    EXPECT_FLOAT_EQ(box.body->GetVelocity().y, 5.0f);
    EXPECT_EQ(ground.body->GetVelocity(), Vec2());
    ASSERT_EQ(box.log->received.size(), 1u);
    std::vector<double> m = Numbers(box.log->received[0]);
    EXPECT_EQ(m[1], 0);
    EXPECT_EQ(m[2], -1);
    EXPECT_NEAR(m[5], 0.0, 1e-5);
    EXPECT_DOUBLE_EQ(m[6], 5.0);

    // Sliding faster than friction can hold, under gravity: it slows down
    // at mu * g = 245 and stops after about 100^2 / 490 = 20 units.
    box.body->gravity = PhysicsBody::kDefaultGravity;
    box.body->SetVelocity({100, 0});
    for (int i = 0; i < 30; ++i) {
        box.body->Update(1 / 30.0f);
        StepAndDeliver();
    }
    EXPECT_EQ(box.body->GetVelocity().x, 0.0f);
    EXPECT_NEAR(box.transform->x, 21.0f, 2.0f);
}

TEST_F(PhysicsWorldTest, BouncyBallOnADeadFloorDoesNotBounce) {
    // The less bouncy of the two decides, whichever of them it is; the two
    // pairs lie far apart.
    Thing deadFloor = MakeBox(0, 0, 100, 10, 0);
    Thing bouncyBall = MakeBox(0, 9, 10, 10, 1);
    Thing bouncyFloor = MakeBox(1000, 0, 100, 10, 0);
    Thing deadBall = MakeBox(1000, 9, 10, 10, 1);
    deadFloor.body->bounciness = deadBall.body->bounciness = 0.0f;
    bouncyFloor.body->bounciness = bouncyBall.body->bounciness = 1.0f;
    bouncyBall.body->SetVelocity({0, -10});
    deadBall.body->SetVelocity({0, -10});
    StepAndDeliver();
    EXPECT_FLOAT_EQ(bouncyBall.body->GetVelocity().y, 0.0f);
    EXPECT_FLOAT_EQ(deadBall.body->GetVelocity().y, 0.0f);
}

TEST_F(PhysicsWorldTest, ShallowContactGetsImpulseButNoCorrection) {
    Thing a = MakeBox(0, 0, 10, 10, 1);
    Thing b = MakeBox(0, 9.95f, 10, 10, 1);
    b.body->SetVelocity({0, -10});
    StepAndDeliver();
    EXPECT_FLOAT_EQ(a.transform->y, 0.0f);
    EXPECT_FLOAT_EQ(b.transform->y, 9.95f);
    EXPECT_FLOAT_EQ(a.body->GetVelocity().y, -5.0f);
    EXPECT_FLOAT_EQ(b.body->GetVelocity().y, -5.0f);
}

TEST_F(PhysicsWorldTest, SeparatingPairGetsNoImpulse) {
    Thing a = MakeBox(0, 0, 10, 10, 1);
    Thing b = MakeBox(0, 9, 10, 10, 1);
    a.body->friction = b.body->friction = 1.0f;
    b.body->SetVelocity({4, 10});
    StepAndDeliver();
    EXPECT_EQ(b.body->GetVelocity(), Vec2(4, 10));
    EXPECT_EQ(a.body->GetVelocity(), Vec2());
    EXPECT_FLOAT_EQ(b.transform->y, 9.45f);  // still pushed apart
}

TEST_F(PhysicsWorldTest, GhostsAndLayersReportWithoutResponse) {
    Thing a = MakeBox(0, 0, 10, 10, 1);
    Thing b = MakeBox(8, 3, 10, 10, 1);
    b.body->ghost = true;
    StepAndDeliver();
    EXPECT_EQ(a.transform->x, 0.0f);
    EXPECT_EQ(b.transform->x, 8.0f);
    EXPECT_EQ(Numbers(a.log->received.at(0))[4], 1);
    EXPECT_EQ(Numbers(b.log->received.at(0))[4], 1);

    // Layers 1 and 2 with empty lists: filtered, even for a ghost.
    a.body->layer = 1;
    b.body->layer = 2;
    StepAndDeliver();
    EXPECT_EQ(Numbers(a.log->received.at(1))[4], 2);
    EXPECT_EQ(Numbers(b.log->received.at(1))[4], 2);

    // One entry on either side lets the pair respond.
    b.body->ghost = false;
    b.body->AddToCollisionList(1);
    StepAndDeliver();
    EXPECT_EQ(Numbers(a.log->received.at(2))[4], 0);
    EXPECT_NEAR(a.transform->x, -0.95f, 1e-5);

    // Layer -1 on one side collides with every layer.
    a.transform->x = 0;
    b.transform->x = 8;
    b.body->RemoveFromCollisionList(1);
    a.body->layer = -1;
    StepAndDeliver();
    EXPECT_EQ(Numbers(a.log->received.at(3))[4], 0);
}

TEST_F(PhysicsWorldTest, PairsThatAreNeverTested) {
    // Two static bodies.
    Thing a = MakeBox(0, 0, 10, 10, 0);
    Thing b = MakeBox(1, 1, 10, 10, 0);
    // Out of reach of each other's bounding radius.
    Thing c = MakeBox(100, 0, 10, 10, 1);
    // A circle against a polygon has no test; so has a plain shape.
    Thing d = MakeRigidBox(300, 0, 10, 10);
    Thing e = Make(300, 1);
    e.body->CreateCircle(5);
    e.body->SetMass(1);
    Thing f = Make(300, 2);
    f.body->SetMass(1);
    StepAndDeliver();
    for (Thing* t : {&a, &b, &c, &d, &e, &f}) EXPECT_TRUE(t->log->received.empty());
}

TEST_F(PhysicsWorldTest, MessagesOnlyForOwnersWithLuaComponent) {
    Thing a = MakeBox(0, 0, 10, 10, 1, false);
    Thing b = MakeBox(8, 3, 10, 10, 1);
    StepAndDeliver();
    EXPECT_EQ(a.log, nullptr);
    EXPECT_EQ(b.log->received.size(), 1u);
    EXPECT_NEAR(a.transform->x, -0.95f, 1e-5);  // its response still happens
    // A body that belongs to no object takes part but gets no message.
    auto* loose = new PhysicsBody();
    loose->CreateBox(10, 10);
    StepAndDeliver();
    delete loose;
}

TEST_F(PhysicsWorldTest, CircleContacts) {
    Thing a = Make(0, 0);
    Thing b = Make(3, 4);
    a.body->CreateCircle(5);
    b.body->CreateCircle(5);
    a.body->SetMass(1);
    b.body->SetMass(1);
    b.body->SetVelocity({0, -10});
    StepAndDeliver();
    // Depth 5 along (0.6, 0.8), shared equally. Without contact points the
    // closing speed 8 along the normal is taken away, shared equally too.
    EXPECT_FLOAT_EQ(a.transform->x, -0.6f * 2.45f);
    EXPECT_FLOAT_EQ(a.transform->y, -0.8f * 2.45f);
    EXPECT_FLOAT_EQ(b.transform->x, 3 + 0.6f * 2.45f);
    EXPECT_NEAR(b.body->GetVelocity().x, 2.4f, 1e-5);
    EXPECT_NEAR(b.body->GetVelocity().y, -6.8f, 1e-5);
    EXPECT_NEAR(a.body->GetVelocity().x, -2.4f, 1e-5);
    EXPECT_NEAR(Numbers(a.log->received.at(0))[1], 0.6, 1e-6);

    // Two circles on the same spot: no direction, nothing moves, no NaN.
    a.transform->x = b.transform->x = 50;
    a.transform->y = b.transform->y = 50;
    StepAndDeliver();
    EXPECT_EQ(a.transform->x, 50.0f);
    EXPECT_EQ(b.transform->y, 50.0f);
}

TEST_F(PhysicsWorldTest, CircleLandingOnBoxStopsAndIsPushedOut) {
    Thing box = MakeBox(0, 0, 20, 10, 0);
    Thing ball = Make(0, 9);
    ball.body->CreateCircle(5);
    ball.body->SetMass(1);
    ball.body->SetVelocity({0, -10});
    StepAndDeliver();
    EXPECT_FLOAT_EQ(ball.transform->y, 9.9f);
    EXPECT_EQ(ball.body->GetVelocity(), Vec2());  // no bounce
    // The normal is the unnormalised offset from the box's nearest point.
    EXPECT_EQ(Numbers(box.log->received.at(0))[2], 4);
    EXPECT_EQ(Numbers(ball.log->received.at(0))[2], -4);

    // The circle first (lower): the normal turns round, seen from it.
    ball.transform->y = -9;
    StepAndDeliver();
    EXPECT_EQ(Numbers(ball.log->received.at(1))[2], 4);
    EXPECT_FLOAT_EQ(ball.transform->y, -9.9f);

    // Centre inside the box, even on the box's centre: no NaN.
    ball.transform->x = 0;
    ball.transform->y = 0;
    StepAndDeliver();
    EXPECT_EQ(ball.transform->x, 0.0f);
    EXPECT_EQ(ball.transform->y, 0.0f);
    // Out through the nearer face: the top (4 away, not the side 7 away),
    // by 4 + 5 less the slop.
    ball.transform->x = 3;
    ball.transform->y = 1;
    StepAndDeliver();
    EXPECT_FLOAT_EQ(ball.transform->x, 3.0f);
    EXPECT_FLOAT_EQ(ball.transform->y, 9.9f);
    // Deep in near the end of a wide floor it leaves upward, not through
    // the floor's end.
    Thing floor = MakeBox(0, -100, 2000, 40, 0);
    ball.transform->x = 900;
    ball.transform->y = -95;
    StepAndDeliver();
    EXPECT_FLOAT_EQ(ball.transform->x, 900.0f);
    EXPECT_NEAR(ball.transform->y, -80 + 5 - 0.1f, 1e-4);
}

TEST_F(PhysicsWorldTest, PolygonsClipReferenceFaceAndTurn) {
    Thing ground = MakeRigidBox(0, 0, 10, 10);
    ground.body->SetMass(0);
    Thing box = MakeRigidBox(0, 9, 10, 10);  // mass 100
    box.body->SetVelocity({0, -10});
    ASSERT_TRUE(RespondOnce(ground, box));
    // Reference face: the ground's top; contacts where the box's bottom
    // lies below it, depth 1.
    ASSERT_EQ(ground.body->contactCount, 2);
    EXPECT_EQ(ground.body->contacts[0], Vec2(-5, 4));
    EXPECT_EQ(ground.body->contacts[1], Vec2(5, 4));
    EXPECT_FLOAT_EQ(box.transform->y, 9.9f);
    // One response takes away 4 of the closing speed 10; the two contacts'
    // turns cancel.
    EXPECT_NEAR(box.body->GetVelocity().y, -6.0f, 1e-3);
    EXPECT_NEAR(box.body->angularVelocity, 0.0f, 1e-5);
    // Each further round of the step takes 40% of what is left of the
    // closing speed (the turning terms weigh in the denominator even though
    // the two contacts' turns cancel): after the step's rounds, under 5%.
    StepAndDeliver();
    EXPECT_EQ(Numbers(box.log->received.at(0))[2], -1);
    EXPECT_NEAR(box.body->GetVelocity().y, 0.0f, 0.5f);

    // A box turned by 0.2, its bottom corners 2.89 and 0.91 deep in a wider ground, goes straight
    // up off the ground's top face, by their mean depth 1.9 less the slop.
    Thing wide = MakeRigidBox(100, 0, 40, 10);
    wide.body->SetMass(0);
    Thing tilted = MakeRigidBox(100, 8, 10, 10);
    tilted.transform->rotation = 0.2f;
    ASSERT_TRUE(RespondOnce(wide, tilted));
    EXPECT_NEAR(tilted.transform->x, 100.0f, 0.1f);
    EXPECT_NEAR(tilted.transform->y, 9.8f, 0.3f);
}

TEST_F(PhysicsWorldTest, BoxAgainstPolygonUsesItsCorners) {
    Thing ground = MakeBox(0, 0, 10, 10, 0);
    Thing box = MakeRigidBox(0, 9, 10, 10);
    box.body->SetVelocity({0, -10});
    ASSERT_TRUE(RespondOnce(ground, box));
    EXPECT_EQ(ground.body->shape->typeId, kShapeBox);  // restored after the test
    EXPECT_EQ(ground.body->contactCount, 2);
    EXPECT_FLOAT_EQ(box.transform->y, 9.9f);
    EXPECT_NEAR(box.body->GetVelocity().y, -6.0f, 1e-3);

    // A polygon without points touches nothing.
    Thing empty = Make(0, 9);
    empty.body->CreateRigid(nullptr, 0);
    empty.body->SetMass(1);
    empty.body->shape->radius = 100;
    StepAndDeliver();
    EXPECT_TRUE(empty.log->received.empty());
}

TEST_F(PhysicsWorldTest, StepOrdersBodiesByHeightKeepingTies) {
    Thing a = Make(0, 5);
    Thing b = Make(0, -5);
    Thing c = Make(0, 5);
    Thing d = Make(0, 0, false);
    d.body->CreateBox(1, 1);
    d.object->RemoveComponent("Transform");
    d.body->FindTransform();  // no Transform: height 0
    PhysicsWorld::Step();
    const PhysicsWorld::BodyList& list = *PhysicsWorld::GetBodies();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], b.body);
    EXPECT_EQ(list[1], d.body);
    EXPECT_EQ(list[2], a.body);
    EXPECT_EQ(list[3], c.body);
}

TEST_F(PhysicsWorldTest, BodyDisabledBeforeTheStepIsLeftOut) {
    Thing a = MakeBox(0, 0, 10, 10, 1);
    Thing b = MakeBox(8, 3, 10, 10, 1);
    a.body->Update(0.0f);
    b.body->Update(0.0f);
    b.object->RemoveComponent("PhysicsBody");
    StepAndDeliver();
    EXPECT_TRUE(a.log->received.empty());
    EXPECT_EQ(b.transform->x, 8.0f);
    // Enabled again, it takes part in the next step.
    b.object->AddComponent("PhysicsBody");
    StepAndDeliver();
    EXPECT_EQ(a.log->received.size(), 1u);
}

TEST_F(PhysicsWorldTest, NegativeMassesDoNotDivideByZero) {
    Thing a = MakeBox(0, 0, 10, 10, -1);
    Thing b = MakeBox(8, 3, 10, 10, -2);
    StepAndDeliver();
    EXPECT_EQ(a.transform->x, 0.0f);
    EXPECT_EQ(b.transform->x, 8.0f);
    EXPECT_TRUE(b.body->GetVelocity().IsFinite());
}

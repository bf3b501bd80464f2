// The narrow phase of the physics world step: the contact test of one pair
// of bodies by their two shapes.
#pragma once

#include "World/Vec2.h"

class PhysicsBody;

namespace PhysicsWorld {

// The result of a narrow-phase test: the normal points from the first
// body of the pair to the second.
struct Contact {
    Vec2 normal;
    float depth = 0.0f;
};
// The narrow phase of one pair (A first). False when the shapes do not
// touch or the pair has no test. May write contact points into a body.
bool TestPair(PhysicsBody& a, PhysicsBody& b, Contact& contact);

}  // namespace PhysicsWorld

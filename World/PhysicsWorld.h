// The physics world: the list of bodies and the per-frame step.
#pragma once

#include "System/Source/PoolAllocator.h"
#include "World/Vec2.h"

class PhysicsBody;

namespace PhysicsWorld {

using BodyList = System::Vector<PhysicsBody*>;

// Makes the empty body list (nothing when it exists).
void Create();
// Empties the list; the bodies are not touched.
void Clear();
// Frees the list.
void Destroy();
// One step: orders the bodies by height, tests every pair, separates the
// touching ones, exchanges impulses and queues "Collision" messages.
void Step();

// The list; null before Create and after Destroy.
BodyList* GetBodies();
// Appends a body that is not in the list yet (the list is made when
// missing, so bodies made before Create are not lost).
void AddBody(PhysicsBody* body);
// Removes every occurrence of the body.
void RemoveBody(PhysicsBody* body);

// The result of a narrow-phase test: the normal points from the first
// body of the pair to the second.
struct Contact {
    Vec2 normal;
    float depth = 0.0f;
};
// The narrow phase of one pair (A first). False when the shapes do not
// touch or the pair has no test. May write contact points into a body.
bool TestPair(PhysicsBody& a, PhysicsBody& b, Contact& contact);
// The response of a touching pair.
void CorrectPositions(PhysicsBody& a, PhysicsBody& b, const Contact& contact);
void ResolveImpulses(PhysicsBody& a, PhysicsBody& b, Vec2 normal);

}  // namespace PhysicsWorld

// The physics world: the list of bodies and the per-frame step.
#pragma once

#include <cstdint>

#include "System/Source/PoolAllocator.h"
#include "World/NarrowPhase.h"
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
// One step: replays long moves in substeps; in each, orders the bodies by
// height, finds the pairs within reach, separates the touching ones and
// exchanges impulses, several rounds over those pairs; then queues one
// "Collision" message per touching pair.
void Step();
// Counts the steps; a body's Update tags its move with it, so that only
// the move of this frame is replayed.
uint32_t CurrentStep();
// The broad phase scans the height-ordered list, stopping where no later
// body can reach, or sweeps flat layouts across; off, it looks at every
// pair (the results are the same).
void SetReachShortcut(bool enabled);

// The list; null before Create and after Destroy.
BodyList* GetBodies();
// Appends a body that is not in the list yet (the list is made when
// missing, so bodies made before Create are not lost).
void AddBody(PhysicsBody* body);
// Takes the body out of the list; the others keep their order. Neither
// this nor AddBody searches the list, so making and deleting many bodies
// takes time in proportion to their number.
void RemoveBody(PhysicsBody* body);

// The response of a touching pair; each says whether it changed anything.
bool CorrectPositions(PhysicsBody& a, PhysicsBody& b, const Contact& contact);
// Without `bounce` the closing velocity is only taken away: a pair bounces
// once per step (per substep when there are several), from the velocity it
// met with. Bouncing again in every round would pump energy into stacks
// round by round.
bool ResolveImpulses(PhysicsBody& a, PhysicsBody& b, Vec2 normal, bool bounce = true);

}  // namespace PhysicsWorld

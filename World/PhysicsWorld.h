// The physics world: the list of bodies and the per-frame step.
#pragma once

namespace PhysicsWorld {
void Create();
void Clear();
void Step();
}  // namespace PhysicsWorld

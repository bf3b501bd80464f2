// STAND-IN for the game world's physics: no bodies, an empty step. The
// physics world replaces this file.
#include "World/PhysicsWorld.h"

namespace PhysicsWorld {
void Create() {}
void Clear() {}
void Step() {}
}  // namespace PhysicsWorld

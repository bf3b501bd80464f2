// Making and deleting many bodies: objects with a Transform and a physics
// body, made as a map's objects are and deleted as a level change deletes
// them, at sizes doubling in one run. Each body joins the physics world as
// it is made and leaves it as it is deleted; the growth per 2x bodies
// shows the order of that: near 2 when joining and leaving do not depend
// on how many bodies there are, 4 when each body searches the list. (The
// memory pool fills up near 70,000 objects and the heap serves the rest,
// which alone makes the row after it grow by more than 2.)
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "System/Source/Components/Factories.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/MemoryPool.h"
#include "World/PhysicsBody.h"
#include "World/PhysicsWorld.h"
#include "World/Transform.h"
#include "bench/BodyWorld.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Times {
    double make, remove;  // ms
};

Times MakeAndDelete(int count) {
    BodyWorld world;

    Clock::time_point begin = Clock::now();
    for (int i = 0; i < count; ++i) {
        auto* object = new System::GenericGameObject();
        object->AddComponent("Transform");
        object->AddComponent("PhysicsBody");
    }
    Clock::time_point made = Clock::now();
    DeleteAllObjectsAndComponents();
    Clock::time_point deleted = Clock::now();

    return {Milliseconds(made - begin), Milliseconds(deleted - made)};
}

}  // namespace

int main() {
    // The game serves its objects from the engine pool; so does the benchmark.
    System::CreateEnginePool(System::ParseMemorySize("128m"));
    Times previous{};
    for (int count : {25000, 50000, 100000, 200000}) {
        // The best of three, so that a busy moment of the machine does not
        // decide a ratio.
        Times t = MakeAndDelete(count);
        for (int run = 1; run < 3; ++run) {
            Times again = MakeAndDelete(count);
            t.make = std::min(t.make, again.make);
            t.remove = std::min(t.remove, again.remove);
        }
        std::printf(
            "%6d bodies: made in %9.1f ms (%6.3f us each), deleted in %9.1f ms (%6.3f us each)",
            count, t.make, t.make * 1000 / count, t.remove, t.remove * 1000 / count);
        if (previous.make > 0) {
            std::printf("; growth per 2x bodies: making %5.2f, deleting %5.2f",
                        t.make / previous.make, t.remove / previous.remove);
        }
        std::printf("\n");
        previous = t;
    }
    return 0;
}

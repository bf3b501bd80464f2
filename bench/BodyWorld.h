// The game's object tables and physics world, made as start-up makes them
// and torn down as shutdown does, for benchmarks that make bodies.
#pragma once

#include "System/Source/Components/Factories.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/MemoryPool.h"
#include "World/PhysicsBody.h"
#include "World/PhysicsWorld.h"
#include "World/Transform.h"

class BodyWorld {
public:
    BodyWorld() {
        static ComponentFactoryNode transformNode, bodyNode;
        RegisterComponentType(transformNode, "Transform", Transform::Create);
        RegisterComponentType(bodyNode, "PhysicsBody", PhysicsBody::Create);
        InitComponentTable(System::NewPooled<ComponentVector>());
        InitObjectTable(System::NewPooled<ObjectVector>());
        PhysicsWorld::Create();
    }
    ~BodyWorld() {
        DeleteAllObjectsAndComponents();
        PhysicsWorld::Destroy();
        System::DeletePooled(GetComponentTableMain());
        System::DeletePooled(GetObjectTableMain());
        InitComponentTable(nullptr);
        InitObjectTable(nullptr);
    }
    BodyWorld(const BodyWorld&) = delete;
    BodyWorld& operator=(const BodyWorld&) = delete;
};

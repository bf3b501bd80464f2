// Objects with a Transform, a physics body and (optionally) a Lua component
// stand-in that keeps its messages, in fresh tables and a fresh physics
// world for each test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "System/Source/Components/Factories.h"
#include "System/Source/Components/GenericComponent.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/MessageQueue.h"
#include "World/PhysicsBody.h"
#include "World/PhysicsWorld.h"
#include "World/Transform.h"

namespace PhysicsTest {

// The game world's Transform, one unit large to start with.
class FakeTransform : public Transform {
public:
    FakeTransform() {
        scaleX = 1;
        scaleY = 1;
    }
};

// Keeps every message it is handed.
class MessageLog : public System::GenericComponent {
public:
    void Update(float) override {}
    bool HandleMessage(const MessagePayload& payload) override {
        received.push_back(payload);
        return true;
    }
    std::vector<MessagePayload> received;
};

inline System::GenericComponent* MakeTransform() {
    auto* component = new FakeTransform();
    component->SetComponentName("Transform");
    return component;
}
inline System::GenericComponent* MakeLog() {
    auto* component = new MessageLog();
    component->SetComponentName("LuaComponent");
    return component;
}

struct Thing {
    System::GenericGameObject* object = nullptr;
    FakeTransform* transform = nullptr;
    PhysicsBody* body = nullptr;
    MessageLog* log = nullptr;
};

class PhysicsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        savedHead_ = g_componentFactoryHead;
        static ComponentFactoryNode transform, log, body;
        RegisterComponentType(transform, "Transform", MakeTransform);
        RegisterComponentType(log, "LuaComponent", MakeLog);
        RegisterComponentType(body, "PhysicsBody", PhysicsBody::Create);
        InitComponentTable(System::NewPooled<ComponentVector>());
        InitObjectTable(System::NewPooled<ObjectVector>());
        CreateMessageQueue();
        PhysicsWorld::Create();
    }

    void TearDown() override {
        DestroyMessageQueue();
        DeleteAllObjectsAndComponents();
        EXPECT_TRUE(PhysicsWorld::GetBodies() == nullptr || PhysicsWorld::GetBodies()->empty());
        PhysicsWorld::Destroy();
        System::DeletePooled(GetComponentTableMain());
        System::DeletePooled(GetObjectTableMain());
        InitComponentTable(nullptr);
        InitObjectTable(nullptr);
        g_componentFactoryHead = savedHead_;
    }

    // An object at (x, y) with a Transform, a body (its Transform found)
    // and, when asked, a message log under the name "LuaComponent".
    static Thing Make(float x, float y, bool withLog = true) {
        Thing thing;
        thing.object = new System::GenericGameObject();
        if (withLog) thing.object->AddComponent("LuaComponent");
        thing.object->AddComponent("Transform");
        thing.object->AddComponent("PhysicsBody");
        thing.transform = dynamic_cast<FakeTransform*>(thing.object->GetComponent("Transform"));
        thing.body = dynamic_cast<PhysicsBody*>(thing.object->GetComponent("PhysicsBody"));
        if (withLog)
            thing.log = dynamic_cast<MessageLog*>(thing.object->GetComponent("LuaComponent"));
        thing.transform->x = x;
        thing.transform->y = y;
        thing.body->FindTransform();
        return thing;
    }

    // A box body of the given size and mass at (x, y).
    static Thing MakeBox(float x, float y, float w, float h, float mass, bool withLog = true) {
        Thing thing = Make(x, y, withLog);
        thing.body->CreateBox(w, h);
        thing.body->SetMass(mass);
        return thing;
    }

    static std::vector<double> Numbers(const MessagePayload& payload) {
        std::vector<double> out;
        for (size_t i = 0; i < payload.Size(); ++i) {
            if (i != 1) out.push_back(payload.Args()[i].ToDouble());
        }
        return out;
    }

private:
    ComponentFactoryNode* savedHead_ = nullptr;
};

}  // namespace PhysicsTest

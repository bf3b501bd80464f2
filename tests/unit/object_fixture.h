// A test component, a test object and a fixture that installs fresh object
// and component tables for each test and deletes everything afterwards.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "System/Source/Components/Factories.h"
#include "System/Source/Components/GenericComponent.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/MessageQueue.h"

namespace ObjectTest {

// Counts its hooks and keeps a copy of every message it gets.
class TestComponent : public System::GenericComponent {
public:
    void Update(float) override { ++updates; }
    void Draw() override { ++draws; }
    void OnEnable() override {
        ++enables;
        activeInHook = IsActive();
        if (onEnable) onEnable(*this);
    }
    void OnDisable() override {
        ++disables;
        activeInHook = IsActive();
    }
    bool HandleMessage(const MessagePayload& payload) override {
        received.push_back(payload);
        if (deliveryLog) deliveryLog->push_back(GetId());
        if (onMessage) onMessage(*this, payload);
        return true;
    }

    int updates = 0, draws = 0, enables = 0, disables = 0;
    bool activeInHook = false;
    std::vector<MessagePayload> received;
    std::function<void(TestComponent&)> onEnable;
    std::function<void(TestComponent&, const MessagePayload&)> onMessage;

    // Ids of the components that got a message, in order of delivery.
    static inline std::vector<int>* deliveryLog = nullptr;
};

template <const char* Name>
System::GenericComponent* CreateNamed() {
    auto* component = new TestComponent();
    component->SetComponentName(Name);
    return component;
}

inline constexpr char kTest[] = "TestComponent";
inline constexpr char kOther[] = "TestOther";
inline constexpr char kTransform[] = "Transform";
inline constexpr char kGraphics[] = "GraphicsComponent";

inline TestComponent* AsTest(System::GenericComponent* component) {
    return dynamic_cast<TestComponent*>(component);
}

// Like the engine's object kinds: adds components in its constructor and
// removes them again in its destructor.
class TestObject : public System::GenericGameObject {
public:
    TestObject() { AddComponent(kTest); }
    ~TestObject() override {
        RemoveComponent(kTest);
        // The components are deleted after the objects, so this one is
        // still reachable by id.
        TestComponent* component = AsTest(GetComponentById((*GetComponentIds())[0]));
        disablesSeenAtDestruction = component ? component->disables : -1;
    }
    static inline int disablesSeenAtDestruction = -1;
};

class ObjectTablesFixture : public ::testing::Test {
protected:
    void SetUp() override {
        savedComponentHead_ = g_componentFactoryHead;
        savedObjectHead_ = g_objectFactoryHead;
        static ComponentFactoryNode test, other, transform, graphics;
        RegisterComponentType(test, kTest, &CreateNamed<kTest>);
        RegisterComponentType(other, kOther, &CreateNamed<kOther>);
        RegisterComponentType(transform, kTransform, &CreateNamed<kTransform>);
        RegisterComponentType(graphics, kGraphics, &CreateNamed<kGraphics>);
        static ObjectFactoryNode object;
        RegisterObjectType(object, "TestObject", [] {
            return static_cast<System::GenericGameObject*>(new TestObject());
        });
        InitComponentTable(System::NewPooled<ComponentVector>());
        InitObjectTable(System::NewPooled<ObjectVector>());
        CreateMessageQueue();
    }

    void TearDown() override {
        DestroyMessageQueue();
        DeleteAllObjectsAndComponents();
        // Every id was given back.
        auto* object = new System::GenericGameObject();
        auto* component = new TestComponent();
        EXPECT_EQ(object->GetId(), 0);
        EXPECT_EQ(component->GetId(), 0);
        DeleteAllObjectsAndComponents();
        System::DeletePooled(GetComponentTableMain());
        System::DeletePooled(GetObjectTableMain());
        InitComponentTable(nullptr);
        InitObjectTable(nullptr);
        g_componentFactoryHead = savedComponentHead_;
        g_objectFactoryHead = savedObjectHead_;
        TestComponent::deliveryLog = nullptr;
    }

    // An object with one component of each given class, in order.
    static System::GenericGameObject* MakeObject(std::initializer_list<const char*> classes) {
        auto* object = new System::GenericGameObject();
        for (const char* name : classes) EXPECT_TRUE(object->AddComponent(name)) << name;
        return object;
    }

private:
    ComponentFactoryNode* savedComponentHead_ = nullptr;
    ObjectFactoryNode* savedObjectHead_ = nullptr;
};

}  // namespace ObjectTest

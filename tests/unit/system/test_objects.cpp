#include <gtest/gtest.h>

#include "object_fixture.h"

using namespace ObjectTest;
using System::GenericComponent;
using System::GenericGameObject;

namespace {

class Objects : public ObjectTablesFixture {};

TEST_F(Objects, AddComponentCreatesOnceAndRecordsTheOwner) {
    GenericGameObject* object = CreateObject("TestObject");  // adds kTest itself
    ASSERT_NE(object, nullptr);
    EXPECT_STREQ(object->GetTypeName(), "class System::GenericGameObject");
    EXPECT_FALSE(object->AddComponent(kTest));
    EXPECT_EQ(GetComponentCount(), 1);

    GenericComponent* component = object->GetComponent(kTest);
    ASSERT_NE(component, nullptr);
    EXPECT_STREQ(component->GetTypeName(), "class System::GenericComponent");
    EXPECT_EQ(component->GetOwner(), object);
    EXPECT_TRUE(object->HasComponentId(component->GetId()));
    EXPECT_FALSE(object->HasComponentId(component->GetId() + 1));
    EXPECT_EQ(AsTest(component)->enables, 0);  // born active: no hook
}

TEST_F(Objects, RemoveThenAddEnablesTheSameComponentAgain) {
    GenericGameObject* object = MakeObject({kOther, kTest});
    TestComponent* component = AsTest(object->GetComponent(kTest));

    EXPECT_TRUE(object->RemoveComponent(kTest));
    EXPECT_FALSE(component->activeInHook);  // flag written before the hook
    EXPECT_FALSE(object->RemoveComponent(kTest));
    EXPECT_TRUE(object->HasComponent(kTest));
    EXPECT_EQ(object->GetComponent(kTest), nullptr);

    EXPECT_TRUE(object->AddComponent(kTest));
    EXPECT_TRUE(component->activeInHook);
    EXPECT_EQ(object->GetComponent(kTest), component);
    EXPECT_EQ(component->disables, 1);
    EXPECT_EQ(component->enables, 1);
    EXPECT_EQ(GetComponentCount(), 2);
}

TEST_F(Objects, GraphicsComponentIdFollowsAddAndRemove) {
    GenericGameObject* object = MakeObject({kTransform, kGraphics});
    const int graphicsId = object->GetComponent(kGraphics)->GetId();
    EXPECT_EQ(object->GetGraphicsComponentId(), graphicsId);
    EXPECT_TRUE(object->RemoveComponent(kGraphics));
    EXPECT_EQ(object->GetGraphicsComponentId(), -1);
    EXPECT_TRUE(object->AddComponent(kGraphics));
    EXPECT_EQ(object->GetGraphicsComponentId(), graphicsId);

    // With no component of that name left, removing still clears the id.
    GetComponentById(graphicsId)->SetComponentName("Renamed");
    EXPECT_FALSE(object->RemoveComponent(kGraphics));
    EXPECT_EQ(object->GetGraphicsComponentId(), -1);
}

TEST_F(Objects, UnknownOrMissingClassNamesChangeNothing) {
    GenericGameObject* object = MakeObject({kTest});
    for (const char* name : {"NoSuchComponent", "testcomponent", "", (const char*)nullptr}) {
        EXPECT_FALSE(object->AddComponent(name));
        EXPECT_FALSE(object->HasComponent(name));
        EXPECT_FALSE(object->RemoveComponent(name));
        EXPECT_EQ(object->GetComponent(name), nullptr);
    }
    EXPECT_EQ(GetComponentCount(), 1);
    EXPECT_EQ(object->GetComponentIds()->size(), 1u);
    object->SetName(nullptr);
    EXPECT_STREQ(object->GetName(), "");
}

TEST_F(Objects, StateChangeDeletesObjectsFirstAndIdsStartAgain) {
    CreateObject("TestObject");
    MakeObject({kTransform, kGraphics, kOther});
    EXPECT_EQ(GetComponentCount(), 4);

    TestObject::disablesSeenAtDestruction = -1;
    DeleteAllObjectsAndComponents();
    // The object's destructor could still reach its component.
    EXPECT_EQ(TestObject::disablesSeenAtDestruction, 1);
    EXPECT_EQ(GetObjectCount(), 0);
    EXPECT_EQ(GetComponentCount(), 0);

    GenericGameObject* next = MakeObject({kTest});
    EXPECT_EQ(GetObjectById(0), next);
    EXPECT_EQ(GetComponentById(0), next->GetComponent(kTest));
}

TEST_F(Objects, ComponentMadeDuringIterationWaitsInPending) {
    GenericGameObject* object = MakeObject({kTest});
    ComponentVector* main = GetComponentTableMain();

    EXPECT_TRUE(BeginComponentIteration());
    EXPECT_FALSE(BeginComponentIteration());
    EXPECT_TRUE(object->AddComponent(kOther));
    GenericComponent* added = object->GetComponent(kOther);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(main->size(), 1u);  // main does not grow under the walk
    EXPECT_EQ(GetComponentById(1), added);
    EXPECT_EQ(GetComponentById(2), nullptr);

    EXPECT_TRUE(EndComponentIteration());
    EXPECT_FALSE(EndComponentIteration());
    ASSERT_EQ(main->size(), 2u);
    EXPECT_EQ((*main)[1], added);
    EXPECT_TRUE(GetComponentTable().pending->empty());
    EXPECT_EQ(GetComponentTableInsertTarget(), main);
}

TEST_F(Objects, LookupsOutsideTheTablesGiveNull) {
    GenericGameObject* alive = new GenericGameObject();
    GenericGameObject* dead = MakeObject({kTest, kOther});
    dead->Destroy();
    EXPECT_EQ(GetObjectById(-1), nullptr);
    EXPECT_EQ(GetObjectById(2), nullptr);
    EXPECT_EQ(GetObjectById(1), nullptr);  // dead, but still in the table
    EXPECT_EQ(GetObjectEntry(1), dead);
    EXPECT_EQ(GetObjectById(0), alive);

    EXPECT_EQ(GetComponentById(-1), nullptr);
    EXPECT_EQ(GetComponentById(2), nullptr);
    EXPECT_EQ(GetComponentById(1 << 30), nullptr);
    GenericComponent* component = GetComponentById(0);
    component->SetOwnerId(7);
    EXPECT_EQ(component->GetOwner(), nullptr);

    // A component deleted on its own leaves no dangling entry.
    delete GetComponentById(1);
    EXPECT_EQ(GetComponentById(1), nullptr);
    EXPECT_FALSE(dead->HasComponent(kOther));
}

TEST_F(Objects, DestroyDisablesActiveComponentsThenMarksDead) {
    GenericGameObject* object = MakeObject({kTest, kOther});
    TestComponent* test = AsTest(object->GetComponent(kTest));
    TestComponent* other = AsTest(object->GetComponent(kOther));
    object->RemoveComponent(kOther);

    object->Destroy();
    EXPECT_FALSE(object->IsAlive());
    EXPECT_FALSE(test->activeInHook);
    EXPECT_EQ(test->disables, 1);
    EXPECT_EQ(other->disables, 1);  // already disabled: no second hook
    EXPECT_EQ(object->GetComponent(kTest), nullptr);
}

TEST_F(Objects, DrawNeedsAGraphicsComponentAndAVisibleTransform) {
    MakeObject({kTransform})->Draw();
    GenericGameObject* noTransform = MakeObject({kGraphics});
    noTransform->Draw();
    EXPECT_EQ(AsTest(noTransform->GetComponent(kGraphics))->draws, 0);

    GenericGameObject* object = MakeObject({kTransform, kGraphics});
    TestComponent* graphics = AsTest(object->GetComponent(kGraphics));
    object->Draw();
    EXPECT_EQ(graphics->draws, 1);

    auto saved = System::g_isTransformVisible;
    System::g_isTransformVisible = [](GenericComponent*) { return false; };
    object->Draw();
    System::g_isTransformVisible = saved;
    object->RemoveComponent(kTransform);
    object->Draw();
    object->AddComponent(kTransform);
    object->RemoveComponent(kGraphics);
    object->Draw();
    EXPECT_EQ(graphics->draws, 1);
}

TEST_F(Objects, WalkStopsAtTheFirstResultOtherThanTwo) {
    EXPECT_EQ(MakeObject({})->ForEachComponent([](GenericComponent&) { return 0; }), 2);
    GenericGameObject* object = MakeObject({kTest, kOther, kTransform});
    EXPECT_EQ(object->ForEachComponent({}), 2);
    std::vector<int> seen;
    auto visitor = [&](GenericComponent& c) {
        seen.push_back(c.GetId());
        return c.GetId() == 1 ? 7 : 2;
    };
    EXPECT_EQ(object->ForEachComponent(visitor), 7);
    EXPECT_EQ(seen, (std::vector<int>{0, 1}));

    // Only the first component of a class is looked at.
    EXPECT_TRUE(object->RemoveComponent(kTest));
    object->GetComponent(kOther)->SetComponentName(kTest);
    EXPECT_EQ(object->GetComponent(kTest), nullptr);
}

TEST_F(Objects, HookThatAddsComponentsDuringTheWalkIsSafe) {
    GenericGameObject* object = MakeObject({kTest});
    AsTest(object->GetComponent(kTest))->onEnable = [](TestComponent& self) {
        for (const char* name : {kOther, kTransform, kGraphics})
            self.GetOwner()->AddComponent(name);
    };
    object->RemoveComponent(kTest);
    EXPECT_TRUE(object->AddComponent(kTest));
    EXPECT_EQ(object->GetComponentIds()->size(), 4u);
    EXPECT_EQ(object->GetGraphicsComponentId(), 3);
}

TEST_F(Objects, LooseComponentsEnableDisableAndKeepIdLists) {
    TestComponent* component = AsTest(CreateComponent(kTest));
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(component->GetOwner(), nullptr);
    EXPECT_FALSE(component->Enable());
    EXPECT_TRUE(component->Disable());
    EXPECT_FALSE(component->Disable());
    EXPECT_TRUE(component->Enable());
    EXPECT_EQ(component->enables + component->disables, 2);

    EXPECT_TRUE(component->AddToIdList(5));
    EXPECT_FALSE(component->AddToIdList(5));
    EXPECT_TRUE(component->AddToIdList(9));
    EXPECT_TRUE(component->RemoveFromIdList(5));
    EXPECT_TRUE(component->AddToIdList(11));  // reuses the freed slot
    EXPECT_EQ(*component->GetIdList(), (System::Vector<int>{11, 9}));
}

TEST_F(Objects, ObjectsAndComponentsLiveWithoutTables) {
    ComponentVector* components = GetComponentTableMain();
    ObjectVector* objects = GetObjectTableMain();
    EXPECT_EQ(InitComponentTable(nullptr), nullptr);
    EXPECT_EQ(InitObjectTable(nullptr), nullptr);
    auto* object = new GenericGameObject();
    auto* component = new TestComponent();
    EXPECT_STREQ(component->GetComponentName(), "");
    EXPECT_EQ(GetComponentById(0), nullptr);
    EXPECT_EQ(GetObjectById(0), nullptr);
    EXPECT_TRUE(BeginComponentIteration());
    EXPECT_TRUE(EndComponentIteration());
    object->Destroy();
    object->Draw();
    DeleteAllObjectsAndComponents();
    delete object;
    delete component;
    InitComponentTable(components);
    InitObjectTable(objects);
}

GenericComponent* MakeFirst() {
    return CreateNamed<kTest>();
}
GenericComponent* MakeSecond() {
    return CreateNamed<kOther>();
}

TEST_F(Objects, LaterFactoryRegistrationWins) {
    static ComponentFactoryNode first, second;
    RegisterComponentType(first, "Twice", &MakeFirst);
    RegisterComponentType(second, "Twice", &MakeSecond);
    EXPECT_STREQ(CreateComponent("Twice")->GetComponentName(), kOther);
    // Registering a linked node again moves it to the front; no cycle.
    RegisterComponentType(first, "Twice", &MakeFirst);
    RegisterComponentType(first, "Twice", &MakeFirst);
    EXPECT_STREQ(CreateComponent("Twice")->GetComponentName(), kTest);
    EXPECT_EQ(CreateComponent("Twic"), nullptr);
    EXPECT_EQ(CreateComponent("TwiceMore"), nullptr);
    EXPECT_EQ(CreateObject("NeverRegistered"), nullptr);

    static ObjectFactoryNode objectFirst, objectSecond;
    RegisterObjectType(objectFirst, "Thing", [] { return new GenericGameObject(); });
    RegisterObjectType(objectSecond, "Thing", [] {
        GenericGameObject* object = new GenericGameObject();
        object->SetName("second");
        return object;
    });
    EXPECT_STREQ(CreateObject("Thing")->GetName(), "second");
}

}  // namespace

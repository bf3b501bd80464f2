// What the component tests share: a renderer that records every call as a
// line of text, a stand-in physics body, and a fixture that registers the
// world's components, object kinds and class tables as the engine does.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "Graphics/Renderer.h"
#include "System/Source/Components/Factories.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/LuaState.h"
#include "System/Source/MemoryPool.h"
#include "System/Source/MessageQueue.h"
#include "System/Source/ScriptRegistry.h"
#include "World/AnimationComponent.h"
#include "World/GraphicsComponent.h"
#include "World/LuaComponent.h"
#include "World/Object.h"
#include "World/ObjectLua.h"
#include "World/ParticleComponent.h"
#include "World/TextureComponent.h"
#include "World/Transform.h"
#include "support/TestSupport.h"
#include "test_lua_support.h"

namespace ComponentTest {

class RecordingRenderer : public Renderer {
public:
    std::vector<std::string> calls;

    template <class... Args>
    void Log(const char* name, Args... args) {
        std::ostringstream out;
        out << name << "(";
        bool first = true;
        ((out << (first ? "" : ", ") << args, first = false), ...);
        out << ")";
        calls.push_back(out.str());
    }
    // The recorded calls whose text starts with `prefix`.
    std::vector<std::string> Only(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& call : calls)
            if (call.rfind(prefix, 0) == 0) out.push_back(call);
        return out;
    }

    void SetSize(int w, int h) override { Log("SetSize", w, h); }
    void SetTarget(RenderTarget* target) override { Log("SetTarget", target ? "target" : "null"); }
    void SetEffect(Effect* effect) override { Log("SetEffect", effect ? "effect" : "null"); }
    void PushTranslation(int x, int y, int z) override { Log("PushTranslation", x, y, z); }
    void PushTranslationF(float x, float y, float z) override { Log("PushTranslationF", x, y, z); }
    void PopTranslation() override { Log("PopTranslation"); }
    void SetRotation(float angle) override { Log("SetRotation", angle); }
    void SetPivot(float x, float y) override { Log("SetPivot", x, y); }
    void SetColorFill(bool fill) override { Log("SetColorFill", fill); }
    void SetColor(unsigned char r, unsigned char g, unsigned char b, unsigned char a) override {
        Log("SetColor", int(r), int(g), int(b), int(a));
    }
    void SetTexture(unsigned int texture) override { Log("SetTexture", texture); }
    void SetFont(int font) override { Log("SetFont", font); }
    void SetTextFlag(bool flag) override { Log("SetTextFlag", flag); }
    void SetTextFlipped(bool flipped) override { Log("SetTextFlipped", flipped); }
    void FillRect(int x1, int y1, int x2, int y2) override { Log("FillRect", x1, y1, x2, y2); }
    void BeginColorFill() override { Log("BeginColorFill"); }
    void DrawQuad(int x1, int y1, int x2, int y2) override { Log("DrawQuad", x1, y1, x2, y2); }
    void EndColorFill() override { Log("EndColorFill"); }
    void FillCircle(int x, int y, int r) override { Log("FillCircle", x, y, r); }
    void FillSector(int x, int y, int r, float from, float to) override {
        Log("FillSector", x, y, r, from, to);
    }
    void DrawRectOutline(int x1, int y1, int x2, int y2, int t) override {
        Log("DrawRectOutline", x1, y1, x2, y2, t);
    }
    void DrawTexture(int x1, int y1, int x2, int y2) override {
        Log("DrawTexture", x1, y1, x2, y2);
    }
    void DrawTextureRegion(int x1, int y1, int x2, int y2, float s1, float t1, float s2,
                           float t2) override {
        Log("DrawTextureRegion", x1, y1, x2, y2, s1, t1, s2, t2);
    }
    void DrawLine(int x1, int y1, int x2, int y2) override { Log("DrawLine", x1, y1, x2, y2); }
    void FillTriangle(int x1, int y1, int x2, int y2, int x3, int y3) override {
        Log("FillTriangle", x1, y1, x2, y2, x3, y3);
    }
    void AddPoint(int x, int y) override { Log("AddPoint", x, y); }
    void EndStrip() override { Log("EndStrip"); }
    void SetReverseOrder(bool reverse) override { Log("SetReverseOrder", reverse); }
    void SetDepth(int depth) override { Log("SetDepth", depth); }
    void SetDrawCallback(DrawCallback) override { Log("SetDrawCallback"); }
};

// Stands in for the physics body: records the order in which the
// components of its object were disabled.
class StandInBody : public System::GenericComponent {
public:
    void Update(float) override {}
    void OnDisable() override {
        if (System::GenericGameObject* owner = GetOwner()) {
            for (const char* name : {"LuaComponent", "Transform", "GraphicsComponent"})
                if (owner->GetComponent(name)) activeAtDisable.push_back(name);
        }
        ++disabled;
    }
    static System::GenericComponent* Create() {
        auto* body = new StandInBody();
        body->SetComponentName("PhysicsBody");
        return body;
    }
    static inline std::vector<std::string> activeAtDisable;
    static inline int disabled = 0;
};

// The object model, Lua with the classes the world needs, the message
// queue and the script registry, in a temporary working directory. The
// rest of the engine's class tables are left out of the fresh Lua state.
class ComponentsFixture : public LuaFixture {
protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
        oldCwd_ = cwd;
        ASSERT_EQ(chdir(dir.Path().c_str()), 0);
        System::CreateEnginePool(System::ParseMemorySize("16m"));
        LuaFixture::SetUp();
        InitComponentTable(System::NewPooled<ComponentVector>());
        InitObjectTable(System::NewPooled<ObjectVector>());
        CreateMessageQueue();
        CreateScriptRegistry();
        ObjectLua::RegisterGameObjectMethods();
        System::RegisterClassTable<System::GenericGameObject>("GenericGameObject",
                                                              ObjectLua::NewGameObject);
        System::RegisterClassTable<System::GenericComponent>(
            "GenericComponent", ObjectLua::NewGenericComponent, System::LuaNewIndexComponent);

        savedComponents_ = g_componentFactoryHead;
        savedObjects_ = g_objectFactoryHead;
        static ComponentFactoryNode body, animation, graphics, lua, particles, texture, transform;
        RegisterComponentType(body, "PhysicsBody", StandInBody::Create);
        RegisterComponentType(animation, "AnimationComponent", AnimationComponent::Create);
        RegisterComponentType(graphics, "GraphicsComponent", GraphicsComponent::Create);
        RegisterComponentType(lua, "LuaComponent", LuaComponent::Create);
        RegisterComponentType(particles, "ParticleComponent", ParticleComponent::Create);
        RegisterComponentType(texture, "TextureComponent", TextureComponent::Create);
        RegisterComponentType(transform, "Transform", Transform::Create);
        static ObjectFactoryNode luaObject, object;
        RegisterObjectType(luaObject, "LuaObject", LuaObject::Create);
        RegisterObjectType(object, "Object", Object::Create);

        using System::LuaNewIndexComponent;
        using System::RegisterClassTable;
        RegisterClassTable<AnimationComponent>("AnimationComponent", AnimationComponent::LuaNew,
                                               LuaNewIndexComponent);
        GraphicsComponent::RegisterMethods();
        RegisterClassTable<GraphicsComponent>("GraphicsComponent", GraphicsComponent::LuaNew,
                                              LuaNewIndexComponent);
        LuaComponent::RegisterMethods();
        RegisterClassTable<LuaComponent>("LuaComponent", LuaComponent::LuaNew,
                                         LuaNewIndexComponent);
        ParticleComponent::RegisterMethods();
        RegisterClassTable<ParticleComponent>("ParticleComponent", ParticleComponent::LuaNew,
                                              LuaNewIndexComponent);
        TextureComponent::RegisterMethods();
        RegisterClassTable<TextureComponent>("TextureComponent", TextureComponent::LuaNew,
                                             LuaNewIndexComponent);
        RegisterClassTable<Transform>("Transform", Transform::LuaNew, LuaNewIndexComponent);
        RegisterClassTable<LuaObject>("LuaObject", LuaObject::LuaNew);
        RegisterClassTable<Object>("Object", Object::LuaNew);

        CurrentRenderer = &renderer;
        StandInBody::activeAtDisable.clear();
        StandInBody::disabled = 0;
    }

    void TearDown() override {
        CurrentRenderer = nullptr;
        DeleteAllObjectsAndComponents();
        ClearAllMessages();
        LuaFixture::TearDown();
        System::DeletePooled(GetComponentTableMain());
        System::DeletePooled(GetObjectTableMain());
        InitComponentTable(nullptr);
        InitObjectTable(nullptr);
        DestroyMessageQueue();
        System::ShutdownEnginePool();
        EXPECT_EQ(chdir(oldCwd_.c_str()), 0);
        g_componentFactoryHead = savedComponents_;
        g_objectFactoryHead = savedObjects_;
    }

    template <class T>
    static T* Get(System::GenericGameObject* object, const char* name) {
        return dynamic_cast<T*>(object->GetComponent(name));
    }

    // A message of numbers.
    static MessagePayload Message(std::initializer_list<double> values) {
        MessagePayload payload;
        for (double value : values) payload.AddNumber(value);
        return payload;
    }

    double Global(const char* name) {
        lua_getglobal(L, name);
        double value = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return value;
    }

    RecordingRenderer renderer;
    TestSupport::TempDir dir;

private:
    std::string oldCwd_;
    ComponentFactoryNode* savedComponents_ = nullptr;
    ObjectFactoryNode* savedObjects_ = nullptr;
};

}  // namespace ComponentTest

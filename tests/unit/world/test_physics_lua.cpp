// The Lua class "PhysicsBody" through a real Lua state.
#include "System/Source/Components/LuaBinding.h"
#include "engine_fixture.h"
#include "test_physics_support.h"

namespace {

class PhysicsLuaTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        saved = g_componentFactoryHead;
        static ComponentFactoryNode transform, body;
        RegisterComponentType(transform, "Transform", PhysicsTest::MakeTransform);
        RegisterComponentType(body, "PhysicsBody", PhysicsBody::Create);
        PhysicsBody::RegisterMethods();
        System::RegisterClassTable<PhysicsBody>("PhysicsBody", PhysicsBody::LuaNew,
                                                System::LuaNewIndexComponent);
        PhysicsWorld::Create();
        Lua(R"lua(
            function MakeBody(x, y)
                local o = GenericGameObject:new()
                o:AddComponent("Transform")
                o:AddComponent("PhysicsBody")
                local t = o:GetComponent("Transform")
                t.x = x
                t.y = y
                return o:GetComponent("PhysicsBody"), t
            end
        )lua");
    }
    void TearDown() override {
        g_componentFactoryHead = saved;
        EngineFixture::TearDown();
        PhysicsWorld::Destroy();
    }
    // The error of a chunk, or "".
    std::string Run(const char* code) {
        int top = lua_gettop(L);
        std::string error;
        if (luaL_loadstring(L, code) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
            error = lua_tostring(L, -1);
        }
        lua_settop(L, top);
        return error;
    }
    PhysicsBody* Body(const char* global) {
        lua_getglobal(L, global);
        System::MetaBase* object = System::ToEngineObject(L, -1);
        lua_pop(L, 1);
        return dynamic_cast<PhysicsBody*>(object);
    }
    ComponentFactoryNode* saved = nullptr;
};

}  // namespace

TEST_F(PhysicsLuaTest, MethodsReadAndWriteTheBody) {
    Lua(R"lua(
        b, t = MakeBody(0, 0)
        assert(getmetatable(b).className == "class PhysicsBody")
        b:CreateBox(10, 20)
        assert(b:GetMass() == 200 and t.scaleX == 10 and t.scaleY == 20)
        b:SetGhost(1)
        assert(b:GetGhost() == 1)
        b:SetGhost(0.7)
        assert(b:GetGhost() == 0)
        b:SetLayer(2.9)
        assert(b:GetLayer() == 2)
        b:SetLayer(-1.5)
        assert(b:GetLayer() == -1)
        b:SetMass(0)
        b:SetVelX(5)
        assert(b:GetVelX() == 0 and b:GetSpeed() == 0)
        b:SetMass(2)
        b:SetVelX(3)
        b:SetVelY(-4)
        assert(b:GetVelX() == 3 and b:GetVelY() == -4 and b:GetSpeed() == 5)
        b:SetAngularVelocity(2)
        assert(b:GetAngularVelocity() == 0)  -- a box never turns
        b:CreateRigidBox(2, 2)
        b:SetAngularVelocity(2)
        assert(b:GetAngularVelocity() == 2)
        b:SetFixedAngle(256)  -- the low byte: 0
        b:SetAngularVelocity(3)
        assert(b:GetAngularVelocity() == 3)
        b:SetFixedAngle(1)
        b:SetAngularVelocity(3)
        assert(b:GetAngularVelocity() == 0)
        b:SetOrientation(1.25)
        assert(t.rotation == 1.25)
        b:SetBounciness(0.25)
        b:AddToCollisionList(3)
        b:AddToCollisionList(3.5)
        b:AddToCollisionList(4)
        b:RemoveFromCollisionList(4)
        b:SetGrav(1, 2)
        b:CreateForce(0, 1, 0)
        b:CreateNormalForce(1, 0, 5, 2)
    )lua");
    PhysicsBody* body = Body("b");
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->bounciness, 0.25f);
    EXPECT_EQ(body->collisionList, System::Vector<int32_t>{3});
    EXPECT_EQ(body->gravity, Vec2(1, 2));
    ASSERT_EQ(body->forces.size(), 2u);
    EXPECT_EQ(body->forces.back().force, Vec2(0, 2));
    EXPECT_EQ(body->forces.back().time, 1.0f);
}

TEST_F(PhysicsLuaTest, DistanceAndDefaultGravity) {
    Lua(R"lua(
        a = MakeBody(0, 0)
        other = MakeBody(3, 4)
        other:CreateBox(0, 0)
        b = MakeBody(0, 0)
        b:CreateBox(1, 1)
        b:SetMass(1)
        b:SetGravityDefault()
    )lua");
    // Radius 2 for the other body: 25 - 4.
    Body("other")->CreateCircle(2);
    Lua("assert(a:CompareDistance(other) == 21)");
    Body("b")->Update(0.5f);
    Lua("assert(b:GetVelY() == -245 and b:GetPosY() == -122.5 and b:GetPosX() == 0)");
}

TEST_F(PhysicsLuaTest, WrongArgumentsAndObjectsDoNotCrash) {
    std::string error;
    std::string out = TestSupport::CaptureStdout([&] {
        error = Run(R"lua(
            b = PhysicsBody:new()
            b:CreateBox()
            b:SetMass("heavy")
            assert(b:GetMass() == 0)
            b:SetVelX({})
            b:SetGrav(0/0, 1/0)
            b:CreateForce(nil, "x")
            b:CompareDistance(42)
            b:CompareDistance(GenericGameObject:new())
            b:CompareDistance()
            assert(b:GetPosX() == 0)  -- no owner, no Transform
            b:SetOrientation(1)
            local ok = pcall(PhysicsBody.GetMass, GenericGameObject:new())
            assert(not ok)
        )lua");
    });
    ASSERT_EQ(error, "");
    EXPECT_NE(out.find("CompareDistance: the argument is not a PhysicsBody\n"), std::string::npos);
    PhysicsBody* body = Body("b");
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->gravity, Vec2());
    body->Update(0.1f);
    EXPECT_TRUE(body->GetVelocity().IsFinite());
}

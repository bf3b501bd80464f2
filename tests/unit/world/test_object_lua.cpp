// Game objects and components as scripts see them.
#include <gtest/gtest.h>

#include <algorithm>

#include "System/Source/Components/Factories.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Console.h"
#include "System/Source/MessageQueue.h"
#include "World/Level.h"
#include "engine_fixture.h"

// The engine's registration provides the real Transform.
using ObjectLuaTest = EngineFixture;

TEST_F(ObjectLuaTest, ObjectMethodsAnswerWithNumbers) {
    Lua(R"lua(
        o = GenericGameObject:new()
        assert(getmetatable(o).className == "class System::GenericGameObject")
        assert(o:GetId() == 0 and o:GetName() == "")
        assert(o:AddComponent("Transform") == 1)
        assert(o:AddComponent("Transform") == 0)
        assert(o:AddComponent("NoSuchThing") == 0)
        assert(o:HasComponent("Transform") == 1)
        local t = o:GetComponent("Transform")
        assert(getmetatable(t).className == "class System::GenericComponent")
        t.x = 12.5
        assert(t.x == 12.5)
        assert(o:RemoveComponent("Transform") == 1)
        assert(o:HasComponent("Transform") == 1)
        assert(IsNull(o:GetComponent("Transform")) == 1)
        o:SetName("Hero")
        assert(o:GetName() == "Hero")
        o.speed = 3
        assert(o:HasProperty("speed") == 1 and o:HasProperty("nope") == 0)
        assert(o:IsAlive() == 1)
        o:Destroy()
        assert(o:IsAlive() == 0)
    )lua");
}

TEST_F(ObjectLuaTest, FindingObjects) {
    Lua(R"lua(
        a = GenericGameObject:new(); a:SetName("Player")
        b = GenericGameObject:new(); b:SetName("Crate")
        c = GenericGameObject:new(); c:SetName("Crate")
        b:Destroy()
        assert(GetObjectByName("Crate"):GetId() == 2)
        assert(IsNull(GetObjectByName("Nobody")) == 1)
        assert(GetGameObject(0):GetId() == 0)
        assert(IsNull(GetGameObject(1)) == 1)   -- dead
        assert(IsNull(GetGameObject(3)) == 1)   -- past the end
        assert(IsNull(GetGameObject(-1)) == 1)
        assert(IsNull(GetGameObject("x")) == 0) -- a wrong type reads as 0
        assert(select("#", GetAllGameObjects()) == 2)
        a:Destroy()
        assert(GetFirstPlayer() == 0)           -- dead players count
    )lua");
    Lua("b2 = GenericGameObject:new(); assert(GetFirstPlayer() == 0)");
}

TEST_F(ObjectLuaTest, ClosestPlayerComparesXOnlyAndSkipsPlayersWithoutTransform) {
    Lua(R"lua(
        function make(name, x)
            local o = GenericGameObject:new(); o:SetName(name)
            if x then o:AddComponent("Transform"); o:GetComponent("Transform").x = x end
            return o
        end
        me = make("Enemy", 100)
        p1 = make("Player", 80)
        p2 = make("Player", 120)      -- same distance: the earlier one stays
        ghost = make("Player")         -- no Transform: skipped
        p3 = make("Player", 1000)
        assert(GetClosestPlayer(me):GetId() == p1:GetId())
        p1:RemoveComponent("Transform")
        assert(GetClosestPlayer(me):GetId() == p2:GetId())
        lonely = make("Enemy")
        assert(IsNull(GetClosestPlayer(lonely)) == 1)
        assert(IsNull(GetClosestPlayer(5)) == 1)
        assert(IsNull(GetClosestPlayer()) == 1)
    )lua");
}

TEST_F(ObjectLuaTest, NullAndTheBaseClassTables) {
    Lua(R"lua(
        local n = null()
        assert(IsNull(n) == 1 and IsDataNull(n) == 1)
        assert(not pcall(function() return n.x end))
        local o = GenericGameObject:new()
        assert(IsNull(o) == 0 and IsDataNull(o) == 0)
        assert(IsNull(nil) == 1)
        assert(IsNull(newproxy()) == 0)        -- too small to hold a pointer
        assert(IsNull(io.stdout) == 0)
        assert(GenericComponent:new() == GenericComponent)
        assert(getmetatable(GenericComponent) == GenericComponent)
        local e = empty:new()
        assert(getmetatable(e) == nil)
        local ok, err = pcall(GenericGameObject.new)
        assert(not ok and err:find("Got 0 arguments, expected 1 %(class%)"))
        assert(GenericGameObject.AddComponent == nil)
        CallMeDebug(1, "x", {})
    )lua");
}

TEST_F(ObjectLuaTest, MethodsOnTheWrongObjectRaiseErrors) {
    Lua(R"lua(
        local o = GenericGameObject:new()
        assert(not pcall(function() return o.GetId() end))
        assert(not pcall(function() return o.GetId(Camera:new()) end))
        assert(not pcall(function() return o.GetId(io.stdout) end))
        local c = Camera:new()
        assert(not pcall(function() return c.Lock(o) end))
    )lua");
}

TEST_F(ObjectLuaTest, SendObjectMessageReachesTheNamedComponentNextDelivery) {
    Start();
    Lua(R"lua(
        o = GenericGameObject:new()
        o:AddComponent("Transform")
        SendObjectMessage(o:GetId(), "Transform", 7, true, "hello")
        SendObjectMessage(o:GetId(), "Nothing", 1)
        SendObjectMessage(99, "Transform", 1)
    )lua");
    MessageQueue* queue = GetMessageQueue();
    ASSERT_NE(queue, nullptr);
    ASSERT_EQ(queue->size(), 1u);
    const System::MetaArgs& args = (*queue)[0].payload->Args();
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[0].ToDouble(), 7.0);
    EXPECT_STREQ(args[1].ToString(), "hello");
    Frame(0.01);
    EXPECT_EQ(queue->size(), 0u);
}

TEST(Registration, ConsoleEntriesRunNewestFirst) {
    RunStaticRegistration();
    std::vector<std::string> names;
    for (ConsoleCommandBase* e = ConsoleCommandBase::Head(); e; e = e->GetNext()) {
        names.push_back(e->GetName());
    }
    const std::vector<std::string> expected = {"StateManagerUnlockPause",
                                               "StateManagerLockPause",
                                               "god",
                                               "resume",
                                               "reload",
                                               "level",
                                               "muteSound",
                                               "muteMusic",
                                               "teleport",
                                               "globalReload",
                                               "lua",
                                               "Clear",
                                               "fullscreen",
                                               "bloom6",
                                               "bloom5",
                                               "bloom4",
                                               "bloom3",
                                               "bloom2",
                                               "bloom1"};
    // Tests register entries of their own too, so the engine's nineteen are
    // looked for in order among the others.
    size_t matched = 0;
    for (const std::string& name : names) {
        if (matched < expected.size() && name == expected[matched]) ++matched;
    }
    EXPECT_EQ(matched, expected.size());
    EXPECT_TRUE(LevelTypeRegistry::Exists("Level"));
    EXPECT_FALSE(LevelTypeRegistry::Exists("genericTileLevel"));
    EXPECT_EQ(LevelTypeRegistry::Create("Nope"), nullptr);
    EXPECT_EQ(CreateComponent("NeverRegistered"), nullptr);
    EXPECT_EQ(CreateObject("NeverRegistered"), nullptr);
}

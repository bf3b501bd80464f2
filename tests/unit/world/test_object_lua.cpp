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

// One result per live object up to the 8000 values a Lua function can
// return; one line names the objects beyond that.
TEST_F(ObjectLuaTest, AllGameObjectsUpToLuasLimitAndALineForTheRest) {
    Lua("GenericGameObject:new():Destroy() made = 0");  // the dead count for nothing
    for (int objects : {8000, 8001, 20000}) {
        Lua("for i = made + 1, " + std::to_string(objects) + " do GenericGameObject:new() end\n"
            "made = " + std::to_string(objects));
        // Arguments are ignored and take no room from the results.
        std::string printed = TestSupport::CaptureStdout(
            [&] { Lua("returned = select('#', GetAllGameObjects(1, 2, 3))"); });
        EXPECT_EQ(Global("returned"), 8000);
        const std::string line = "GetAllGameObjects: " + std::to_string(objects - 8000) + " of " +
                                 std::to_string(objects) + " objects left out (a Lua function ";
        EXPECT_EQ(printed, objects == 8000 ? "" : line + "returns at most 8000 values)\n");
    }
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

// Objects, components and the level that a script keeps past the state change
// that deleted them: every use is a script error or reads as no object, and
// nothing reaches what the next level put at their places.
class KeptObjects : public EngineFixture {
protected:
    void KeepPastTheStateChange(bool onTheHeap);
};

void KeptObjects::KeepPastTheStateChange(bool onTheHeap) {
    Start();
    // On the heap a sanitizer sees every freed byte.
    if (onTheHeap) System::ShutdownEnginePool();
    Lua(R"lua(
        keep = GenericGameObject:new(); keep:SetName("Player")
        keep:AddComponent("Transform")
        keepT = keep:GetComponent("Transform"); keepT.x = 4
        keepL = LuaObject:new()
        keepB = keepL:GetComponent("PhysicsBody")
        keepG = keepL:GetComponent("GraphicsComponent")
        keepLevel = GetLevel()
        -- Destroyed in this level: marked dead, still there until the change.
        gone = GenericGameObject:new(); gone:AddComponent("Transform")
        goneT = gone:GetComponent("Transform")
        gone:Destroy()
        assert(gone:IsAlive() == 0 and gone:HasComponent("Transform") == 1)
        goneT.x = 2
        assert(goneT.x == 2)
    )lua");
    ExecuteCommandLine("reload");
    ASSERT_TRUE(Frame(0.01));
    // The next level's objects, likely at the old places.
    Lua(R"lua(
        fresh = {}
        for i = 1, 8 do
            fresh[i] = GenericGameObject:new(); fresh[i]:SetName("Fresh")
            fresh[i]:AddComponent("Transform")
        end
        local function fails(f)
            local ok, err = pcall(f)
            return not ok and err:find("no longer exists") ~= nil
        end
        -- Each with one of its methods (a Transform has none).
        local kept = {{keep, "GetName"}, {keepL, "GetId"}, {keepB, "GetGhost"},
                      {keepG, "SetGraphicsLayer"}, {keepLevel, "HasProperty"},
                      {gone, "GetId"}, {keepT}, {goneT}}
        for i, entry in ipairs(kept) do
            local old, method = entry[1], entry[2]
            if method then
                assert(fails(function() return old[method](old, "x") end), i)
            end
            assert(old.x == nil, i)
            assert(not pcall(function() old.x = 5 end), i)
        end
        assert(fails(function() keep:SetName("Taken") end))
        assert(IsNull(GetClosestPlayer(keep)) == 1)    -- as an argument: no object
        for i = 1, 8 do
            assert(fresh[i]:GetName() == "Fresh")
            assert(fresh[i]:GetComponent("Transform").x ~= 5)
        end
    )lua");
}

TEST_F(KeptObjects, WhatTheStateChangeDeletedIsNoLongerReachedInThePool) {
    KeepPastTheStateChange(false);
}

TEST_F(KeptObjects, WhatTheStateChangeDeletedIsNoLongerReachedOnTheHeap) {
    KeepPastTheStateChange(true);
}

// A point that Lua owns and has freed, still held by an object's property:
// passed on, it reads as no point.
TEST_F(KeptObjects, APointLuaFreedReadsAsNoPointFromAProperty) {
    System::ShutdownEnginePool();  // on the heap, where a sanitizer sees it
    Lua(R"lua(
        holder = GenericGameObject:new()
        holder.p = MetaPoint(1, 2)
        collectgarbage(); collectgarbage()
    )lua");
    testing::internal::CaptureStdout();
    Lua("SetDaPoint(holder.p)");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    Lua("live = MetaPoint(3, 4); holder.q = live");
    testing::internal::CaptureStdout();
    Lua("SetDaPoint(holder.q)");
    EXPECT_NE(testing::internal::GetCapturedStdout().find("X: 3"), std::string::npos);
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

// The Lua component's scripts in a real Lua state, and the world's class
// tables.
#include <gtest/gtest.h>

#include <functional>

#include "System/Source/ConsoleArgs.h"
#include "System/Source/LuaGuard.h"
#include "components_fixture.h"

namespace {

using ComponentTest::ComponentsFixture;

class LuaComponents : public ComponentsFixture {
protected:
    void WriteObjectScript(const std::string& name, const std::string& text) {
        dir.Write("Resources/Lua/" + name, text);
    }
    std::string GlobalText(const char* name) {
        lua_getglobal(L, name);
        const char* text = lua_tostring(L, -1);
        std::string out = text ? text : "(nil)";
        lua_pop(L, 1);
        return out;
    }
    MessagePayload Named(double number, const char* name) {
        MessagePayload payload;
        payload.AddNumber(number);
        payload.AddText(name);
        return payload;
    }
};

TEST_F(LuaComponents, InitScriptRunsAtOnceWithTheOwnerAndAgainOnMessage3) {
    WriteObjectScript("Init.lua",
                      "local self = ...\nruns = (runs or 0) + 1\nwho = self:GetName()\n");
    System::GenericGameObject* object = CreateObject("LuaObject");
    object->SetName("Hero");
    auto* lua = Get<LuaComponent>(object, "LuaComponent");
    const int top = lua_gettop(L);
    EXPECT_TRUE(lua->HandleMessage(Named(1, "Init.lua")));
    EXPECT_EQ(Global("runs"), 1);
    EXPECT_EQ(GlobalText("who"), "Hero");
    EXPECT_TRUE(lua->HandleMessage(Message({3})));
    EXPECT_TRUE(lua->HandleMessage(Message({3})));
    EXPECT_EQ(Global("runs"), 3);
    EXPECT_EQ(lua_gettop(L), top);

    // An empty name clears the script and runs nothing.
    lua->SetInitScript("");
    EXPECT_EQ(lua->GetInitScript(), LuaComponent::kNoScript);
    lua->RunInitScript();
    EXPECT_EQ(Global("runs"), 3);
    EXPECT_FALSE(lua->HandleMessage(Message({5})));
    EXPECT_STREQ(lua->GetTypeName(), "class LuaComponent");
}

TEST_F(LuaComponents, MessageScriptGetsEveryQueuedMessageInOneCall) {
    WriteObjectScript("Msg.lua",
                      "local args = {...}\n"
                      "calls = (calls or 0) + 1\n"
                      "seen = ''\n"
                      "for i = 2, select('#', ...) do seen = seen .. tostring(args[i]) .. ',' end\n"
                      "owner = args[1]:GetName()\n");
    WriteObjectScript("Update.lua",
                      "updates = (updates or 0) + 1\norder = (seen and 'after') or 'before'\n");
    System::GenericGameObject* object = CreateObject("LuaObject");
    auto* lua = Get<LuaComponent>(object, "LuaComponent");
    lua->HandleMessage(Named(7, "Msg.lua"));
    lua->HandleMessage(Named(2, "Update.lua"));

    MessagePayload first;
    first.AddNumber(6);
    first.AddText("s");
    first.AddNumber(3);
    lua->HandleMessage(first);
    lua->HandleMessage(Message({6}));
    EXPECT_EQ(lua->QueuedMessages(), 2u);
    const int top = lua_gettop(L);
    lua->Update(0.016f);
    EXPECT_EQ(lua_gettop(L), top);
    EXPECT_EQ(Global("calls"), 1);
    EXPECT_EQ(GlobalText("seen"), "2,2,s,3,0,");
    EXPECT_EQ(GlobalText("owner"), "LuaObject");
    EXPECT_EQ(GlobalText("order"), "after");
    EXPECT_EQ(lua->QueuedMessages(), 0u);
    // No messages: only the update script runs.
    lua->Update(0.016f);
    EXPECT_EQ(Global("calls"), 1);
    EXPECT_EQ(Global("updates"), 2);
}

TEST_F(LuaComponents, QueuedMessagesReachTheScriptThroughTheQueue) {
    WriteObjectScript("Hit.lua", "local self, count, n, what, nx = ...\nhit = what .. ':' .. nx\n");
    System::GenericGameObject* object = CreateObject("LuaObject");
    auto* lua = Get<LuaComponent>(object, "LuaComponent");
    lua->SetMessageScript("Hit.lua");
    MessagePayload* collision = new MessagePayload();
    collision->AddNumber(6);
    collision->AddText("Collision");
    collision->AddNumber(-1);
    ASSERT_TRUE(EnqueueMessage(collision, lua->GetId()));
    DeliverAllMessages();
    lua->Update(0.0f);
    EXPECT_EQ(GlobalText("hit"), "Collision:-1");
}

TEST_F(LuaComponents, MessagesWithoutAMessageScriptAreDropped) {
    System::GenericGameObject* object = CreateObject("LuaObject");
    auto* lua = Get<LuaComponent>(object, "LuaComponent");
    lua->HandleMessage(Message({6, 1}));
    lua->Update(0.0f);
    EXPECT_EQ(lua->QueuedMessages(), 0u);
}

TEST_F(LuaComponents, ScriptErrorsArePrintedAndTheFrameGoesOn) {
    WriteObjectScript("Bad.lua", "error('boom')\n");
    WriteObjectScript("Broken.lua", "this is not lua\n");
    WriteObjectScript("Good.lua", "good = (good or 0) + 1\n");
    System::GenericGameObject* object = CreateObject("LuaObject");
    auto* lua = Get<LuaComponent>(object, "LuaComponent");
    const int top = lua_gettop(L);
    std::string out = TestSupport::CaptureStdout([&] {
        lua->SetMessageScript("Bad.lua");
        lua->SetUpdateScript("Good.lua");
        lua->HandleMessage(Message({6, 1}));
        lua->Update(0.0f);
    });
    EXPECT_NE(out.find("Lua Error: "), std::string::npos) << out;
    EXPECT_NE(out.find("boom"), std::string::npos) << out;
    EXPECT_EQ(Global("good"), 1);
    EXPECT_EQ(lua->QueuedMessages(), 0u);
    EXPECT_EQ(lua_gettop(L), top);

    // A script that does not compile is skipped quietly every frame.
    TestSupport::CaptureStdout([&] { lua->SetUpdateScript("Broken.lua"); });
    out = TestSupport::CaptureStdout([&] { lua->Update(0.0f); });
    EXPECT_EQ(out, "");
    // So is a script that does not exist.
    TestSupport::CaptureStdout([&] { lua->SetUpdateScript("Missing.lua"); });
    out = TestSupport::CaptureStdout([&] { lua->Update(0.0f); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(lua_gettop(L), top);
}

TEST_F(LuaComponents, ScriptsDriveComponentsThroughTheirMethods) {
    WriteObjectScript("Setup.lua",
                      "local self = ...\n"
                      "local g = self:GetComponent('GraphicsComponent')\n"
                      "g.a = 255\n"
                      "g:SetEffectName('Grey')\n"
                      "self:GetComponent('Transform').x = 12\n"
                      "self:AddComponent('ParticleComponent')\n"
                      "local p = self:GetComponent('ParticleComponent')\n"
                      "p:SetTotalParticles(3.9)\n"
                      "p:SetBeginColor(1, 2, 300, 4)\n"
                      "p:SetKillOnEnd(256)\n"
                      "self:AddComponent('TextureComponent')\n"
                      "self:GetComponent('TextureComponent'):Flip(2)\n"
                      "self:GetComponent('LuaComponent'):SetUpdateScript('Setup2.lua')\n");
    WriteObjectScript("Setup2.lua", "second = 1\n");
    System::GenericGameObject* object = CreateObject("LuaObject");
    auto* lua = Get<LuaComponent>(object, "LuaComponent");
    std::string out = TestSupport::CaptureStdout([&] { lua->SetInitScript("Setup.lua"); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(Get<GraphicsComponent>(object, "GraphicsComponent")->a, 255);
    EXPECT_STREQ(Get<GraphicsComponent>(object, "GraphicsComponent")->GetEffectName(), "Grey");
    EXPECT_EQ(Get<Transform>(object, "Transform")->x, 12.0f);
    auto* particles = Get<ParticleComponent>(object, "ParticleComponent");
    ASSERT_NE(particles, nullptr);
    EXPECT_EQ(particles->totalParticles, 3);
    EXPECT_EQ(particles->beginColor, Color(1, 2, 44, 4));
    EXPECT_FALSE(particles->killOnEnd);  // the low byte of 256
    EXPECT_TRUE(Get<TextureComponent>(object, "TextureComponent")->flip);
    lua->Update(0.0f);
    EXPECT_EQ(Global("second"), 1);
}

TEST_F(LuaComponents, ClassTablesMakeObjectsUnderTheirReportedNames) {
    EXPECT_EQ(Run("o = Object:new()\n"
                  "lo = LuaObject:new()\n"
                  "a = AnimationComponent:new()\n"
                  "t = Transform:new()\n"
                  "oName = getmetatable(o).className\n"
                  "loHas = lo:HasComponent('PhysicsBody')\n"
                  "aName = getmetatable(a).className\n"
                  "tName = getmetatable(t).className\n"
                  "a:Flip(1)\n"
                  "t.x = 4\n"
                  "tx = t.x\n"
                  "p = ParticleComponent:new()\n"
                  "p:SetSize(5)\n"),
              "");
    EXPECT_EQ(GlobalText("oName"), "class System::GenericGameObject");
    EXPECT_EQ(Global("loHas"), 1);
    EXPECT_EQ(GlobalText("aName"), "class TextureComponent");
    EXPECT_EQ(GlobalText("tName"), "class System::GenericComponent");
    EXPECT_EQ(Global("tx"), 4);

    // "new" takes exactly the class table.
    for (const char* cls :
         {"GraphicsComponent", "LuaComponent", "ParticleComponent", "TextureComponent",
          "AnimationComponent", "Transform", "Object", "LuaObject"}) {
        const int top = lua_gettop(L);
        ASSERT_EQ(luaL_loadstring(L, (std::string("return ") + cls + ".new()").c_str()), 0);
        ASSERT_NE(lua_pcall(L, 0, 0, 0), 0) << cls;
        EXPECT_TRUE(
            std::string(lua_tostring(L, -1)).ends_with("Got 0 arguments, expected 1 (class)"))
            << lua_tostring(L, -1);
        lua_settop(L, top);
    }
    // A method called on the wrong kind of object is an error, not a crash.
    const int top = lua_gettop(L);
    ASSERT_EQ(luaL_loadstring(L, "LuaComponent.SetInitScript(Transform:new(), 'x')"), 0);
    EXPECT_NE(lua_pcall(L, 0, 0, 0), 0);
    lua_settop(L, top);
}

// A finalizer that raises at the engine's first allocation, outside any
// script: making a script's arguments, compiling, the `lua` command, a new
// thread. Each prints its line and does what it was doing.
TEST_F(LuaComponents, AFinalizerRaisingAsTheEngineCallsLuaPrintsAndTheWorkGoesOn) {
    WriteObjectScript("Up.lua", "local self, count, n, text = ...\nran = text or self:GetName()\n");
    WriteObjectScript("Cmd.lua", "ran = 'command'\n");
    System::GenericGameObject* object = CreateObject("LuaObject");
    object->SetName("Hero");
    auto* lua = Get<LuaComponent>(object, "LuaComponent");
    lua->SetUpdateScript("Up.lua");
    lua->SetMessageScript("Up.lua");
    MessagePayload said = Message({6});
    said.AddText("said");
    ConsoleArgs command("lua");
    command.AddArg("Cmd");
    const struct {
        const char* what;
        std::function<void()> act;
        const char* ran;
    } cases[] = {
        {"update", [&] { lua->Update(0.0f); }, "Hero"},
        {"compile", [&] { lua->SetInitScript("Up.lua"); }, "Hero"},
        {"message",
         [&] {
             lua->HandleMessage(said);
             lua->SetUpdateScript("");
             lua->Update(0.0f);
         },
         "said"},
        {"lua command", [&] { ConsoleLua(command); }, "command"},
        {"thread",
         [&] {
             EXPECT_NE(NewLuaThread(), nullptr);
             lua_pop(L, 1);
         },
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // A full collection at every step, and one pending once the
        // collector runs again: at the engine's first allocation.
        ASSERT_EQ(Run("ran = nil collectgarbage('setpause', 0) collectgarbage('setstepmul', 1e6)\n"
                      "getmetatable(newproxy(true)).__gc = function() error('raised') end\n"
                      "collectgarbage('stop')"),
                  "");
        lua_gc(L, LUA_GCRESTART, 0);
        const std::string out = TestSupport::CaptureStdout(c.act);
        EXPECT_EQ(out.find("Lua Error: "), 0u) << out;
        EXPECT_EQ(out.find("raised\n"), out.size() - 7) << out;
        EXPECT_EQ(GlobalText("ran"), c.ran ? c.ran : "(nil)");
        EXPECT_EQ(lua_gettop(L), 0);
    }
}

}  // namespace

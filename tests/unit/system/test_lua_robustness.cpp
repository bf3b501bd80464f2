// Every global function and every method the engine offers scripts, called
// with arguments of every wrong kind: errors are fine, crashes are not.
#include <gtest/gtest.h>

#include "System/Source/Console.h"
#include "engine_fixture.h"

using LuaRobustness = EngineFixture;

TEST_F(LuaRobustness, GlobalsSurviveWrongArguments) {
    Start();
    std::string out = TestSupport::CaptureStdout([this] {
        Lua(R"lua(
            local skip = { SleepGame = true, print = true, dofile = true, loadfile = true,
                           require = true, collectgarbage = true, error = true }
            local samples = { {}, {nil}, {1}, {-1e300}, {0/0}, {"x"}, {""}, {{}}, {true},
                              {io.stdout}, {null()}, {GenericGameObject:new()}, {newproxy()},
                              {coroutine.create(function() end)}, {function() end},
                              {1, 2, 3, 4, 5, 6, 7}, {"a", "b", "c", "d", "e"},
                              {MetaPoint(1, 2)}, {GetCamera()} }
            local names = {}
            for name, value in pairs(_G) do
                if type(value) == "function" and not skip[name] then names[#names + 1] = name end
            end
            table.sort(names)
            assert(#names > 60, #names)
            for _, name in ipairs(names) do
                for _, args in ipairs(samples) do
                    pcall(_G[name], unpack(args, 1, 7))
                end
            end
        )lua");
    });
    EXPECT_FALSE(HasFailure()) << out;
    // The engine still answers.
    Lua("assert(GetShaderWidth() == 1920)");
}

TEST_F(LuaRobustness, MethodsSurviveWrongObjectsAndArguments) {
    Start();
    std::string out = TestSupport::CaptureStdout([this] {
        Lua(R"lua(
            local classes = { "Camera", "Effect", "EffectParameter", "GenericGameObject",
                              "GenericComponent", "empty", "Level", "GenericTileLevel" }
            local values = { nil, 1, "x", {}, true, io.stdout, null(), newproxy(), 0/0 }
            local objects = {}
            local methodNames = { "Lock", "Unlock", "GetHeight", "GetWidth", "SetBounds",
                "SetPosition", "SetShake", "GetParameter", "SetFloat", "SetArray", "SetTexture",
                "SetTarget", "SetInt", "AddComponent", "GetComponent", "HasComponent",
                "HasProperty", "RemoveComponent", "SetName", "Destroy", "GetId", "GetName",
                "IsAlive" }
            for _, className in ipairs(classes) do
                local class = _G[className]
                pcall(class.new)
                pcall(class.new, 1)
                pcall(class.new, class, 2)
                local ok, object = pcall(class.new, class)
                if ok then objects[#objects + 1] = object end
            end
            assert(#objects == 8, #objects)
            local calls = 0
            for _, object in ipairs(objects) do
                local mt = getmetatable(object)
                local methods = {}
                for _, name in ipairs(methodNames) do
                    local ok, method = pcall(function() return object[name] end)
                    if ok and type(method) == "function" then methods[name] = method end
                end
                for name, method in pairs(methods) do
                    calls = calls + 1
                    for _, value in ipairs(values) do
                        pcall(method, object, value, value, value, value)
                        pcall(method, value, value)
                        for _, other in ipairs(objects) do pcall(method, other, value) end
                    end
                end
                for _, value in ipairs(values) do
                    pcall(function() return object[value] end)
                    pcall(function() object[value] = value end)
                    pcall(function() object.invented = value end)
                    pcall(function() return object.invented end)
                    pcall(function() object.width = value end)
                end
            end
            assert(calls >= 7 + 1 + 5 + 10 + 1 + 1, calls)
        )lua");
    });
    EXPECT_FALSE(HasFailure()) << out;
    Lua("assert(GetCamera():GetWidth() > 0)");
}

TEST_F(LuaRobustness, EveryConsoleEntrySurvivesOddLines) {
    Start();
    std::vector<std::string> names;
    for (ConsoleCommandBase* e = ConsoleCommandBase::Head(); e; e = e->GetNext()) {
        names.push_back(e->GetName());
    }
    ASSERT_GE(names.size(), 19u);
    std::string out = TestSupport::CaptureStdout([&] {
        for (const std::string& name : names) {
            for (const char* rest : {"", " ", "  ", " x", " 1 2 3", " -1e999", " 0x", " ../..",
                                     " %s%n%s", " \xff\xfe"}) {
                ExecuteCommandLine(name + rest);
            }
        }
        ExecuteCommandLine("");
        ExecuteCommandLine(std::string(100000, 'a'));
        Frame(0.01);
        Frame(0.01);
    });
    EXPECT_NE(out.find("Level x does not exist"), std::string::npos);
    Lua("assert(GetShaderWidth() == 1920)");
}

TEST_F(LuaRobustness, EngineFunctionsKeepTheirUpvalues) {
    Start();
    // Replacing what an engine function or method calls would send the
    // engine anywhere: refused. A script's own functions change as before.
    Lua(R"lua(
        local camera = getmetatable(GetCamera())
        local engine = { GetShaderWidth, GetCamera().Lock, camera.__index, camera.__newindex,
                         Camera.new }
        for i = 1, 5 do
            local f = engine[i]
            assert(type(f) == "function", "entry " .. i .. " is no function")
            local ok, message = pcall(debug.setupvalue, f, 1, newproxy())
            assert(not ok and message:find("C function"), message)
        end
        local n = 1
        local function f() return n end
        assert(debug.setupvalue(f, 1, 5) == "n" and f() == 5)
        assert(debug.setupvalue(f, 2, 5) == nil)
        assert(GetShaderWidth() == 1920 and GetCamera():GetWidth() > 0)
    )lua");
}

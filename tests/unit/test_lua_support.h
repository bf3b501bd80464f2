// A fresh shared Lua state per test, with helpers to run script text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "System/Source/LuaState.h"
#include "System/Source/ScriptRegistry.h"
#include "support/TestSupport.h"

class LuaFixture : public ::testing::Test {
protected:
    void SetUp() override {
        StopScriptWatcher();
        CloseLua();
        L = GetLuaState();
    }
    void TearDown() override {
        StopScriptWatcher();
        CloseLua();
    }

    // Runs a chunk; returns its error text, or "" when it ran.
    std::string Run(const std::string& code) {
        int top = lua_gettop(L);
        std::string error;
        if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
            error = lua_tostring(L, -1);
        }
        lua_settop(L, top);
        return error;
    }
    // Runs a chunk that must succeed and returns what it printed.
    std::string Output(const std::string& code) {
        std::string error;
        std::string out = TestSupport::CaptureStdout([&] { error = Run(code); });
        EXPECT_EQ(error, "") << code;
        return out;
    }
    // The error text of a chunk without the position Lua puts in front.
    std::string Error(const std::string& code) {
        std::string error = Run(code);
        size_t mark = error.find("]:1: ");
        return mark == std::string::npos ? error : error.substr(mark + 5);
    }
    // The truth of a Lua expression.
    bool True(const std::string& expression) {
        EXPECT_EQ(Run("result = (" + expression + ")"), "") << expression;
        lua_getglobal(L, "result");
        bool value = lua_toboolean(L, -1) != 0;
        lua_pop(L, 1);
        return value;
    }

    lua_State* L = nullptr;
};

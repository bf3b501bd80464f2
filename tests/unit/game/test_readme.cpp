// The README is what a new game maker works from: the functions it names
// must exist and its example code must be the code the example level runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "engine_fixture.h"

namespace {

namespace fs = std::filesystem;

std::string ProjectFile(const std::string& relative) {
    return TestSupport::ReadFile((fs::path(TAZZLE_SOURCE_DIR) / relative).string());
}

// The text of every `code span` and ```lua block of the README.
std::vector<std::string> CodeOf(const std::string& readme, bool blocks) {
    std::vector<std::string> found;
    const std::regex pattern(blocks ? "```lua\\n([\\s\\S]*?)```" : "`([^`\\n]+)`");
    for (std::sregex_iterator it(readme.begin(), readme.end(), pattern), end; it != end; ++it) {
        found.push_back((*it)[1].str());
    }
    return found;
}

}  // namespace

class Readme : public EngineFixture {};

TEST_F(Readme, EveryGlobalFunctionItCallsExists) {
    const std::string readme = ProjectFile("README.md");
    std::vector<std::string> code = CodeOf(readme, false);
    for (const std::string& block : CodeOf(readme, true)) code.push_back(block);
    // A name called directly, not as a method or field (obj:Name(), a.Name()).
    const std::regex call("(^|[^:.\\w/])([A-Za-z_]\\w*)\\(");
    std::set<std::string> names;
    for (const std::string& text : code) {
        for (std::sregex_iterator it(text.begin(), text.end(), call), end; it != end; ++it) {
            names.insert((*it)[2].str());
        }
    }
    EXPECT_GT(names.size(), 80u);
    // The README lists a component's methods by name alone: those count when
    // a class has them (in the method table its "__index" keeps).
    InitLua();
    std::set<std::string> callable;
    lua_pushnil(L);
    while (lua_next(L, LUA_GLOBALSINDEX) != 0) {
        const int top = lua_gettop(L);  // the key below the value
        if (lua_isfunction(L, -1)) callable.insert(lua_tostring(L, -2));
        if (lua_istable(L, -1)) {
            lua_getfield(L, -1, "__index");
            if (lua_iscfunction(L, -1) && lua_getupvalue(L, -1, 1) && lua_istable(L, -1)) {
                lua_pushnil(L);
                while (lua_next(L, -2) != 0) {
                    if (lua_type(L, -2) == LUA_TSTRING) callable.insert(lua_tostring(L, -2));
                    lua_pop(L, 1);
                }
            }
        }
        lua_settop(L, top - 1);
    }
    // And the helpers the shipped globals script defines for every script.
    const std::string globals = ProjectFile("Resources/Lua/Globals/LuaGlobals.lua");
    const std::regex defined("(^|\\n)function ([A-Za-z_]\\w*)\\(");
    for (std::sregex_iterator it(globals.begin(), globals.end(), defined), end; it != end; ++it) {
        callable.insert((*it)[2].str());
    }
    for (const std::string& name : names) EXPECT_EQ(callable.count(name), 1u) << name;
}

TEST_F(Readme, TheExampleCodeIsTheCodeTheExampleLevelRuns) {
    std::string scripts;
    const fs::path folder = fs::path(TAZZLE_SOURCE_DIR) / "Resources/Lua/Example";
    for (const auto& entry : fs::directory_iterator(folder)) {
        scripts += TestSupport::ReadFile(entry.path().string());
    }
    const std::vector<std::string> blocks = CodeOf(ProjectFile("README.md"), true);
    EXPECT_EQ(blocks.size(), 3u);
    for (const std::string& block : blocks) {
        EXPECT_NE(scripts.find(block), std::string::npos) << block;
    }
}

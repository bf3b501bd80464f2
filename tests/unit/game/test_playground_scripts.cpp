// The playground player's scripts on their own, in a bare Lua state with a
// stand-in body: whether a press of Up jumps must not hang on the resting
// body's leftover vertical speed, which depends on the frame rate. The
// scripts are the ones the shipped map gives its player.
#include <gtest/gtest.h>

#include <lua.hpp>
#include <string>

#include "support/TestSupport.h"

namespace {

// The script the playground map names for its player's `property`.
std::string PlayerScript(const std::string& property) {
    const std::string resources = std::string(TAZZLE_SOURCE_DIR) + "/Resources/";
    const std::string map = TestSupport::ReadFile(resources + "Levels/01_Playground.tmx");
    const std::string key = "<property name=\"" + property + "\" value=\"";
    const size_t at = map.find(key, map.find("<object name=\"Player\""));
    EXPECT_NE(at, std::string::npos) << property;
    if (at == std::string::npos) return "";
    const size_t from = at + key.size();
    return resources + "Lua/" + map.substr(from, map.find('"', from) - from);
}

// A player whose body rests with `restingSpeed` of vertical speed; Up held.
// Runs the message script with one collision of normal (0, normalY), then
// the update script; returns the vertical speed the update left.
double SpeedAfterJumpPress(double restingSpeed, double normalY) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    const std::string stubs =
        "VY = " + std::to_string(restingSpeed) + R"lua(
        local body = {}
        function body:GetVelY() return VY end
        function body:SetVelY(v) VY = v end
        function body:SetVelX(v) end
        PLAYER = {}
        function PLAYER:GetComponent(name) return body end
        function IsKeyPressed(code) return code == 265 and 1 or 0 end
        function getdt() return 1 / 60 end
    )lua";
    EXPECT_EQ(luaL_dostring(L, stubs.c_str()), 0);
    // The object, one message of 8 values: "Collision", the normal, the
    // other object's id, the code (0: pushed apart), the velocity.
    EXPECT_EQ(luaL_loadfile(L, PlayerScript("MESSAGE").c_str()), 0);
    lua_getglobal(L, "PLAYER");
    lua_pushnumber(L, 1);
    lua_pushnumber(L, 7);
    lua_pushstring(L, "Collision");
    lua_pushnumber(L, 0);
    lua_pushnumber(L, normalY);
    lua_pushnumber(L, 3);
    lua_pushnumber(L, 0);
    lua_pushnumber(L, 0);
    lua_pushnumber(L, restingSpeed);
    EXPECT_EQ(lua_pcall(L, 10, 0, 0), 0) << lua_tostring(L, -1);
    EXPECT_EQ(luaL_loadfile(L, PlayerScript("UPDATE").c_str()), 0);
    lua_getglobal(L, "PLAYER");
    EXPECT_EQ(lua_pcall(L, 1, 0, 0), 0) << lua_tostring(L, -1);
    lua_getglobal(L, "VY");
    const double speed = lua_tonumber(L, -1);
    lua_close(L);
    return speed;
}

}  // namespace

TEST(PlaygroundScripts, UpJumpsFromAFloorWhateverTheRestingSpeedAndNotFromACeiling) {
    // Standing on a floor: the normal points from the player down.
    EXPECT_EQ(SpeedAfterJumpPress(0.0, -1.0), 420.0);
    EXPECT_EQ(SpeedAfterJumpPress(1.5, -1.0), 420.0);
    EXPECT_EQ(SpeedAfterJumpPress(-1.3, -1.0), 420.0);
    // Touching a ceiling (normal up) is no ground to jump from.
    EXPECT_EQ(SpeedAfterJumpPress(0.5, 1.0), 0.5);
}

// Game objects in the real executable: scripts build LuaObjects, colour them,
// let bodies fall and collide, and read what reached the screen and their
// message scripts.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "support/GameProcess.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

using TestSupport::RunGame;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A Lua helper shared by the scripts below: a LuaObject with a box body of
// the given size at (x, y).
const char* kMakeBox = R"lua(
    function MakeBox(x, y, w, h)
        local o = LuaObject:new()
        local body = o:GetComponent("PhysicsBody")
        body:CreateBox(w, h)
        local t = o:GetComponent("Transform")
        t.x = x
        t.y = y
        return o, t, body
    end
)lua";

}  // namespace

TEST(WorldGame, AColouredObjectShowsAtItsTransform) {
    std::string out = RunGame(std::string(kMakeBox) + R"lua(
        frames = 0
        local o, t = MakeBox(-300, 200, 120, 80)
        g = o:GetComponent("GraphicsComponent")
        g.r = 20; g.g = 200; g.b = 90; g.a = 255
        -- A plain Object draws its shape without a body: a blue square.
        local plain = Object:new()
        local pt = plain:GetComponent("Transform")
        pt.x = 400; pt.y = -100; pt.scaleX = 60; pt.scaleY = 60
        local pg = plain:GetComponent("GraphicsComponent")
        pg.b = 255; pg.a = 255
        -- Alpha 0: nothing is drawn.
        local hidden = Object:new()
        local ht = hidden:GetComponent("Transform")
        ht.x = 0; ht.y = -300; ht.scaleX = 60; ht.scaleY = 60
        hidden:GetComponent("GraphicsComponent").r = 255
        function rgb(x, y)
            return GetPixelValue_R(x, y) .. " " .. GetPixelValue_G(x, y) .. " " .. GetPixelValue_B(x, y)
        end
        function OnLevelUpdate(dt)
            frames = frames + 1
            if frames == 5 then g.r = 250 end    -- a property write shows on the next frame
            if frames == 8 then
                print("object " .. rgb(-300, 200))
                print("edge " .. rgb(-300 + 59, 200))   -- inside the black outline
                print("beside " .. rgb(-300 + 80, 200))
                print("plain " .. rgb(400, -100))
                print("hidden " .. rgb(0, -300))
                ExecuteConsoleCommand("level QUIT_GAME")
            end
            if frames > 200 then ExecuteConsoleCommand("level QUIT_GAME") end
        end
    )lua");
    EXPECT_TRUE(Contains(out, "object 250 200 90")) << out;
    EXPECT_TRUE(Contains(out, "edge 0 0 0")) << out;
    EXPECT_TRUE(Contains(out, "beside 0 0 0")) << out;
    EXPECT_TRUE(Contains(out, "plain 0 0 255")) << out;
    EXPECT_TRUE(Contains(out, "hidden 0 0 0")) << out;
}

TEST(WorldGame, ObjectsOnAGraphicsLayerCoverTheWorldFullscreenAndWindowed) {
    std::string out = RunGame(R"lua(
        frames = 0
        CreateGraphicsLayer()
        function rgb(x, y)
            return GetPixelValue_R(x, y) .. " " .. GetPixelValue_G(x, y) .. " " .. GetPixelValue_B(x, y)
        end
        -- A blue square on the layer, over a red one in the world drawn later
        -- and at a higher depth.
        local o = Object:new()
        local t = o:GetComponent("Transform")
        t.x = 0; t.y = 0; t.scaleX = 200; t.scaleY = 200
        local g = o:GetComponent("GraphicsComponent")
        g.b = 255; g.a = 255
        g:SetGraphicsLayer(1)
        function OnLevelUpdate(dt)
            frames = frames + 1
            DrawBox(0, 0, 400, 400, 255, 0, 0)
            if frames == 4 then
                print("full " .. rgb(0, 0) .. " inside " .. rgb(90, -90) .. " world " .. rgb(150, 150))
                ExecuteConsoleCommand("fullscreen")
            end
            if frames == 30 then
                print("windowed " .. GetWidth() .. " " .. rgb(0, 0) .. " world " .. rgb(150, 150))
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua");
    EXPECT_TRUE(Contains(out, "full 0 0 255 inside 0 0 255 world 255 0 0")) << out;
    EXPECT_TRUE(Contains(out, "windowed 1024 0 0 255 world 255 0 0")) << out;
}

TEST(WorldGame, ABodyWithMassFallsUnderGravity) {
    std::string out = RunGame(std::string(kMakeBox) + R"lua(
        frames = 0
        local o, t, body = MakeBox(0, 300, 40, 40)
        body:SetMass(1)
        body:SetGravityDefault()
        -- A static box beside it stays where it is.
        local s, st = MakeBox(500, 300, 40, 40)
        still = st
        falling = t
        last = t.y
        drops = 0
        function OnLevelUpdate(dt)
            frames = frames + 1
            if falling.y < last then drops = drops + 1 end
            last = falling.y
            if frames == 30 then
                -- The first frames may have no time step yet.
                print("drops " .. tostring(drops >= 25) .. " below " .. tostring(falling.y < 300))
                print("speed " .. tostring(body:GetVelY() < 0) .. " still " .. still.y)
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua");
    // Every frame with a time step moves it down.
    EXPECT_TRUE(Contains(out, "drops true below true")) << out;
    EXPECT_TRUE(Contains(out, "speed true still 300")) << out;
}

TEST(WorldGame, FallingOntoAFloorSendsCollisionToTheMessageScript) {
    std::string out = RunGame(std::string(kMakeBox) + R"lua(
        local floor = MakeBox(0, 0, 400, 40)
        floor:SetName("Floor")
        floor:GetComponent("LuaComponent"):SetMessageScript("Test/FloorMessage.lua")
        local crate, t, body = MakeBox(0, 60, 40, 40)
        crate:SetName("Crate")
        body:SetMass(1)
        body:SetGravityDefault()
        crate:GetComponent("LuaComponent"):SetMessageScript("Test/CrateMessage.lua")
        crateT = t
        floorId = floor:GetId()
        crateId = crate:GetId()
        -- Game time, not frames: a fast machine runs many short frames.
        elapsed = 0
        function OnLevelUpdate(dt)
            elapsed = elapsed + dt
            if not done and elapsed >= 1.5 then
                done = true
                print("rests " .. tostring(crateT.y > 35 and crateT.y < 45))
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua",
                              {{"Test/CrateMessage.lua", R"lua(
        local self, count, n, name, nx, ny, other, code = ...
        if not told then
            told = true
            print("crate " .. self:GetName() .. " " .. count .. " " .. n .. " " .. name ..
                  " " .. (nx + 0) .. " " .. (ny + 0) .. " " .. tostring(other == floorId) .. " " .. code)
        end
    )lua"},
                               {"Test/FloorMessage.lua", R"lua(
        local self, count, n, name, nx, ny, other, code = ...
        if not floorTold then
            floorTold = true
            print("floor " .. name .. " " .. (nx + 0) .. " " .. (ny + 0) .. " " .. tostring(other == crateId))
        end
    )lua"}});
    // The floor's y is lower: it is body A of the pair and the normal points
    // from it to the crate.
    EXPECT_TRUE(Contains(out, "crate Crate 1 7 Collision 0 -1 true 0")) << out;
    EXPECT_TRUE(Contains(out, "floor Collision 0 1 true")) << out;
    EXPECT_TRUE(Contains(out, "rests true")) << out;
}

TEST(WorldGame, BodiesRestStackAndDoNotTunnelThroughTheFloor) {
    std::string out = RunGame(std::string(kMakeBox) + R"lua(
        local floor = MakeBox(0, -20, 2000, 40)
        floor:GetComponent("PhysicsBody"):SetMass(0)
        function Falling(name, x, y, w, h)
            local o, t, body = MakeBox(x, y, w, h)
            o:SetName(name)
            body:SetGravityDefault()
            o:GetComponent("LuaComponent"):SetMessageScript("Test/Note.lua")
            return t, body, o
        end
        -- A ball: the circle shape is reached through the body's message 22.
        local ballObject
        ball, ballBody, ballObject = Falling("Ball", 0, 200, 40, 40)
        SendObjectMessage(ballObject:GetId(), "PhysicsBody", 22, 20)
        ballBody:SetMass(1)
        stack = {}
        for row = 0, 9 do stack[row] = Falling("Stack", 300, 20 + 40 * row, 40, 40) end
        fast, fastBody = Falling("Fast", -500, 300, 30, 30)
        fastBody:SetVelY(-5000)
        ghost, ghostBody = Falling("Ghost", -300, 100, 40, 40)
        ghostBody:SetGhost(1)
        codes = {}
        elapsed = 0
        function OnLevelUpdate(dt)
            elapsed = elapsed + dt
            if not done and elapsed >= 2.5 then
                done = true
                -- Each contact keeps 0.1 of overlap: the stack is 1 lower.
                print("ball " .. tostring(math.abs(ball.y - 20) < 1) ..
                      " stack " .. tostring(math.abs(stack[9].y - 380) < 3) ..
                      " fast " .. tostring(math.abs(fast.y - 15) < 1) ..
                      " ghost " .. tostring(ghost.y < -100))
                print("codes " .. tostring(codes.Fast) .. " " .. tostring(codes.Ghost) .. " " ..
                      tostring(codes.Ball))
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua",
                              {{"Test/Note.lua", R"lua(
        local self, count, n, name, nx, ny, other, code = ...
        if codes[self:GetName()] == nil then codes[self:GetName()] = code end
    )lua"}});
    EXPECT_TRUE(Contains(out, "ball true stack true fast true ghost true")) << out;
    EXPECT_TRUE(Contains(out, "codes 0 1 0")) << out;
}

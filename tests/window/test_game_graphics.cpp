// The real executable drawing what scripts ask for, checked through the
// pixels it presents, its screenshots and what its scripts print.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "support/GameProcess.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

using TestSupport::RunGame;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(GameGraphics, BoxesLandWhereTheCameraSaysAndPixelsReadBack) {
    std::string out = RunGame(R"lua(
        frames = 0
        function pixel(x, y)
            return GetPixelValue_R(x, y) .. " " .. GetPixelValue_G(x, y) .. " " .. GetPixelValue_B(x, y)
        end
        function OnLevelUpdate(dt)
            frames = frames + 1
            DrawBox(0, 0, 200, 100, 255, 0, 0)       -- the camera's centre
            DrawBox(-700, 400, 20, 20, 0, 255, 0)
            DrawText(-300, 300, "Hello Tazzle")
            if frames == 6 then
                print("centre " .. pixel(0, 0))
                print("green " .. pixel(-700, 400))
                print("empty " .. pixel(500, -400))
                print("outside " .. pixel(99999, 0))
                print("size " .. GetWidth() .. " " .. GetHeight() .. " " .. IsFullscreen())
                local p = MetaPoint(0, 0); PointToScreen(p); print("screen " .. p.x .. " " .. p.y)
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua");
    EXPECT_TRUE(Contains(out, "centre 255 0 0")) << out;
    EXPECT_TRUE(Contains(out, "green 0 255 0")) << out;
    EXPECT_TRUE(Contains(out, "empty 0 0 0")) << out;
    EXPECT_TRUE(Contains(out, "outside 0 0 0")) << out;
    EXPECT_TRUE(Contains(out, "size 1920 1080 1")) << out;
    EXPECT_TRUE(Contains(out, "screen 0.5 0.5")) << out;
}

TEST(GameGraphics, TheFirstPixelReadOfARunSeesTheLastFrame) {
    std::string out = RunGame(R"lua(
        frames = 0
        function OnLevelUpdate(dt)
            frames = frames + 1
            DrawBox(0, 0, 200, 100, 255, 0, 0)
            if frames == 4 then
                -- The very first read of the run; the box was presented in
                -- the frames before.
                print("first " .. GetPixelValue_R(0, 0) .. " " .. GetPixelValue_G(0, 0) .. " " ..
                      GetPixelValue_B(0, 0))
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua");
    EXPECT_TRUE(Contains(out, "first 255 0 0")) << out;
}

TEST(GameGraphics, PixelReadsSeeTheGuiOverTheWorld) {
    // A green panel in the middle of the screen over a wide red box: the
    // reads answer what the screen showed, from the first one on.
    std::string out = RunGame(R"lua(
        frames = 0
        local menu = Menu:new()
        local plate = menu:CreatePanel(500, 500, 100, 100)
        plate:SetFilled(1)
        plate:SetColorRGBA(0, 255, 0, 255)
        function pixel(x, y)
            return GetPixelValue_R(x, y) .. " " .. GetPixelValue_G(x, y) .. " " .. GetPixelValue_B(x, y)
        end
        function OnLevelUpdate(dt)
            frames = frames + 1
            DrawBox(0, 0, 600, 300, 255, 0, 0)
            if frames == 4 then
                print("under " .. pixel(0, 0))
                print("beside " .. pixel(250, 0))
            end
            if frames == 6 then
                CreatePostProcess("", "Resources/Shaders/grey.frag")
            end
            if frames == 10 then
                -- A grey pass changes the world, not the GUI drawn after it.
                print("passed " .. pixel(0, 0))
                local r, g, b = GetPixelValue_R(250, 0), GetPixelValue_G(250, 0), GetPixelValue_B(250, 0)
                print("grey beside " .. tostring(r == g and g == b and r > 0))
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua");
    EXPECT_TRUE(Contains(out, "under 0 255 0")) << out;
    EXPECT_TRUE(Contains(out, "beside 255 0 0")) << out;
    EXPECT_TRUE(Contains(out, "passed 0 255 0")) << out;
    EXPECT_TRUE(Contains(out, "grey beside true")) << out;
}

TEST(GameGraphics, TheCameraMovesTheWorld) {
    std::string out = RunGame(R"lua(
        frames = 0
        function OnLevelUpdate(dt)
            frames = frames + 1
            if frames == 1 then GetCamera():SetPosition(500, 0) end
            DrawBox(500, 0, 40, 40, 255, 0, 0)
            if frames == 6 then
                local p = MetaPoint(500, 0); PointToScreen(p)
                print("screen " .. p.x .. " " .. p.y .. " red " .. GetPixelValue_R(500, 0))
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua");
    EXPECT_TRUE(Contains(out, "screen 0.5 0.5 red 255")) << out;
}

TEST(GameGraphics, EachLevelStartsWithTheCamerasDefaultView) {
    // The first load zooms in, bounds and locks the camera; the reloaded
    // level must see none of it.
    std::string out = RunGame(R"lua(
        loads = (loads or 0) + 1
        frames = 0
        function OnLevelUpdate(dt)
            frames = frames + 1
            local camera = GetCamera()
            if loads == 1 and frames == 2 then
                camera.lowerX, camera.upperX, camera.lowerY, camera.upperY = 0, 960, -544, 0
                camera:SetBounds(960, 540)
                camera:Lock()
                ExecuteConsoleCommand("reload")
            elseif loads == 2 and frames == 2 then
                print("view " .. camera:GetWidth() .. " " .. camera:GetHeight())
                camera:SetPosition(5000, -5000)
                print("free " .. camera.position.x .. " " .. camera.position.y)
                camera:Unlock()
                camera:SetPosition(-7000, 0)
                print("unlocked " .. camera.position.x)
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua");
    EXPECT_TRUE(Contains(out, "view 1920 1080")) << out;
    EXPECT_TRUE(Contains(out, "free 5000 -5000")) << out;
    EXPECT_TRUE(Contains(out, "unlocked -7000")) << out;
}

TEST(GameGraphics, AGreyPassTurnsTheWorldGrey) {
    std::string out = RunGame(R"lua(
        frames = 0
        CreatePostProcess("", "")                        -- adds nothing
        CreatePostProcess("", "Resources/Shaders/grey.frag")
        function OnLevelUpdate(dt)
            frames = frames + 1
            DrawBox(0, 0, 200, 100, 255, 0, 0)
            if frames == 6 then
                local r, g, b = GetPixelValue_R(0, 0), GetPixelValue_G(0, 0), GetPixelValue_B(0, 0)
                print("grey " .. tostring(r == g and g == b and r > 0) .. " " .. r)
                print("pass " .. IsNull(GetPostEffect(1)) .. " " .. IsNull(GetPostEffect(2)))
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua");
    EXPECT_TRUE(Contains(out, "grey true")) << out;
    EXPECT_TRUE(Contains(out, "pass 0 1")) << out;
}

TEST(GameGraphics, FullscreenSwitchesToAWindowAndBack) {
    std::string out = RunGame(R"lua(
        frames = 0
        function OnLevelUpdate(dt)
            frames = frames + 1
            if frames == 2 then ExecuteConsoleCommand("fullscreen") end
            DrawBox(0, 0, 40, 40, 255, 0, 0)
            DrawBox(900, 500, 40, 40, 0, 255, 0)    -- the virtual screen's corner
            if frames == 30 then
                print("windowed " .. GetWidth() .. " " .. GetHeight() .. " " .. IsFullscreen())
                -- A 1024x768 window letterboxes the 16:9 view: pixels are read
                -- through the bars.
                print("centre " .. GetPixelValue_R(0, 0) .. " corner " .. GetPixelValue_G(900, 500))
                ExecuteConsoleCommand("fullscreen")
            end
            if frames == 60 then
                print("full " .. GetWidth() .. " " .. GetHeight() .. " " .. IsFullscreen())
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua");
    EXPECT_TRUE(Contains(out, "windowed 1024 768 0")) << out;
    EXPECT_TRUE(Contains(out, "centre 255 corner 255")) << out;
    EXPECT_TRUE(Contains(out, "full 1920 1080 1")) << out;
}

TEST(GameGraphics, ThousandsOfShapesInOneFrameAllDraw) {
    std::string out = RunGame(R"lua(
        frames = 0
        function OnLevelUpdate(dt)
            frames = frames + 1
            for i = 1, 20000 do DrawBox(-900 + (i % 100) * 2, -500 + math.floor(i / 100), 2, 2, 0, 0, 255) end
            DrawBox(600, 300, 30, 30, 255, 255, 0)     -- the last shape of the frame
            if frames == 5 then
                print("last " .. GetPixelValue_R(600, 300) .. " " .. GetPixelValue_G(600, 300))
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua");
    EXPECT_TRUE(Contains(out, "last 255 255")) << out;
}

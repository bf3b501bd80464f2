// The graphics globals that work without a window.
#include <gtest/gtest.h>

#include <chrono>

#include "engine_fixture.h"

using GraphicsLuaTest = EngineFixture;

TEST_F(GraphicsLuaTest, FillResourcesListsImagesPerFolderInAStableOrder) {
    dir.Write("Players/beta/walk.png", "");
    dir.Write("Players/beta/notes.txt", "");
    dir.Write("Players/beta/Player.color", "10\n20\n300\n");
    dir.Write("Players/Alpha/idle.png", "");
    dir.Write("Players/Alpha/run.png", "");
    dir.Write("Players/gamma/sub.png/keep", "");  // a folder named like an image
    std::string out = TestSupport::CaptureStdout([this] {
        Lua(R"lua(
            local a, b, g, none = FillResources("Players/")
            assert(none == nil)
            assert(a["idle.png"] == "Players/Alpha/idle.png")
            assert(a["run.png"] == "Players/Alpha/run.png")
            assert(a.Color == nil)
            assert(b["walk.png"] == "Players/beta/walk.png")
            assert(b["notes.txt"] == nil)
            assert(b.Color.r == 10 and b.Color.g == 20 and b.Color.b == 300)
            assert(next(g) == nil)
            assert(select("#", FillResources("Nowhere/")) == 0)
            assert(select("#", FillResources()) == 0)
            assert(select("#", FillResources({})) == 0)
        )lua");
    });
    EXPECT_EQ(out, "10 20 300\n");
}

TEST_F(GraphicsLuaTest, ConversionsAndConstants) {
    camera.SetBounds(1920, 1080);
    camera.SetPosition(100, 50);
    Lua(R"lua(
        assert(GetShaderWidth() == 1920 and GetShaderHeight() == 1080)
        assert(GetXFromScreen(0.5) == 100 and GetXFromScreen(0) == 100 - 960)
        assert(GetYFromScreen(0.5) == 50 and GetYFromScreen(1) == 50 + 540)
        assert(GetCamera():GetWidth() == 1920)
        assert(IsNull(GetEffect("NoSuchEffect")) == 1)
        assert(IsNull(GetPostEffect(1)) == 1)
        StartProfile(1) EndProfile("x")
    )lua");
}

TEST_F(GraphicsLuaTest, WrongArgumentsAreHarmless) {
    auto start = std::chrono::steady_clock::now();
    Lua(R"lua(
        SleepGame(-5000)
        SleepGame("long")
        PointToScreen(GetCamera())      -- not a point: nothing is written
        PointToScreen(5)
        SetDaPoint(nil)
        DrawImage(1, 2, 3, 4)
        AddShader()
        CreatePostProcess(1, 2)
        CreateGraphicsLayer()
        assert(GetPixelValue_R(0, 0) == 0)
    )lua");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FLOAT_EQ(camera.position.x, 0);
    std::string out = TestSupport::CaptureStdout([this] { Lua("SetDaPoint(MetaPoint(3, 4))"); });
    EXPECT_EQ(out, "X: 3.000000\nY: 4.000000\n");
}

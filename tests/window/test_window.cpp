// The game window in this process: start-up, a frame, a screenshot.
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "Graphics/Camera.h"
#include "Graphics/Effect.h"
#include "Graphics/Renderer.h"
#include "Graphics/TextureAtlas.h"
#include "Graphics/Window.h"
#include "System/Source/Registration.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

TEST(Window, AFrameWithAScreenshotWritesABitmapOfTheWindowsSize) {
    TestSupport::TempDir dir;
    fs::create_directories(fs::path(dir.Path()) / "Resources");
    fs::copy(fs::path(TAZZLE_SOURCE_DIR) / "Resources" / "Shaders",
             fs::path(dir.Path()) / "Resources" / "Shaders", fs::copy_options::recursive);
    std::string oldCwd = fs::current_path().string();
    fs::current_path(dir.Path());

    RunStaticRegistration();
    ASSERT_TRUE(glfwInit());
    ASSERT_TRUE(RenderStartup());
    EXPECT_TRUE(HasGlContext());
    EXPECT_TRUE(FullscreenFlag);
    Camera camera(0.0f, 0.0f);
    CurrentCamera = &camera;

    BeginFrame();
    CurrentRenderer->SetColor(255, 0, 0, 255);
    CurrentRenderer->FillRect(900, 500, 1000, 600);
    TakeScreenshot();
    DrawFrame();

    std::string shot;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        std::string name = entry.path().filename().string();
        if (name.rfind("Screenshot_", 0) == 0) shot = entry.path().string();
    }
    ASSERT_FALSE(shot.empty());
    std::string bmp = TestSupport::ReadFile(shot);
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    int32_t width = 0, height = 0;
    std::memcpy(&width, bmp.data() + 18, 4);
    std::memcpy(&height, bmp.data() + 22, 4);
    EXPECT_EQ(width, WindowWidth);
    EXPECT_EQ(std::abs(height), WindowHeight);

    CurrentCamera = nullptr;
    RenderShutdown();
    EXPECT_FALSE(HasGlContext());
    // No GL call is made once the context is gone.
    delete CurrentRenderer;
    CurrentRenderer = nullptr;
    delete GlobalTextureAtlas;
    GlobalTextureAtlas = nullptr;
    delete GlobalShaderCache;
    GlobalShaderCache = nullptr;
    fs::current_path(oldCwd);
}

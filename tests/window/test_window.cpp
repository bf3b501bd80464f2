// The game window in this process: start-up, a frame, a screenshot.
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "Game/Registration.h"
#include "Graphics/Camera.h"
#include "Graphics/Effect.h"
#include "Graphics/RenderTarget.h"
#include "Graphics/Renderer.h"
#include "Graphics/TextureAtlas.h"
#include "Graphics/Window.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// The renderer started in a window of this process, in a folder holding the
// game's shaders; shut down and freed again after each test.
class Window : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(fs::path(dir_.Path()) / "Resources");
        fs::copy(fs::path(TAZZLE_SOURCE_DIR) / "Resources" / "Shaders",
                 fs::path(dir_.Path()) / "Resources" / "Shaders", fs::copy_options::recursive);
        oldCwd_ = fs::current_path().string();
        fs::current_path(dir_.Path());
        RunStaticRegistration();
        ASSERT_TRUE(glfwInit());
        ASSERT_TRUE(started_ = RenderStartup());
        CurrentCamera = &camera_;
    }

    void TearDown() override {
        CurrentCamera = nullptr;
        if (started_) {
            RenderShutdown();
            EXPECT_FALSE(HasGlContext());
        }
        // No GL call is made once the context is gone.
        delete CurrentRenderer;
        CurrentRenderer = nullptr;
        delete GlobalTextureAtlas;
        GlobalTextureAtlas = nullptr;
        delete GlobalShaderCache;
        GlobalShaderCache = nullptr;
        fs::current_path(oldCwd_);
    }

    TestSupport::TempDir dir_;
    std::string oldCwd_;
    bool started_ = false;
    Camera camera_{0.0f, 0.0f};
};

// The whole window as the last frame left it, through a screenshot.
std::string ShotOfTheFrame(const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind("Screenshot_", 0) == 0) fs::remove(entry.path());
    }
    TakeScreenshot();
    DrawFrame();
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind("Screenshot_", 0) == 0) {
            return TestSupport::ReadFile(entry.path().string());
        }
    }
    return "";
}

// A window manager resizes the window in its own time: events are polled
// until the framebuffer has kept one size for several frames.
void WaitForWindowToSettle() {
    int lastW = -1, lastH = -1, same = 0;
    for (int i = 0; i < 100 && same < 5; ++i) {
        glfwPollEvents();
        int w = 0, h = 0;
        glfwGetFramebufferSize(GameWindow, &w, &h);
        same = (w == lastW && h == lastH) ? same + 1 : 0;
        // Frames go on meanwhile, as in the game.
        BeginFrame();
        DrawFrame();
        lastW = w;
        lastH = h;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void DrawScene(bool first) {
    Renderer& r = *CurrentRenderer;
    r.SetColor(first ? 255 : 0, 0, first ? 0 : 255, 255);
    r.FillRect(first ? 100 : 1200, 100, first ? 700 : 1900, first ? 500 : 1000);
    r.SetColor(255, 255, 255, first ? 128 : 255);
    r.FillRect(first ? 400 : -50, 300, first ? 1000 : 2000, first ? 900 : 1200);
}

}  // namespace


TEST_F(Window, AFrameWithAScreenshotWritesABitmapOfTheWindowsSize) {
    EXPECT_TRUE(HasGlContext());
    EXPECT_TRUE(FullscreenFlag);

    BeginFrame();
    CurrentRenderer->SetColor(255, 0, 0, 255);
    CurrentRenderer->FillRect(900, 500, 1000, 600);
    std::string bmp = ShotOfTheFrame(dir_.Path());
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    int32_t width = 0, height = 0;
    std::memcpy(&width, bmp.data() + 18, 4);
    std::memcpy(&height, bmp.data() + 22, 4);
    EXPECT_EQ(width, WindowWidth);
    EXPECT_EQ(std::abs(height), WindowHeight);
}

TEST_F(Window, EveryFrameIsItsOwnWholeImage) {
    // Whatever an earlier frame drew, a frame of the same scene gives the
    // same window, pixel for pixel: letterboxed, post-processed or neither.
    WaitForWindowToSettle();  // a window manager maps the new window first

    for (int setup = 0; setup < 3; ++setup) {
        SCOPED_TRACE(setup);
        if (setup == 1) {
            ToggleFullscreen();  // a 4:3 window: bars above and below
            WaitForWindowToSettle();
        }
        if (setup == 2) AddPostProcess(nullptr, "Resources/Shaders/grey.frag");
        std::string shots[3];
        for (int frame = 0; frame < 3; ++frame) {
            BeginFrame();
            DrawScene(frame != 1);
            shots[frame] = ShotOfTheFrame(dir_.Path());
            ASSERT_GT(shots[frame].size(), 54u);
        }
        EXPECT_NE(shots[0], shots[1]);
        EXPECT_TRUE(shots[0] == shots[2]) << "the second frame left pixels behind";
        // The corner pixel lies outside every box, in a bar when windowed.
        uint32_t offset = 0;
        std::memcpy(&offset, shots[2].data() + 10, 4);
        ASSERT_LT(offset + 3, shots[2].size());
        EXPECT_EQ(shots[2].substr(offset, 3), std::string(3, '\0'));
    }

}

TEST_F(Window, AScreenshotThatCannotBeWrittenSaysWhyAndTheFrameGoesOn) {
    // Folders in the place of the screenshots of the next minutes.
    const long long now = static_cast<long long>(std::time(nullptr));
    for (long long second = now - 1; second < now + 300; ++second) {
        fs::create_directory(fs::path(dir_.Path()) / ("Screenshot_" + std::to_string(second) + ".bmp"));
    }
    BeginFrame();
    TakeScreenshot();
    const std::string out = TestSupport::CaptureStdout([] { DrawFrame(); });
    EXPECT_EQ(out.rfind("Could not write screenshot Screenshot_", 0), 0u) << out;
    EXPECT_NE(out.find(".bmp: Is a directory\n"), std::string::npos) << out;
    // The next frame goes on as usual and tries no screenshot again.
    BeginFrame();
    EXPECT_EQ(TestSupport::CaptureStdout([] { DrawFrame(); }), "");
}

// What showing the console costs a frame in the game's own window: the
// game's graphics and GUI start-up (a fullscreen window at the display's
// mode, the batch renderer, the scene target, the GUI root with the console
// and the layout file's widgets), then the game's frame with nothing in the
// world (events, BeginFrame, DrawFrame: composite, GUI, swap), the console
// hidden and shown in turns over the same history. Prints the frame times
// and their ratio. Run from the project's folder (shaders, layout file,
// font aliases) on a display: `make bench` runs it under Xvfb.
#include <GLFW/glfw3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Game/GameHooks.h"
#include "Game/Registration.h"
#include "Graphics/Camera.h"
#include "Graphics/Window.h"
#include "Gui/ConsolePanel.h"
#include "Gui/GuiManager.h"
#include "Gui/RichText.h"
#include "System/Source/MemoryPool.h"

namespace {

constexpr int kHistoryLines = 1000;
constexpr int kPairs = 7;
constexpr int kFrames = 40;  // a block: one state's frames in one turn

using Clock = std::chrono::steady_clock;

void Frame() {
    glfwPollEvents();
    BeginFrame();
    DrawFrame();
}

// Milliseconds a frame over a block; the first frames after a toggle are
// not counted.
double Block() {
    for (int i = 0; i < 3; ++i) Frame();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kFrames; ++i) Frame();
    glFinish();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / kFrames;
}

double Median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    // The game's start-up, up to the window and the GUI.
    System::CreateEnginePool(System::ParseMemorySize("128m"));
    RunStaticRegistration();
    Gui = new GuiManager();
    InstallGameHooks();
    SetGuiFrameHooks(GuiFrameHooks{GuiStartup, DrawGui, GuiShutdown});
    if (!glfwInit() || !RenderStartup()) {
        std::printf("bench_console_window: no window (needs a display)\n");
        return 1;
    }
    Camera camera(0.0f, 0.0f);
    CurrentCamera = &camera;
    Frame();  // the start-up's toggles: everything of the developer's hidden
    if (!ConsolePanel || !ConsoleOutput || ConsolePanel->IsVisible()) {
        std::printf("bench_console_window: no hidden console after start-up\n");
        return 1;
    }
    std::string history;
    for (int i = 0; i < kHistoryLines; ++i) {
        history += "history line " + std::to_string(i) + ": what a script printed\n";
    }
    ConsoleOutput->AddText(history);
    // Both states once before timing: glyphs, shaders, buffers.
    ConsolePanel->Toggle();
    Block();
    ConsolePanel->Toggle();
    Block();

    std::vector<double> hidden, shown;
    for (int pair = 0; pair < kPairs; ++pair) {
        hidden.push_back(Block());
        ConsolePanel->Toggle();
        shown.push_back(Block());
        ConsolePanel->Toggle();
    }
    const double h = Median(hidden), s = Median(shown);
    std::printf("game frame in a %dx%d window, %d lines of console history, medians of %d turns of "
                "%d frames:\n  console hidden %7.2f ms\n  console shown  %7.2f ms   difference "
                "%+.2f ms, ratio shown/hidden %.2f\n",
                int(WindowWidth), int(WindowHeight), kHistoryLines, kPairs, kFrames, h, s, s - h,
                s / h);

    CurrentCamera = nullptr;
    RenderShutdown();
    return 0;
}

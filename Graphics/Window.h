// The one window, its OpenGL context, the letterboxed 16:9 view of the
// 1920x1080 virtual screen, and the frame.
#pragma once

#include <cstdint>
#include <glm/glm.hpp>
#include <string>
#include <vector>

#include "Platform/WindowSystemGuard.h"

struct GLFWwindow;

extern GLFWwindow* GameWindow;
extern bool FullscreenFlag;
extern int32_t WindowWidth;
extern int32_t WindowHeight;
extern int32_t WindowedWidth;
extern int32_t WindowedHeight;
extern int32_t WindowedX;
extern int32_t WindowedY;
extern bool RememberWindowedSize;
extern bool WindowFocused;
extern int32_t LetterboxOffsetX;
extern int32_t LetterboxOffsetY;
extern glm::mat4 VirtualProjection;
extern glm::mat4 LetterboxProjection;
extern glm::mat4 WindowProjection;

// Graphics start-up (after glfwInit) and shutdown. RenderStartup returns
// false when the window cannot be made.
bool RenderStartup();
void RenderShutdown();
// Whether GL may be called: the game window's context exists, or a caller
// that made a context of its own (a tool, a test) declared it current.
bool HasGlContext();
void SetForeignGlContext(bool current);
// The game window while its window system answers; null without one and
// once its display is lost. Every call that asks the window system about
// the window goes through it: after the loss none is made.
GLFWwindow* UsableWindow();
// Asks the window system about the game window: ask(window) runs while
// the window is usable, guarded, so that a loss found before it leaves it
// unasked and a loss that cuts it short leaves it unfinished (it holds no
// object with a destructor). Whether it ran to its end.
template <typename Ask>
bool AskAboutWindow(Ask&& ask) {
    GLFWwindow* window = UsableWindow();
    return window && CallWindowSystem([&] { ask(window); });
}
// Whether the window is to close: the window system asked (its close
// button), or the display it was on is lost, and the window with it.
bool WindowShouldClose();

// The frame: BeginFrame before the world is drawn, DrawFrame after.
void BeginFrame();
void DrawFrame();
// Inside the frame's GUI drawing: draws what was recorded so far and
// forgets its depths, so that what is drawn next lies over all of it. Depth
// alone cannot put a panel over every layer: past the projection's depth
// range (-100 to 100) nothing is drawn at all.
void StartPassOnTop();

void ToggleFullscreen();
// The focus callback records what the window system reports; the main loop
// applies the net change once per poll (pause on a loss, audio).
void OnWindowFocus(GLFWwindow* window, int focused);
void ApplyWindowFocus();
// Told of each net change of focus, before a fullscreen window is iconified
// on a loss: the game pauses its sound and itself there. The wiring installs
// it; null: nobody is told.
using WindowFocusHook = void (*)(bool focused);
void SetWindowFocusHook(WindowFocusHook hook);
// Adopts a new window size: viewport, letterbox and projections.
void ResizeViewport(int32_t width, int32_t height);
// The letterboxed 16:9 area inside the window, in window pixels.
int32_t GetViewportWidth();
int32_t GetViewportHeight();
// Window pixels to GUI pixels (the letterboxed area's top-left corner is 0, 0).
void WindowToGui(double x, double y, int32_t& gx, int32_t& gy);
// The world y of a GUI y given in thousandths of the viewport's height.
int32_t GuiToWorldY(float v);
// Where the GUI joins the graphics layer: built at the end of the start-up,
// updated and drawn over the composite each frame, deleted at shutdown. The
// engine installs them (graphics knows nothing of the GUI); null: no GUI.
struct GuiFrameHooks {
    void (*startup)() = nullptr;
    void (*draw)() = nullptr;
    void (*shutdown)() = nullptr;
};
void SetGuiFrameHooks(const GuiFrameHooks& hooks);

// Saves the next frame, just before it is shown, as
// "Screenshot_<seconds since 1970>.bmp" in the working directory.
void TakeScreenshot();
// RGBA of a window pixel (column from the left, row from the bottom) of the
// last presented frame, GUI and HUD included; zeros outside the window,
// before the first frame and without a context.
void ReadPresentedPixel(int column, int row, unsigned char rgba[4]);

// Names of the entries of `folder` whose name ends with `extension`,
// sorted by name.
std::vector<std::string> ListDirectory(const std::string& folder, const std::string& extension);

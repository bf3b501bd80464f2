// The one window, its OpenGL context and the frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GLFWwindow;

extern GLFWwindow* GameWindow;
extern bool FullscreenFlag;
extern int32_t WindowWidth;
extern int32_t WindowHeight;
extern bool WindowFocused;

// Graphics start-up (after glfwInit) and shutdown. RenderStartup returns
// false when the window cannot be made.
bool RenderStartup();
void RenderShutdown();
// Whether a GL context exists (between RenderStartup and RenderShutdown).
bool HasGlContext();

// The frame: BeginFrame before the world is drawn, DrawFrame after.
void BeginFrame();
void DrawFrame();

void ToggleFullscreen();
void OnWindowFocus(GLFWwindow* window, int focused);

// Names of the entries of `folder` whose name ends with `extension`,
// sorted by name.
std::vector<std::string> ListDirectory(const std::string& folder, const std::string& extension);

// STAND-IN for the graphics subsystem's window and frame: a plain GLFW
// window titled "Tazzle" at the desktop's size that clears and swaps each
// frame. The real window, renderer and post-processing replace this file.
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <cstdio>

#include "Graphics/Camera.h"
#include "Graphics/Window.h"
#include "System/Source/PerformanceGraph.h"
#include "System/Source/StateManager.h"

GLFWwindow* GameWindow = nullptr;
bool FullscreenFlag = false;
int32_t WindowWidth = 1920;
int32_t WindowHeight = 1080;
bool WindowFocused = false;

bool RenderStartup() {
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    if (mode) {
        WindowWidth = mode->width;
        WindowHeight = mode->height;
    }
    GameWindow = glfwCreateWindow(WindowWidth, WindowHeight, "Tazzle", nullptr, nullptr);
    if (!GameWindow) {
        std::fprintf(stderr, "Could not create the game window.\n");
        return false;
    }
    glfwMakeContextCurrent(GameWindow);
    glewExperimental = GL_TRUE;
    GLenum status = glewInit();
    if (status != GLEW_OK) {
        std::fprintf(stderr, "Error: %s\n", reinterpret_cast<const char*>(glewGetErrorString(status)));
    }
    glfwSetWindowFocusCallback(GameWindow, OnWindowFocus);
    glfwSwapInterval(1);
    glfwSetInputMode(GameWindow, GLFW_CURSOR, GLFW_CURSOR_HIDDEN);
    WindowFocused = true;
    return true;
}

void RenderShutdown() {
    if (GameWindow) glfwDestroyWindow(GameWindow);
    GameWindow = nullptr;
    glfwTerminate();
}

bool HasGlContext() { return GameWindow != nullptr; }

void BeginFrame() {
    if (!GameWindow) return;
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    CameraUpdate();
}

void DrawFrame() {
    BeginProfileSection("HUD Update", Color(180, 160, 240, 255));
    BeginProfileSection("Drawing", Color(180, 200, 160, 255));
    if (GameWindow) glfwSwapBuffers(GameWindow);
}

void ToggleFullscreen() { FullscreenFlag = !FullscreenFlag; }

void OnWindowFocus(GLFWwindow*, int focused) {
    if (!focused && !IsPauseMenuShown()) TogglePause();
    WindowFocused = focused != 0;
}


// STAND-IN for the input subsystem: polls the window system, fires the
// "Pause_Game" action of player 0 on an Escape press and takes a screenshot
// on Print Screen. The input manager
// with its devices, action maps and rumble replaces this file.
#include <GLFW/glfw3.h>

#include <cstring>

#include "Graphics/Window.h"
#include "Input/InputManager.h"

ReplayRecorder* Recorder = nullptr;

namespace {
bool g_escapePressed = false;

void OnKey(GLFWwindow*, int key, int, int action, int) {
    if (action != GLFW_PRESS) return;
    if (key == GLFW_KEY_ESCAPE) g_escapePressed = true;
    if (key == GLFW_KEY_PRINT_SCREEN) TakeScreenshot();
}
}  // namespace

namespace InputManager {

void Init() {
    if (GameWindow) glfwSetKeyCallback(GameWindow, OnKey);
}

void Update() {
    g_escapePressed = false;
    if (GameWindow) glfwPollEvents();
}

float ActionTriggered(int player, const char* action) {
    if (player == 0 && std::strcmp(action, "Pause_Game") == 0 && g_escapePressed) return 1.0f;
    return 0.0f;
}

void ResumeRumble() {}
void StopRumble() {}
void Shutdown() {}

}  // namespace InputManager

#include "Game/GameHooks.h"

#include "Audio/AudioManager.h"
#include "Game/StateManager.h"
#include "Graphics/Camera.h"
#include "Graphics/Window.h"
#include "Gui/GuiManager.h"
#include "Gui/GuiPieGraph.h"
#include "Input/InputManager.h"
#include "System/Source/FrameState.h"
#include "System/Source/PerformanceGraph.h"

namespace {

// A window that loses focus pauses the sound and, unless the pause menu
// already shows, the game; the sound comes back with the focus.
void OnFocusChange(bool focused) {
    if (!focused) {
        if (Audio) Audio->SetMasterPaused(true);
        if (!IsPauseMenuShown()) TogglePause();
    } else {
        if (Audio) Audio->SetMasterPaused(false);
    }
}

bool GameWindowFocused() {
    return WindowFocused;
}

// The listener stands where the camera looks.
bool CameraPosition(float& x, float& y) {
    if (!CurrentCamera) return false;
    x = CurrentCamera->position.x;
    y = CurrentCamera->position.y;
    return true;
}

}  // namespace

InputManager::GuiHooks GuiInputHooks() {
    InputManager::GuiHooks hooks;
    hooks.onChar = GuiHandleChar;
    hooks.onSpecialKeyDown = GuiHandleKey;
    hooks.onMouseMove = GuiHandleMouseMove;
    hooks.onMouseDown = GuiHandleMouseDown;
    hooks.focusNext = GuiFocusNext;
    hooks.focusPrev = GuiFocusPrev;
    hooks.post = PostGuiMessage;
    hooks.ownsKeyboard = GuiHoldsKeyboard;
    return hooks;
}

void InstallGameHooks() {
    // The frame's time step and the pause menu, as the state manager has them.
    SetFrameStateSource(FrameStateSource{StateFrameTime, StatePauseMenuShown});
    SetWindowFocusHook(OnFocusChange);
    SetListenerHook(CameraPosition);
    // What reaches the input module of the window and goes on to the GUI.
    InputManager::GetWindowHooks() =
        InputManager::WindowHooks{UsableWindow, WindowToGui, GameWindowFocused, TakeScreenshot};
    InputManager::GetGuiHooks() = GuiInputHooks();
    // The profiler's graph is a GUI panel.
    SetGraphMakerHook(GuiPieGraph::CreateForProfiler);
}

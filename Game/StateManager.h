// The state manager and the main loop: state and level switching, pause,
// and the time step.
#pragma once

#include <string>

#include "System/Source/FrameState.h"
#include "System/Source/PoolAllocator.h"

class Level;
class PerformanceGraph;

struct StateManagerData {
    System::String levelFile;
    System::String requestedState;
    System::String previousState;
    System::String currentState;
    bool stateChange = false;
    Level* currentLevel = nullptr;
    bool paused = false;
    bool pauseMenuShown = false;
    bool pauseAllowed = true;
    bool toggledThisFrame = false;
    double dt = 0.0;
    float timeScale = 1.0f;
    float scaleTimeLeft = -1.0f;
    bool godMode = false;
    double frameStart = 0.0;
    PerformanceGraph* graph = nullptr;
};

StateManagerData& GetStateManager();

// The loop's contact with the window system, replaceable for tests.
struct MainLoopHooks {
    bool (*windowShouldClose)() = nullptr;  // the window was asked to close
    // The display is lost, found also when nothing was asked of it since
    // its server hung up (a level's end that only waited).
    bool (*displayLost)() = nullptr;
    void (*setCursorVisible)(bool visible) = nullptr;
};
MainLoopHooks& GetMainLoopHooks();

void StartStateManager();
void StopStateManager();

// Runs the loop until the state "QUIT_GAME" is reached.
void RunMainLoop();
// The loop in steps, for tests: the state dispatch (false when the state is
// "QUIT_GAME"), and one pass (false when the loop should end).
bool StateDispatch();
bool MainLoopPass();

// A state change request; the file "PAST" keeps the current level file.
// Once the quit was asked for, a request for any other state is refused
// with one line: the level's end script cannot keep the game from ending.
void RequestStateChange(const std::string& state, const std::string& levelFile);
void TogglePause();
void SetPaused(bool paused);
bool IsPaused();
// What the frame-state source answers (IsPauseMenuShown, GetFrameTime).
bool StatePauseMenuShown();

// The clamp and scale of the time step: `measured` times the scale (the
// scale's time left runs down first), at most 1/30 s in single precision.
double ScaleTimeStep(double measured, float& timeScale, float& scaleTimeLeft);

// The current frame's time step in seconds.
double StateFrameTime();

// What the main loop knows of the running frame, for the layers below it:
// the frame's time step and whether the pause menu shows. The game's wiring
// installs the state manager as their source.
#pragma once

struct FrameStateSource {
    double (*frameTime)() = nullptr;
    bool (*pauseMenuShown)() = nullptr;
};
// Null entries answer 0 and false.
void SetFrameStateSource(const FrameStateSource& source);

// The current frame's time step in seconds.
double GetFrameTime();
bool IsPauseMenuShown();

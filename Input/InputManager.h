// Keyboard, mouse and gamepad input, named actions per player.
#pragma once

#include <cstdio>

namespace InputManager {
// Hands the input callbacks to the window and makes the action maps.
void Init();
// The per-frame poll: every window-system callback runs inside it.
void Update();
// Whether the named action of a player fired in this frame (its accumulated
// trigger value; 0 when it did not).
float ActionTriggered(int player, const char* action);
// Re-applies each connected pad's stored motor speeds.
void ResumeRumble();
// Stops every pad's vibration.
void StopRumble();
void Shutdown();
}  // namespace InputManager

// Records or plays back the frame time.
struct ReplayRecorder {
    std::FILE* stream = nullptr;
    bool open = false;
    bool recording = true;
};
extern ReplayRecorder* Recorder;

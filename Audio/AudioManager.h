// Music and sound effects.
#pragma once

#include "System/Source/PoolAllocator.h"

class AudioManager : public System::PoolObject {
public:
    AudioManager();
    ~AudioManager();
    void Update();
    // Pauses or resumes the playing effects to match the pause menu.
    void PauseSounds();
    void SetMusicGroupVolume(float volume);
    // Pauses or resumes everything (the window lost or got the focus).
    void SetMasterPaused(bool paused);
    void Release();
};

extern AudioManager* Audio;

class ConsoleArgs;
// The console commands "muteMusic" and "muteSound": toggle the mute of the
// music and of the sound-effect group.
void ConsoleMuteMusic(ConsoleArgs& args);
void ConsoleMuteSound(ConsoleArgs& args);

// STAND-IN for the audio subsystem: silent. The audio manager replaces this
// file.
#include "Audio/AudioManager.h"
#include "Gui/ConsoleArgs.h"

AudioManager* Audio = nullptr;

AudioManager::AudioManager() = default;
AudioManager::~AudioManager() = default;
void AudioManager::Update() {}
void AudioManager::PauseSounds() {}
void AudioManager::SetMusicGroupVolume(float) {}
void AudioManager::Release() {}
void AudioManager::SetMasterPaused(bool) {}

namespace {
bool g_musicMuted = false;
bool g_soundMuted = false;
}  // namespace

void ConsoleMuteMusic(ConsoleArgs&) {
    g_musicMuted = !g_musicMuted;
}
void ConsoleMuteSound(ConsoleArgs&) {
    g_soundMuted = !g_soundMuted;
}

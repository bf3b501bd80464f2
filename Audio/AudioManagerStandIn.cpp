// STAND-IN for the audio subsystem: silent. The audio manager replaces this
// file.
#include "Audio/AudioManager.h"

AudioManager* Audio = nullptr;

AudioManager::AudioManager() = default;
AudioManager::~AudioManager() = default;
void AudioManager::Update() {}
void AudioManager::PauseSounds() {}
void AudioManager::SetMusicGroupVolume(float) {}
void AudioManager::Release() {}

#include "Audio/AudioManager.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "System/Source/FrameState.h"
#include "System/Source/ResourcePath.h"

AudioManager* Audio = nullptr;

namespace {

constexpr int kChannelCount = 1000;
constexpr float kMinDistance3D = 800.0f;
constexpr float kMaxDistance3D = 8000.0f;
constexpr int kDefaultPriority = 128;
constexpr FMOD::Mode kMusicMode = FMOD_LOOP_NORMAL | FMOD_SOFTWARE;
constexpr FMOD::Mode kEffectMode = FMOD_LOOP_OFF | FMOD_2D;
constexpr FMOD::Mode k3DMode = FMOD_3D | FMOD_3D_LINEARROLLOFF;
constexpr int kSpectrumSize = 64;
constexpr float kBeatCooldown = 0.25f;

const char* NameOrEmpty(const char* name) {
    return name ? name : "";
}

}  // namespace

AudioManager::AudioManager(FMOD::Output output) {
    lastReported = 0;
    // Every step runs even after a failure; the first failure is what closes
    // the manager.
    FMOD::Result firstFailure = 0;
    auto step = [&](FMOD::Result result) {
        KeepResult(result);
        if (result != FMOD::OK && firstFailure == 0) firstFailure = result;
    };
    step(FMOD_System_Create(&system));
    if (!system) return;
    unsigned version = 0;
    step(system->getVersion(&version));
    if (version < FMOD::kVersion) step(FMOD::ErrVersion);
    int drivers = 0;
    step(system->getNumDrivers(&drivers));
    system->setOutput(output);
    FMOD::Result init = system->init(kChannelCount, 0, nullptr);
    KeepResult(init);
    if (init == FMOD::ErrSpeakerMode) {
        step(system->setSpeakerMode(FMOD::SpeakerModeStereo));
        init = system->init(kChannelCount, 0, nullptr);
        KeepResult(init);
    }
    if (init != FMOD::OK && firstFailure == 0) firstFailure = init;
    step(system->getMasterChannelGroup(&masterChannelGroup));
    step(system->getMasterSoundGroup(&masterSoundGroup));
    step(system->createSoundGroup("BGM", &bgmGroup));
    step(system->createSoundGroup("SFX", &sfxGroup));
    if (firstFailure != 0) {
        lastResult = firstFailure;
        startFailed = true;
    }
}

AudioManager::~AudioManager() {
    // Shutdown releases first; a manager dropped without that still closes
    // its output.
    if (system) Release();
}

void AudioManager::Release() {
    if (system) {
        lastResult = system->release();
        CheckResult();
    }
    system = nullptr;
    masterChannelGroup = nullptr;
    masterSoundGroup = nullptr;
    sfxGroup = nullptr;
    bgmGroup = nullptr;
    System::Vector<SoundRecord>().swap(music);
    System::Vector<SoundRecord>().swap(effects);
}

void AudioManager::KeepResult(FMOD::Result result) {
    lastResult = result;
    CheckResult();
}

void AudioManager::CheckResult() {
    // A success heals a failed start: the manager works from then on.
    if (lastResult == 0) startFailed = false;
    if (lastResult != 0 && lastResult != lastReported) {
        std::printf("FMOD encountered an error\n");
        std::printf("Error Code: %i\n", lastResult);
        std::fflush(stdout);
        lastReported = lastResult;
    }
}

namespace {
ListenerHook g_listenerHook = nullptr;
}  // namespace

void SetListenerHook(ListenerHook hook) {
    g_listenerHook = hook;
}

void ReadListenerPosition(float& x, float& y) {
    if (g_listenerHook) g_listenerHook(x, y);
}

void AudioManager::Update() {
    if (!Closed() && system) {
        FMOD_VECTOR listener;
        ReadListenerPosition(listener.x, listener.y);
        lastResult = system->set3DListenerAttributes(0, &listener, nullptr, nullptr, nullptr);
        lastResult = system->update();
    }
    CheckResult();
}

SoundRecord* AudioManager::Find(const char* name, bool isMusic) {
    if (!name) return nullptr;
    for (SoundRecord& record : List(isMusic)) {
        if (record.name == name) return &record;
    }
    return nullptr;
}

void AudioManager::Load(const char* name, const char* path, bool isMusic) {
    if (!name || !path || Find(name, isMusic)) return;
    if (!Closed() && system) {
        std::string resolved = System::ResolvePath(path);
        FMOD::Sound* sound = nullptr;
        FMOD::Result created = system->createSound(
            resolved.c_str(), isMusic ? kMusicMode : kEffectMode, nullptr, &sound);
        if (created != FMOD::OK || !sound) {
            // A missing or unreadable file costs only its own sound; the rest
            // of the audio keeps working.
            std::printf("Sound file not loaded: %s\n", path);
            std::fflush(stdout);
            return;
        }
        SoundRecord record;
        record.name = System::MakeString(name);
        record.sound = sound;
        sound->getDefaults(&record.loadedFrequency, &record.loadedVolume, nullptr, nullptr);
        record.currentFrequency = record.loadedFrequency;
        record.currentVolume = record.loadedVolume;
        const FMOD::Result grouped = sound->setSoundGroup(isMusic ? bgmGroup : sfxGroup);
        KeepResult(grouped);
        if (grouped != FMOD::OK) {
            sound->release();
            return;
        }
        sound->set3DMinMaxDistance(kMinDistance3D, kMaxDistance3D);
        List(isMusic).push_back(std::move(record));
    }
    CheckResult();
}

void AudioManager::Play(const char* name, const FMOD_VECTOR* position, bool isMusic, bool loop,
                        bool is3D) {
    SoundRecord* record = !Closed() && system ? Find(name, isMusic) : nullptr;
    if (!record) {
        CheckResult();
        std::printf("Sound not played: %s\n", NameOrEmpty(name));
        std::fflush(stdout);
        return;
    }
    FMOD::Sound* sound = record->sound;
    if (loop) KeepResult(sound->setMode(FMOD_LOOP_NORMAL));
    // The 3D setting stays with the sound for later plays.
    if (is3D) KeepResult(sound->setMode(k3DMode));
    // Every start after the first begins from the loaded defaults: they are
    // put back before the channel copies them.
    if (record->playCount != 0) {
        KeepResult(sound->setDefaults(record->loadedFrequency, record->loadedVolume, 0.0f,
                                      kDefaultPriority));
    }
    // A start that fails leaves the record's last channel reachable and
    // touches no channel.
    FMOD::Channel channel;
    const FMOD::Result started = system->playSound(FMOD::kChannelFree, sound, true, &channel);
    KeepResult(started);
    if (started != FMOD::OK) {
        if (loop) sound->setMode(FMOD_LOOP_OFF);
        return;
    }
    // The new channel keeps looping; later plays without loop do not.
    if (loop) lastResult = sound->setMode(FMOD_LOOP_OFF);
    record->channel = channel;
    KeepResult(
        sound->getDefaults(&record->currentFrequency, &record->currentVolume, nullptr, nullptr));
    if (is3D) KeepResult(record->channel.set3DAttributes(position, nullptr));
    KeepResult(record->channel.setPaused(false));
    ++record->playCount;
}

void AudioManager::Stop(const char* name, bool isMusic) {
    if (SoundRecord* record = Find(name, isMusic)) {
        bool playing = false;
        record->channel.isPlaying(&playing);
        if (playing) lastResult = record->channel.stop();
    }
    CheckResult();
}

void AudioManager::Remove(const char* name, bool isMusic) {
    if (!Closed() && masterSoundGroup) {
        System::Vector<SoundRecord>& list = List(isMusic);
        if (SoundRecord* record = Find(name, isMusic)) {
            KeepResult(record->sound->setSoundGroup(masterSoundGroup));
            // The decoded samples go with the record; a game that adds and
            // removes sounds per level does not grow.
            record->sound->release();
            list.erase(list.begin() + (record - list.data()));
        }
    }
    CheckResult();
}

void AudioManager::SetVolume(const char* name, float volume, bool isMusic) {
    if (SoundRecord* record = Find(name, isMusic)) {
        volume = FMOD::ClampVolume(volume);
        record->currentVolume = volume;
        lastResult =
            record->sound->setDefaults(record->currentFrequency, volume, 0.0f, kDefaultPriority);
        CheckResult();
        bool playing = false;
        if (record->channel.isPlaying(&playing) == FMOD::OK && playing) {
            lastResult = record->channel.setVolume(volume);
        }
    }
    CheckResult();
}

void AudioManager::SetSpeed(const char* name, float frequency, bool isMusic) {
    SoundRecord* record = Find(name, isMusic);
    if (!record) return;
    frequency = FMOD::ClampFrequency(frequency);
    record->currentFrequency = frequency;
    lastResult =
        record->sound->setDefaults(frequency, record->currentVolume, 0.0f, kDefaultPriority);
    CheckResult();
}

bool AudioManager::IsChannelPlaying(const char* name, bool isMusic) {
    SoundRecord* record = Find(name, isMusic);
    if (!record) {
        CheckResult();
        return false;
    }
    bool playing = false;
    return record->channel.isPlaying(&playing) == FMOD::OK && playing;
}

void AudioManager::StopAllSounds() {
    for (SoundRecord& record : effects) record.channel.stop();
    StopMusicChannels();
}

void AudioManager::StopMusicChannels() {
    for (SoundRecord& record : music) record.channel.stop();
}

void AudioManager::PauseSounds() {
    for (SoundRecord& record : effects) {
        bool playing = false;
        record.channel.isPlaying(&playing);
        if (playing) record.channel.setPaused(IsPauseMenuShown());
    }
}

void AudioManager::SetMasterPaused(bool paused) {
    if (masterChannelGroup) masterChannelGroup->setPaused(paused);
    masterPaused = paused;
}

void AudioManager::SetGroupVolume(FMOD::SoundGroup* group, float volume) {
    if (!group) return;
    lastResult = group->setVolume(FMOD::ClampVolume(volume));
    CheckResult();
}

float AudioManager::GroupVolume(FMOD::SoundGroup* group) {
    float volume = 0.0f;
    if (!group) return volume;
    lastResult = group->getVolume(&volume);
    CheckResult();
    return volume;
}

bool AudioManager::Silent(FMOD::SoundGroup* group) {
    return GroupVolume(group) == 0.0f;
}

void AudioManager::SetMusicPauseVolume(float volume) {
    if (musicMuted) {
        savedMusicVolume = volume;
    } else {
        SetMusicGroupVolume(volume);
    }
}

void AudioManager::ToggleMute(bool& muted, float& saved, FMOD::SoundGroup* group) {
    if (!muted) {
        saved = GroupVolume(group);
        SetGroupVolume(group, 0.0f);
    } else {
        SetGroupVolume(group, saved);
    }
    muted = !muted;
}

void AudioManager::ToggleMusicMute() {
    ToggleMute(musicMuted, savedMusicVolume, bgmGroup);
}

void AudioManager::ToggleSoundMute() {
    ToggleMute(soundMuted, savedSoundVolume, sfxGroup);
}

void AudioManager::SetSoundGroupVolume(float volume) {
    SetGroupVolume(sfxGroup, volume);
}
void AudioManager::SetMusicGroupVolume(float volume) {
    SetGroupVolume(bgmGroup, volume);
}
float AudioManager::GetSoundGroupVolume() {
    return GroupVolume(sfxGroup);
}
float AudioManager::GetMusicGroupVolume() {
    return GroupVolume(bgmGroup);
}
bool AudioManager::IsSoundGroupSilent() {
    return Silent(sfxGroup);
}
bool AudioManager::IsMusicGroupSilent() {
    return Silent(bgmGroup);
}

bool AudioManager::DetectBeat(float threshold) {
    float left[kSpectrumSize] = {};
    float right[kSpectrumSize] = {};
    FMOD::System* owner = nullptr;
    if (bgmGroup) bgmGroup->getSystemObject(&owner);
    if (owner) {
        owner->getSpectrum(left, kSpectrumSize, 0, 0);
        owner->getSpectrum(right, kSpectrumSize, 1, 0);
    }
    float low = (left[0] + right[0]) * 0.5f;
    bool beat = threshold <= low && beatTimer >= kBeatCooldown;
    if (beat) beatTimer = 0.0f;
    beatTimer += float(GetFrameTime());
    return beat;
}

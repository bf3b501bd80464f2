// Music and sound effects: named sounds in two lists (effects in the sound
// group "SFX", music in "BGM") played through the sound layer.
//
// Every layer call whose result is kept stores it in one field; an error is
// printed once. Only a failed start of the sound system closes the manager:
// then it does not update, load, play or remove until a later kept call
// succeeds. Any other error (a busy channel, a bad file) costs only its own
// call.
#pragma once

#include <cstdint>

#include "Platform/Fmod.h"
#include "System/Source/PoolAllocator.h"

struct SoundRecord {
    System::String name;
    FMOD::Sound* sound = nullptr;
    float loadedVolume = 0.0f;
    float currentVolume = 0.0f;
    float loadedFrequency = 0.0f;
    float currentFrequency = 0.0f;
    int32_t playCount = 0;
    // The channel of the most recent play.
    FMOD::Channel channel;
};

class AudioManager : public System::PoolObject {
public:
    // Creates and starts the sound system with 1000 channels, the master
    // groups and the groups "BGM" and "SFX". `output` chooses the device.
    explicit AudioManager(FMOD::Output output = FMOD::Output::Auto);
    ~AudioManager();
    // Per frame: the listener follows the camera, then the system updates.
    void Update();
    // Releases the sound system and forgets every record.
    void Release();

    // Loads `path` under `name` unless the list already holds the name.
    void Load(const char* name, const char* path, bool isMusic);
    // Starts the named record; `position` is read only when is3D.
    void Play(const char* name, const FMOD_VECTOR* position, bool isMusic, bool loop, bool is3D);
    void Stop(const char* name, bool isMusic);
    // Forgets the record and frees its decoded sound (its channels stop).
    void Remove(const char* name, bool isMusic);
    void SetVolume(const char* name, float volume, bool isMusic);
    // Sets the frequency the next start uses.
    void SetSpeed(const char* name, float frequency, bool isMusic);
    SoundRecord* Find(const char* name, bool isMusic);
    bool IsChannelPlaying(const char* name, bool isMusic);
    void StopAllSounds();
    void StopMusicChannels();
    // Pauses or resumes the playing effects to match the pause menu.
    void PauseSounds();
    // Pauses or resumes everything (the window lost or got the focus).
    void SetMasterPaused(bool paused);
    void SetSoundGroupVolume(float volume);
    void SetMusicGroupVolume(float volume);
    // The music level the pause asks for (half while the pause menu shows,
    // full otherwise). Muted music stays silent; the level is what unmuting
    // then gives back.
    void SetMusicPauseVolume(float volume);
    // The mute commands: the first call saves the group volume and silences
    // the group, the second gives the saved volume back.
    void ToggleMusicMute();
    void ToggleSoundMute();
    bool IsMusicMuted() const { return musicMuted; }
    float GetSoundGroupVolume();
    float GetMusicGroupVolume();
    bool IsSoundGroupSilent();
    bool IsMusicGroupSilent();
    // True when the music's lowest spectrum band reaches `threshold`, at most
    // once per quarter second of frame time.
    bool DetectBeat(float threshold);
    // Prints a kept error result unless it is the one printed last.
    void CheckResult();
    // Keeps a layer call's result and reports it.
    void KeepResult(FMOD::Result result);
    // Whether the manager refuses to update, load, play and remove: only
    // after a failed start, until a kept call succeeds.
    bool Closed() const { return startFailed && lastResult != 0; }

    int32_t LastResult() const { return lastResult; }
    bool MasterPaused() const { return masterPaused; }
    FMOD::System* GetSystem() const { return system; }
    const System::Vector<SoundRecord>& Records(bool isMusic) const {
        return isMusic ? music : effects;
    }

private:
    System::Vector<SoundRecord>& List(bool isMusic) { return isMusic ? music : effects; }
    bool Silent(FMOD::SoundGroup* group);
    float GroupVolume(FMOD::SoundGroup* group);
    void SetGroupVolume(FMOD::SoundGroup* group, float volume);
    void ToggleMute(bool& muted, float& saved, FMOD::SoundGroup* group);

    FMOD::System* system = nullptr;
    FMOD::ChannelGroup* masterChannelGroup = nullptr;
    FMOD::SoundGroup* masterSoundGroup = nullptr;
    FMOD::SoundGroup* sfxGroup = nullptr;
    FMOD::SoundGroup* bgmGroup = nullptr;
    int32_t lastResult = 0;
    int32_t lastReported = 0;
    bool startFailed = false;
    bool masterPaused = false;
    bool musicMuted = false;
    bool soundMuted = false;
    float savedMusicVolume = 0.0f;
    float savedSoundVolume = 0.0f;
    // Frame time gathered by the beat test since its last beat: each
    // manager starts out ready for a beat.
    float beatTimer = 1.0f;
    System::Vector<SoundRecord> effects;
    System::Vector<SoundRecord> music;
};

extern AudioManager* Audio;

// Where the listener stands: the wiring answers with the current camera's
// position. Without a hook, or when it answers false, x and y are left as
// they are.
using ListenerHook = bool (*)(float& x, float& y);
void SetListenerHook(ListenerHook hook);
void ReadListenerPosition(float& x, float& y);

class ConsoleArgs;
// The console commands "muteMusic" and "muteSound": toggle the mute of the
// music and of the sound-effect group.
void ConsoleMuteMusic(ConsoleArgs& args);
void ConsoleMuteSound(ConsoleArgs& args);

struct lua_State;
// The Lua globals, in their registration order.
int AddSound(lua_State* L);
int PlaySound(lua_State* L);
int SetSoundSpeed(lua_State* L);
int SetSoundVolume(lua_State* L);
int SetMusicVolume(lua_State* L);
int StopSound(lua_State* L);
int StopAllMusic(lua_State* L);
int RemoveSound(lua_State* L);
int IsPlaying(lua_State* L);
int MusicBeat(lua_State* L);
int MusicIsPlaying(lua_State* L);
int AddMusic(lua_State* L);
int PlayMusic(lua_State* L);
int StopMusic(lua_State* L);
int RemoveMusic(lua_State* L);
int KillSounds(lua_State* L);
int isSoundMuted(lua_State* L);
int isMusicMuted(lua_State* L);
// Registers AddSound ... KillSounds, in that order.
void AudioLuaRegisterFirst();
// Registers isSoundMuted and isMusicMuted.
void AudioLuaRegisterMuteQueries();

// The sound layer the audio manager drives: a system that mixes up to N
// channels into one stereo output, sounds decoded from files, channels
// reached through handles, a master channel group, and sound groups whose
// volume scales their sounds. Output goes to an SDL audio device (the
// "dummy" driver when no real device opens); decoding is libsndfile's and
// the spectrum is a real FFT of the most recent output.
//
// Every call answers a Result; 0 is success. A handle of a channel that has
// ended, been stopped or reused answers ErrInvalidHandle, never a crash.
#pragma once

#include <cstdint>
#include <memory>

struct FMOD_VECTOR {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

namespace FMOD {
class System;
using Result = int32_t;
}  // namespace FMOD

// Creates a system; init opens its output.
FMOD::Result FMOD_System_Create(FMOD::System** system);

namespace FMOD {

enum : Result {
    OK = 0,
    ErrInvalidHandle = 1,
    ErrInvalidParam = 2,
    ErrFileNotFound = 3,
    ErrFormat = 4,
    ErrFileBad = 5,
    ErrChannelAlloc = 6,
    ErrInitialized = 7,
    ErrUninitialized = 8,
    ErrMemory = 9,
    // The output cannot take the speaker mode asked for; a stereo retry helps.
    ErrSpeakerMode = 56,
    // The layer is older than the caller needs.
    ErrVersion = 82,
};

// The layer's version number.
constexpr unsigned kVersion = 0x44414;

using Mode = unsigned;

// Volumes are 0 to 1; NaN and negatives are silence, more than 1 is 1.
float ClampVolume(float volume);
// Frequencies run from 0 Hz (standing still) to kMaxFrequency; NaN and
// negatives are 0.
constexpr float kMaxFrequency = 384000.0f;
float ClampFrequency(float frequency);

enum SpeakerMode : int { SpeakerModeStereo = 2 };

// Where new channels go when no particular one is asked for.
constexpr int kChannelFree = -1;

class System;
class Sound;
class SoundGroup;
class ChannelGroup;
struct ChannelSlot;

// A channel as callers hold it: a slot number with the generation of the
// play that started there. None (default) or stale handles fail softly.
class Channel {
public:
    Channel() = default;
    Result isPlaying(bool* playing) const;
    Result stop();
    Result setPaused(bool paused);
    Result getPaused(bool* paused) const;
    // 0 to 1.
    Result setVolume(float volume);
    Result getVolume(float* volume) const;
    // Playback rate in Hz (the sound's own rate plays it at normal speed).
    Result setFrequency(float frequency);
    Result getFrequency(float* frequency) const;
    // Null pointers leave the value as it was.
    Result set3DAttributes(const FMOD_VECTOR* position, const FMOD_VECTOR* velocity);
    bool IsNone() const { return system_ == nullptr; }

private:
    friend class System;
    // The slot, or null when the handle is none or no longer valid; the
    // caller holds the system's lock.
    ChannelSlot* Slot() const;
    System* system_ = nullptr;
    int index_ = -1;
    uint32_t generation_ = 0;
};

}  // namespace FMOD

// Sound modes (bits).
constexpr FMOD::Mode FMOD_LOOP_OFF = 0x1;
constexpr FMOD::Mode FMOD_LOOP_NORMAL = 0x2;
constexpr FMOD::Mode FMOD_2D = 0x8;
constexpr FMOD::Mode FMOD_3D = 0x10;
constexpr FMOD::Mode FMOD_SOFTWARE = 0x40;
constexpr FMOD::Mode FMOD_3D_LINEARROLLOFF = 0x200000;

namespace FMOD {

// Which output the system opens at init.
enum class Output {
    Auto,    // the SDL device (falls back to SDL's "dummy" driver)
    NoSound  // no device: nothing is mixed unless Mix is called
};

class SoundGroup {
public:
    Result setVolume(float volume);
    Result getVolume(float* volume) const;
    Result getSystemObject(System** system) const;

private:
    friend class System;
    friend class Sound;
    explicit SoundGroup(System* owner) : system_(owner) {}
    System* system_;
    float volume_ = 1.0f;
};

class ChannelGroup {
public:
    Result setPaused(bool paused);
    Result getPaused(bool* paused) const;
    Result setVolume(float volume);
    Result getVolume(float* volume) const;
    Result setMute(bool mute);
    Result getMute(bool* mute) const;

private:
    friend class System;
    explicit ChannelGroup(System* owner) : system_(owner) {}
    System* system_;
    bool paused_ = false;
    bool mute_ = false;
    float volume_ = 1.0f;
};

class Sound {
public:
    Result getDefaults(float* frequency, float* volume, float* pan, int* priority) const;
    Result setDefaults(float frequency, float volume, float pan, int priority);
    Result setMode(Mode mode);
    Result getMode(Mode* mode) const;
    Result setSoundGroup(SoundGroup* group);
    Result getSoundGroup(SoundGroup** group) const;
    Result set3DMinMaxDistance(float minDistance, float maxDistance);
    // Length in frames at the sound's own rate.
    Result getLength(unsigned* frames) const;

private:
    friend class System;
    struct Data;
    Sound(System* owner, std::unique_ptr<Data> data);
    ~Sound();
    System* system_;
    std::unique_ptr<Data> data_;
};

class System {
public:
    Result getVersion(unsigned* version) const;
    Result getNumDrivers(int* count) const;
    Result setOutput(Output output);
    Result setSpeakerMode(SpeakerMode mode);
    // Allocates the channels and opens the output.
    Result init(int maxChannels, unsigned flags, void* extraDriverData);
    // Closes the output and frees the system with every sound and group.
    Result release();
    Result update();
    Result set3DListenerAttributes(int listener, const FMOD_VECTOR* position,
                                   const FMOD_VECTOR* velocity, const FMOD_VECTOR* forward,
                                   const FMOD_VECTOR* up);
    // Decodes the whole file. `extraInfo` is not used.
    Result createSound(const char* path, Mode mode, void* extraInfo, Sound** sound);
    Result createSoundGroup(const char* name, SoundGroup** group);
    Result getMasterSoundGroup(SoundGroup** group);
    Result getMasterChannelGroup(ChannelGroup** group);
    // `channelIndex` kChannelFree picks a free channel.
    Result playSound(int channelIndex, Sound* sound, bool paused, Channel* channel);
    // Magnitudes of the recent output of one output channel (0 left, 1
    // right) in `count` equal bands from 0 Hz to half the output rate; a
    // full-scale sine reads about 1 in its band. `count` is a power of two
    // from 64 to 8192; window type 0 is rectangular, any other a Hann window.
    Result getSpectrum(float* values, int count, int channelOffset, int windowType);

    // The mixer: writes `frames` interleaved stereo frames of every playing
    // channel into `out` and advances them. The output device calls it; tests
    // may call it directly.
    void Mix(float* out, int frames);
    int OutputRate() const;

private:
    friend Result(::FMOD_System_Create)(System** system);
    friend class Channel;
    friend class Sound;
    friend class SoundGroup;
    friend class ChannelGroup;
    struct State;
    System();
    ~System();
    std::unique_ptr<State> state_;
};

}  // namespace FMOD

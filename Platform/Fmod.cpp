#include "Platform/Fmod.h"

#include <SDL.h>
#include <kissfft/kiss_fftr.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <vector>

namespace FMOD {

namespace {

constexpr int kDefaultRate = 48000;
constexpr int kMaxChannels = 4096;
// Frames of recent output kept for the spectrum.
constexpr int kRecentFrames = 16384;
constexpr int kMinFftSize = 4096;
// A step of more than this many source frames per output frame is clamped.
constexpr double kMaxStep = 64.0;
// No decoded sound may hold more samples than this (one gigabyte of floats).
constexpr sf_count_t kMaxSamples = sf_count_t(1) << 28;

}  // namespace

float ClampVolume(float volume) {
    if (!(volume > 0.0f)) return 0.0f;
    return volume > 1.0f ? 1.0f : volume;
}

float ClampFrequency(float frequency) {
    if (!(frequency > 0.0f)) return 0.0f;
    return frequency > kMaxFrequency ? kMaxFrequency : frequency;
}

struct ChannelSlot {
    bool active = false;
    uint32_t generation = 0;
    // When the play started, in plays of the system; the priority it started with.
    uint64_t started = 0;
    int priority = 128;
    Sound* sound = nullptr;
    double position = 0.0;
    bool paused = false;
    bool loop = false;
    bool is3D = false;
    bool positioned = false;
    float volume = 1.0f;
    float frequency = 0.0f;
    FMOD_VECTOR position3D;
};

struct Sound::Data {
    std::vector<float> samples;  // interleaved, `channels` per frame
    int channels = 1;            // 1 or 2
    sf_count_t frames = 0;
    float frequency = 0.0f;
    float volume = 1.0f;
    float pan = 0.0f;
    int priority = 128;
    Mode mode = 0;
    SoundGroup* group = nullptr;
    float minDistance = 1.0f;
    float maxDistance = 10000.0f;
};

struct System::State {
    std::mutex mutex;
    Output output = Output::Auto;
    bool initialised = false;
    bool sdlStarted = false;
    SDL_AudioDeviceID device = 0;
    int rate = kDefaultRate;
    std::vector<ChannelSlot> channels;
    uint64_t plays = 0;
    std::vector<Sound*> sounds;
    std::vector<SoundGroup*> groups;  // groups[0] is the master sound group
    ChannelGroup* master = nullptr;
    FMOD_VECTOR listener;
    std::vector<float> recent = std::vector<float>(kRecentFrames * 2, 0.0f);
    int recentPos = 0;
    kiss_fftr_cfg fft = nullptr;
    int fftSize = 0;
};

// ---- Channel ----

ChannelSlot* Channel::Slot() const {
    if (!system_ || index_ < 0) return nullptr;
    auto& channels = system_->state_->channels;
    if (index_ >= int(channels.size())) return nullptr;
    ChannelSlot& slot = channels[index_];
    return slot.active && slot.generation == generation_ ? &slot : nullptr;
}

// The body of every channel call: under the system's lock, on the live slot;
// a none or stale handle answers ErrInvalidHandle.
#define TAZZLE_CHANNEL_CALL(body_)                            \
    if (!system_) return ErrInvalidHandle;                    \
    std::lock_guard<std::mutex> lock(system_->state_->mutex); \
    ChannelSlot* slot = Slot();                               \
    if (!slot) return ErrInvalidHandle;                       \
    body_;                                                    \
    return OK

Result Channel::isPlaying(bool* playing) const {
    if (playing) *playing = false;
    TAZZLE_CHANNEL_CALL(if (playing) { *playing = true; });
}
Result Channel::stop() {
    TAZZLE_CHANNEL_CALL(slot->active = false; slot->sound = nullptr);
}
Result Channel::setPaused(bool paused) {
    TAZZLE_CHANNEL_CALL(slot->paused = paused);
}
Result Channel::getPaused(bool* paused) const {
    TAZZLE_CHANNEL_CALL(if (paused) { *paused = slot->paused; });
}
Result Channel::setVolume(float volume) {
    TAZZLE_CHANNEL_CALL(slot->volume = ClampVolume(volume));
}
Result Channel::getVolume(float* volume) const {
    TAZZLE_CHANNEL_CALL(if (volume) { *volume = slot->volume; });
}
Result Channel::setFrequency(float frequency) {
    TAZZLE_CHANNEL_CALL(slot->frequency = ClampFrequency(frequency));
}
Result Channel::getFrequency(float* frequency) const {
    TAZZLE_CHANNEL_CALL(if (frequency) { *frequency = slot->frequency; });
}
Result Channel::set3DAttributes(const FMOD_VECTOR* position, const FMOD_VECTOR* velocity) {
    (void)velocity;
    TAZZLE_CHANNEL_CALL(if (position) {
        slot->position3D = *position;
        slot->positioned = true;
    });
}

#undef TAZZLE_CHANNEL_CALL

// ---- Groups ----

Result SoundGroup::setVolume(float volume) {
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    volume_ = ClampVolume(volume);
    return OK;
}
Result SoundGroup::getVolume(float* volume) const {
    if (!volume) return ErrInvalidParam;
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    *volume = volume_;
    return OK;
}
Result SoundGroup::getSystemObject(System** system) const {
    if (!system) return ErrInvalidParam;
    *system = system_;
    return OK;
}

Result ChannelGroup::setPaused(bool paused) {
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    paused_ = paused;
    return OK;
}
Result ChannelGroup::getPaused(bool* paused) const {
    if (!paused) return ErrInvalidParam;
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    *paused = paused_;
    return OK;
}
Result ChannelGroup::setVolume(float volume) {
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    volume_ = ClampVolume(volume);
    return OK;
}
Result ChannelGroup::getVolume(float* volume) const {
    if (!volume) return ErrInvalidParam;
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    *volume = volume_;
    return OK;
}
Result ChannelGroup::setMute(bool mute) {
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    mute_ = mute;
    return OK;
}
Result ChannelGroup::getMute(bool* mute) const {
    if (!mute) return ErrInvalidParam;
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    *mute = mute_;
    return OK;
}

// ---- Sound ----

Sound::Sound(System* owner, std::unique_ptr<Data> data) : system_(owner), data_(std::move(data)) {}
Sound::~Sound() = default;

Result Sound::getDefaults(float* frequency, float* volume, float* pan, int* priority) const {
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    if (frequency) *frequency = data_->frequency;
    if (volume) *volume = data_->volume;
    if (pan) *pan = data_->pan;
    if (priority) *priority = data_->priority;
    return OK;
}
Result Sound::setDefaults(float frequency, float volume, float pan, int priority) {
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    data_->frequency = ClampFrequency(frequency);
    data_->volume = ClampVolume(volume);
    data_->pan = std::isfinite(pan) ? std::clamp(pan, -1.0f, 1.0f) : 0.0f;
    data_->priority = std::clamp(priority, 0, 256);
    return OK;
}
namespace {

// The kinds of setting a mode holds; a new mode replaces only the kinds it names.
constexpr Mode kLoopBits = FMOD_LOOP_OFF | FMOD_LOOP_NORMAL;
constexpr Mode kDimensionBits = FMOD_2D | FMOD_3D;
constexpr Mode kRolloffBits = FMOD_3D_LINEARROLLOFF;

Mode MergeMode(Mode old, Mode mode) {
    for (Mode kind : {kLoopBits, kDimensionBits, kRolloffBits}) {
        if (mode & kind) old = (old & ~kind) | (mode & kind);
    }
    return old | (mode & ~(kLoopBits | kDimensionBits | kRolloffBits));
}

}  // namespace

Result Sound::setMode(Mode mode) {
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    data_->mode = MergeMode(data_->mode, mode);
    return OK;
}
Result Sound::getMode(Mode* mode) const {
    if (!mode) return ErrInvalidParam;
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    *mode = data_->mode;
    return OK;
}
Result Sound::setSoundGroup(SoundGroup* group) {
    if (!group || group->system_ != system_) return ErrInvalidParam;
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    data_->group = group;
    return OK;
}
Result Sound::getSoundGroup(SoundGroup** group) const {
    if (!group) return ErrInvalidParam;
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    *group = data_->group;
    return OK;
}
Result Sound::set3DMinMaxDistance(float minDistance, float maxDistance) {
    if (!(minDistance >= 0.0f) || !(maxDistance >= minDistance) || !std::isfinite(maxDistance)) {
        return ErrInvalidParam;
    }
    std::lock_guard<std::mutex> lock(system_->state_->mutex);
    data_->minDistance = minDistance;
    data_->maxDistance = maxDistance;
    return OK;
}
Result Sound::getLength(unsigned* frames) const {
    if (!frames) return ErrInvalidParam;
    *frames = unsigned(data_->frames);
    return OK;
}

Result Sound::release() {
    System::State& state = *system_->state_;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        for (ChannelSlot& slot : state.channels) {
            if (slot.sound == this) {
                slot.active = false;
                slot.sound = nullptr;
            }
        }
        auto found = std::find(state.sounds.begin(), state.sounds.end(), this);
        if (found != state.sounds.end()) state.sounds.erase(found);
    }
    delete this;
    return OK;
}

// ---- System ----

System::System() : state_(std::make_unique<State>()) {}

System::~System() {
    if (state_->fft) kiss_fftr_free(state_->fft);
    for (Sound* sound : state_->sounds) delete sound;
    for (SoundGroup* group : state_->groups) delete group;
    delete state_->master;
}

Result System::getVersion(unsigned* version) const {
    if (!version) return ErrInvalidParam;
    *version = kVersion;
    return OK;
}

Result System::getNumDrivers(int* count) const {
    if (!count) return ErrInvalidParam;
    int devices = state_->sdlStarted ? SDL_GetNumAudioDevices(0) : 0;
    *count = devices > 0 ? devices : 0;
    return OK;
}

Result System::setOutput(Output output) {
    if (state_->initialised) return ErrInitialized;
    state_->output = output;
    return OK;
}

Result System::setSpeakerMode(SpeakerMode mode) {
    if (state_->initialised) return ErrInitialized;
    // The output is always stereo.
    return mode == SpeakerModeStereo ? OK : ErrSpeakerMode;
}

namespace {

void DeviceCallback(void* user, Uint8* stream, int bytes) {
    static_cast<System*>(user)->Mix(reinterpret_cast<float*>(stream),
                                    bytes / int(2 * sizeof(float)));
}

// Opens the default device, or SDL's dummy driver when none opens. Returns
// the device (0 when even that fails) and whether the subsystem is started.
SDL_AudioDeviceID OpenDevice(System* system, int& rate, bool& started) {
    SDL_AudioSpec want{};
    want.freq = kDefaultRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = DeviceCallback;
    want.userdata = system;
    // The sound system is the first part of SDL to start: from here on SDL
    // must leave SIGINT and SIGTERM to the game, which ends its level on them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 1) SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) continue;
        SDL_AudioSpec have{};
        SDL_AudioDeviceID device =
            SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
        if (device != 0) {
            started = true;
            rate = have.freq > 0 ? have.freq : kDefaultRate;
            return device;
        }
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    return 0;
}

}  // namespace

Result System::init(int maxChannels, unsigned flags, void* extraDriverData) {
    (void)flags;
    (void)extraDriverData;
    if (state_->initialised) return ErrInitialized;
    if (maxChannels < 1 || maxChannels > kMaxChannels) return ErrInvalidParam;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->channels.assign(size_t(maxChannels), ChannelSlot());
        state_->groups.push_back(new SoundGroup(this));
        state_->master = new ChannelGroup(this);
        state_->initialised = true;
    }
    if (state_->output == Output::Auto) {
        // Without any device the system still works, silently.
        state_->device = OpenDevice(this, state_->rate, state_->sdlStarted);
        if (state_->device != 0) SDL_PauseAudioDevice(state_->device, 0);
    }
    return OK;
}

Result System::release() {
    // Closing the device waits for a running callback.
    if (state_->device != 0) SDL_CloseAudioDevice(state_->device);
    if (state_->sdlStarted) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        // With nothing else of SDL in use, SDL lets go of what it set up for
        // the device (its D-Bus connection among others).
        if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
    }
    delete this;
    return OK;
}

Result System::update() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->initialised ? OK : ErrUninitialized;
}

Result System::set3DListenerAttributes(int listener, const FMOD_VECTOR* position,
                                       const FMOD_VECTOR* velocity, const FMOD_VECTOR* forward,
                                       const FMOD_VECTOR* up) {
    (void)velocity;
    (void)forward;
    (void)up;
    if (listener != 0) return ErrInvalidParam;
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (position) state_->listener = *position;
    return OK;
}

Result System::createSound(const char* path, Mode mode, void* extraInfo, Sound** sound) {
    (void)extraInfo;
    if (!sound) return ErrInvalidParam;
    *sound = nullptr;
    if (!state_->initialised) return ErrUninitialized;
    if (!path) return ErrInvalidParam;
    std::error_code statusError;
    auto status = std::filesystem::status(path, statusError);
    if (!statusError && std::filesystem::exists(status) &&
        !std::filesystem::is_regular_file(status)) {
        return ErrFileNotFound;  // a folder or a device is no sound
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (!file) {
        std::error_code error;
        return std::filesystem::is_regular_file(path, error) ? ErrFormat : ErrFileNotFound;
    }
    auto data = std::make_unique<Sound::Data>();
    Result result = OK;
    if (info.channels < 1 || info.samplerate <= 0) {
        result = ErrFormat;
    } else {
        data->channels = info.channels >= 2 ? 2 : 1;
        std::vector<float> block(size_t(4096) * size_t(info.channels));
        for (;;) {
            sf_count_t got = sf_readf_float(file, block.data(), 4096);
            if (got <= 0) break;
            if ((data->frames + got) * data->channels > kMaxSamples) {
                result = ErrFileBad;
                break;
            }
            for (sf_count_t f = 0; f < got; ++f) {
                for (int c = 0; c < data->channels; ++c) {
                    data->samples.push_back(block[size_t(f * info.channels + c)]);
                }
            }
            data->frames += got;
        }
        if (result == OK && data->frames == 0) result = ErrFormat;
    }
    sf_close(file);
    if (result != OK) return result;
    data->frequency = ClampFrequency(float(info.samplerate));
    data->mode = mode;
    std::lock_guard<std::mutex> lock(state_->mutex);
    data->group = state_->groups.front();
    Sound* created = new Sound(this, std::move(data));
    state_->sounds.push_back(created);
    *sound = created;
    return OK;
}

Result System::createSoundGroup(const char* name, SoundGroup** group) {
    (void)name;
    if (!group) return ErrInvalidParam;
    *group = nullptr;
    if (!state_->initialised) return ErrUninitialized;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->groups.push_back(new SoundGroup(this));
    *group = state_->groups.back();
    return OK;
}

Result System::getMasterSoundGroup(SoundGroup** group) {
    if (!group) return ErrInvalidParam;
    *group = state_->initialised ? state_->groups.front() : nullptr;
    return state_->initialised ? OK : ErrUninitialized;
}

Result System::getMasterChannelGroup(ChannelGroup** group) {
    if (!group) return ErrInvalidParam;
    *group = state_->master;
    return state_->initialised ? OK : ErrUninitialized;
}

Result System::playSound(int channelIndex, Sound* sound, bool paused, Channel* channel) {
    if (channel) *channel = Channel();
    if (!state_->initialised) return ErrUninitialized;
    if (!sound || sound->system_ != this) return ErrInvalidParam;
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto& channels = state_->channels;
    int index = channelIndex;
    if (channelIndex == kChannelFree) {
        auto free = std::find_if(channels.begin(), channels.end(),
                                 [](const ChannelSlot& slot) { return !slot.active; });
        if (free == channels.end()) {
            // Every channel busy (a looping sound, or one at speed 0 that never
            // ends): the new sound takes over the least important one.
            free = std::min_element(channels.begin(), channels.end(),
                                    [](const ChannelSlot& a, const ChannelSlot& b) {
                                        if (a.priority != b.priority)
                                            return a.priority > b.priority;
                                        return a.started < b.started;
                                    });
        }
        if (free == channels.end()) return ErrChannelAlloc;
        index = int(free - channels.begin());
    } else if (channelIndex < 0 || channelIndex >= int(channels.size())) {
        return ErrInvalidParam;
    }
    ChannelSlot& slot = channels[size_t(index)];
    uint32_t generation = slot.generation + 1;
    slot = ChannelSlot();
    slot.active = true;
    slot.generation = generation;
    slot.started = ++state_->plays;
    slot.priority = sound->data_->priority;
    slot.sound = sound;
    slot.paused = paused;
    slot.loop = (sound->data_->mode & FMOD_LOOP_NORMAL) != 0;
    slot.is3D = (sound->data_->mode & FMOD_3D) != 0;
    slot.volume = sound->data_->volume;
    slot.frequency = sound->data_->frequency;
    if (channel) {
        channel->system_ = this;
        channel->index_ = index;
        channel->generation_ = generation;
    }
    return OK;
}

void System::Mix(float* out, int frames) {
    if (!out || frames <= 0) return;
    std::fill(out, out + size_t(frames) * 2, 0.0f);
    std::lock_guard<std::mutex> lock(state_->mutex);
    ChannelGroup* master = state_->master;
    bool running = state_->initialised && master && !master->paused_;
    float masterGain = running && !master->mute_ ? master->volume_ : 0.0f;
    const double rate = double(state_->rate);
    for (ChannelSlot& slot : state_->channels) {
        if (!running || !slot.active || slot.paused || !slot.sound) continue;
        const Sound::Data& data = *slot.sound->data_;
        float gain = slot.volume * masterGain * (data.group ? data.group->volume_ : 1.0f);
        if (slot.is3D && slot.positioned) {
            // Linear fall-off between the sound's minimum and maximum distance.
            float dx = slot.position3D.x - state_->listener.x;
            float dy = slot.position3D.y - state_->listener.y;
            float dz = slot.position3D.z - state_->listener.z;
            float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
            if (distance >= data.maxDistance) {
                gain = 0.0f;
            } else if (distance > data.minDistance) {
                gain *= (data.maxDistance - distance) / (data.maxDistance - data.minDistance);
            }
        }
        const double step = std::min(double(slot.frequency) / rate, kMaxStep);
        const double length = double(data.frames);
        for (int f = 0; f < frames; ++f) {
            if (slot.position >= length) {
                if (!slot.loop) {
                    slot.active = false;
                    slot.sound = nullptr;
                    break;
                }
                slot.position = std::fmod(slot.position, length);
            }
            sf_count_t i0 = sf_count_t(slot.position);
            sf_count_t i1 = i0 + 1 < data.frames ? i0 + 1 : (slot.loop ? 0 : i0);
            float t = float(slot.position - double(i0));
            const float* a = &data.samples[size_t(i0 * data.channels)];
            const float* b = &data.samples[size_t(i1 * data.channels)];
            float left = a[0] + (b[0] - a[0]) * t;
            float right = data.channels == 2 ? a[1] + (b[1] - a[1]) * t : left;
            out[2 * f] += left * gain;
            out[2 * f + 1] += right * gain;
            slot.position += step;
        }
    }
    std::vector<float>& recent = state_->recent;
    for (int f = 0; f < frames; ++f) {
        out[2 * f] = std::clamp(out[2 * f], -1.0f, 1.0f);
        out[2 * f + 1] = std::clamp(out[2 * f + 1], -1.0f, 1.0f);
        recent[size_t(state_->recentPos) * 2] = out[2 * f];
        recent[size_t(state_->recentPos) * 2 + 1] = out[2 * f + 1];
        state_->recentPos = (state_->recentPos + 1) % kRecentFrames;
    }
}

int System::OutputRate() const {
    return state_->rate;
}

Result System::getSpectrum(float* values, int count, int channelOffset, int windowType) {
    if (!values || count < 64 || count > 8192 || (count & (count - 1)) != 0 || channelOffset < 0 ||
        channelOffset > 1) {
        return ErrInvalidParam;
    }
    const int size = std::max(kMinFftSize, 2 * count);
    std::vector<float> time(size_t(size), 0.0f);
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        // The last `size` frames, oldest first.
        for (int i = 0; i < size; ++i) {
            int frame = (state_->recentPos - size + i + kRecentFrames) % kRecentFrames;
            time[size_t(i)] = state_->recent[size_t(frame) * 2 + size_t(channelOffset)];
        }
        if (state_->fftSize != size) {
            if (state_->fft) kiss_fftr_free(state_->fft);
            state_->fft = kiss_fftr_alloc(size, 0, nullptr, nullptr);
            state_->fftSize = state_->fft ? size : 0;
        }
    }
    if (!state_->fft) return ErrMemory;
    float scale = 2.0f / float(size);
    if (windowType != 0) {
        const double pi = 3.14159265358979323846;
        for (int i = 0; i < size; ++i) {
            time[size_t(i)] *= float(0.5 - 0.5 * std::cos(2.0 * pi * i / (size - 1)));
        }
        scale *= 2.0f;  // the Hann window halves a sine's peak
    }
    std::vector<kiss_fft_cpx> bins(size_t(size / 2 + 1));
    kiss_fftr(state_->fft, time.data(), bins.data());
    const int perBand = (size / 2) / count;
    for (int band = 0; band < count; ++band) {
        float peak = 0.0f;
        for (int k = band * perBand; k < (band + 1) * perBand; ++k) {
            float magnitude = std::hypot(bins[size_t(k)].r, bins[size_t(k)].i) * scale;
            if (k == 0) magnitude *= 0.5f;
            peak = std::max(peak, magnitude);
        }
        values[band] = peak;
    }
    return OK;
}

}  // namespace FMOD

FMOD::Result FMOD_System_Create(FMOD::System** system) {
    if (!system) return FMOD::ErrInvalidParam;
    *system = new FMOD::System();
    return FMOD::OK;
}

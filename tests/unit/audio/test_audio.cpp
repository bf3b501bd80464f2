#include <gtest/gtest.h>
#include <malloc.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "Audio/AudioManager.h"
#include "Game/GameHooks.h"
#include "Game/StateManager.h"
#include "Platform/Fmod.h"
#include "System/Source/ConsoleArgs.h"
#include "support/TestSupport.h"
#include "test_lua_support.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRate = 48000;

// Writes a float WAV of `seconds` whose samples come from `wave(t)`: mono,
// or stereo with `right(t)` as its right channel.
std::string WriteWave(const std::string& path, double seconds, int rate,
                      const std::function<double(double)>& wave,
                      const std::function<double(double)>& right = nullptr) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = right ? 2 : 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << path;
    const size_t frames = size_t(seconds * rate);
    std::vector<float> samples;
    for (size_t i = 0; i < frames; ++i) {
        samples.push_back(float(wave(double(i) / rate)));
        if (right) samples.push_back(float(right(double(i) / rate)));
    }
    sf_writef_float(file, samples.data(), sf_count_t(frames));
    sf_close(file);
    return path;
}

std::string WriteSine(const std::string& path, double hz, double amplitude, double seconds,
                      int rate = kRate) {
    return WriteWave(path, seconds, rate,
                     [=](double t) { return amplitude * std::sin(2.0 * kPi * hz * t); });
}

// Root mean square of one channel (0 left, 1 right) of `frames` mixed frames.
double MixRms(FMOD::System* system, int frames, int side = 0) {
    std::vector<float> out(size_t(frames) * 2);
    system->Mix(out.data(), frames);
    double sum = 0.0;
    for (int f = 0; f < frames; ++f) sum += double(out[2 * f + side]) * out[2 * f + side];
    return std::sqrt(sum / frames);
}

// Frames mixed until the channel stops (at most `limit`).
int FramesUntilEnd(FMOD::System* system, FMOD::Channel channel, int limit) {
    std::vector<float> out(2 * 100);
    for (int mixed = 0; mixed < limit; mixed += 100) {
        bool playing = false;
        channel.isPlaying(&playing);
        if (!playing) return mixed;
        system->Mix(out.data(), 100);
    }
    return limit;
}

class SoundLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(FMOD_System_Create(&system), FMOD::OK);
        ASSERT_EQ(system->setOutput(FMOD::Output::NoSound), FMOD::OK);
        ASSERT_EQ(system->init(8, 0, nullptr), FMOD::OK);
    }
    void TearDown() override { system->release(); }

    FMOD::Sound* Create(const std::string& path, FMOD::Mode mode = FMOD_LOOP_OFF) {
        FMOD::Sound* sound = nullptr;
        EXPECT_EQ(system->createSound(path.c_str(), mode, nullptr, &sound), FMOD::OK);
        return sound;
    }

    TestSupport::TempDir dir;
    FMOD::System* system = nullptr;
};

}  // namespace

TEST_F(SoundLayerTest, MixerPlaysPausesScalesAndEnds) {
    FMOD::Sound* sound = Create(WriteSine(dir.Path() + "/a.wav", 440, 0.8, 0.5));
    ASSERT_NE(sound, nullptr);
    FMOD::Channel channel;
    ASSERT_EQ(system->playSound(FMOD::kChannelFree, sound, false, &channel), FMOD::OK);
    const double full = 0.8 / std::sqrt(2.0);
    EXPECT_NEAR(MixRms(system, 4800), full, 0.01);

    channel.setPaused(true);
    EXPECT_EQ(MixRms(system, 4800), 0.0);
    channel.setPaused(false);

    // Group, channel and master volumes multiply.
    FMOD::SoundGroup* group = nullptr;
    ASSERT_EQ(system->createSoundGroup("G", &group), FMOD::OK);
    sound->setSoundGroup(group);
    group->setVolume(0.5f);
    channel.setVolume(0.5f);
    EXPECT_NEAR(MixRms(system, 4800), full * 0.25, 0.01);
    FMOD::ChannelGroup* master = nullptr;
    system->getMasterChannelGroup(&master);
    master->setMute(true);
    EXPECT_EQ(MixRms(system, 4800), 0.0);
    master->setMute(false);
    master->setPaused(true);
    EXPECT_EQ(MixRms(system, 4800), 0.0);
    master->setPaused(false);

    // The sound ends; its handle then fails softly, also after the slot is
    // used again by another play.
    EXPECT_LT(FramesUntilEnd(system, channel, kRate), kRate);
    bool playing = true;
    EXPECT_EQ(channel.isPlaying(&playing), FMOD::ErrInvalidHandle);
    EXPECT_FALSE(playing);
    FMOD::Channel next;
    system->playSound(FMOD::kChannelFree, sound, false, &next);
    EXPECT_EQ(channel.stop(), FMOD::ErrInvalidHandle);
    EXPECT_EQ(next.isPlaying(&playing), FMOD::OK);
    EXPECT_TRUE(playing);
    FMOD::Channel none;
    EXPECT_EQ(none.setPaused(true), FMOD::ErrInvalidHandle);
    EXPECT_EQ(none.stop(), FMOD::ErrInvalidHandle);
}

TEST_F(SoundLayerTest, StereoSoundKeepsEachChannelOnItsSide) {
    // Silence on the left, a tone on the right: the tone stays right.
    FMOD::Sound* sound = Create(WriteWave(
        dir.Path() + "/stereo.wav", 0.5, kRate, [](double) { return 0.0; },
        [](double t) { return 0.8 * std::sin(2.0 * kPi * 440.0 * t); }));
    ASSERT_NE(sound, nullptr);
    system->playSound(FMOD::kChannelFree, sound, false, nullptr);
    EXPECT_NEAR(MixRms(system, 4800, 0), 0.0, 0.01);
    EXPECT_NEAR(MixRms(system, 4800, 1), 0.8 / std::sqrt(2.0), 0.01);
}

TEST_F(SoundLayerTest, FrequencySetsSpeedAndLoopingRepeats) {
    // 0.1 s at 24 kHz: the defaults carry the file's rate.
    FMOD::Sound* sound = Create(WriteSine(dir.Path() + "/b.wav", 300, 0.5, 0.1, 24000));
    float frequency = 0.0f, volume = 0.0f;
    sound->getDefaults(&frequency, &volume, nullptr, nullptr);
    EXPECT_EQ(frequency, 24000.0f);
    EXPECT_EQ(volume, 1.0f);
    FMOD::Channel channel;
    system->playSound(FMOD::kChannelFree, sound, false, &channel);
    EXPECT_NEAR(FramesUntilEnd(system, channel, kRate), 4800, 100);
    system->playSound(FMOD::kChannelFree, sound, false, &channel);
    channel.setFrequency(48000.0f);
    EXPECT_NEAR(FramesUntilEnd(system, channel, kRate), 2400, 100);

    // Bad numbers are clamped: never negative, NaN or endless.
    sound->setDefaults(std::numeric_limits<float>::quiet_NaN(), -3.0f, 0.0f, 128);
    sound->getDefaults(&frequency, &volume, nullptr, nullptr);
    EXPECT_EQ(frequency, 0.0f);
    EXPECT_EQ(volume, 0.0f);
    sound->setDefaults(std::numeric_limits<float>::infinity(),
                       std::numeric_limits<float>::infinity(), 0.0f, 128);
    sound->getDefaults(&frequency, &volume, nullptr, nullptr);
    EXPECT_EQ(frequency, FMOD::kMaxFrequency);
    EXPECT_EQ(volume, 1.0f);

    sound->setDefaults(24000.0f, 1.0f, 0.0f, 128);
    sound->setMode(FMOD_LOOP_NORMAL);
    system->playSound(FMOD::kChannelFree, sound, false, &channel);
    EXPECT_EQ(FramesUntilEnd(system, channel, 20000), 20000);
}

TEST_F(SoundLayerTest, BadFilesAndArgumentsFailWithoutHarm) {
    FMOD::Sound* sound = reinterpret_cast<FMOD::Sound*>(1);
    EXPECT_EQ(system->createSound((dir.Path() + "/none.wav").c_str(), 0, nullptr, &sound),
              FMOD::ErrFileNotFound);
    EXPECT_EQ(sound, nullptr);
    // A folder is no sound file.
    EXPECT_EQ(system->createSound(dir.Path().c_str(), 0, nullptr, &sound), FMOD::ErrFileNotFound);
    std::string junk = dir.Write("junk.wav", "RIFF this is no sound at all");
    EXPECT_EQ(system->createSound(junk.c_str(), 0, nullptr, &sound), FMOD::ErrFormat);
    EXPECT_EQ(system->playSound(FMOD::kChannelFree, nullptr, false, nullptr),
              FMOD::ErrInvalidParam);
    float values[64];
    EXPECT_EQ(system->getSpectrum(values, 63, 0, 0), FMOD::ErrInvalidParam);
    EXPECT_EQ(system->getSpectrum(values, 64, 2, 0), FMOD::ErrInvalidParam);
    EXPECT_EQ(system->getSpectrum(nullptr, 64, 0, 0), FMOD::ErrInvalidParam);

    // Every channel busy: a new play takes over the oldest channel, or first
    // one of a less important sound (a higher priority number).
    FMOD::Sound* tone = Create(WriteSine(dir.Path() + "/c.wav", 440, 0.5, 0.1));
    FMOD::Channel channels[10];
    for (int i = 0; i < 10; ++i) {
        if (i == 8) tone->setDefaults(48000.0f, 1.0f, 0.0f, 200);
        EXPECT_EQ(system->playSound(FMOD::kChannelFree, tone, false, &channels[i]), FMOD::OK);
    }
    bool playing = false;
    for (int i : {0, 8}) EXPECT_EQ(channels[i].isPlaying(&playing), FMOD::ErrInvalidHandle);
    EXPECT_EQ(channels[1].isPlaying(&playing), FMOD::OK);
}

TEST_F(SoundLayerTest, SpectrumFindsTheToneInItsBand) {
    FMOD::Sound* low = Create(WriteSine(dir.Path() + "/low.wav", 100, 0.8, 1.0));
    FMOD::Sound* high = Create(WriteSine(dir.Path() + "/high.wav", 6000, 0.8, 1.0));
    float values[64];
    system->playSound(FMOD::kChannelFree, low, false, nullptr);
    MixRms(system, 8192);
    ASSERT_EQ(system->getSpectrum(values, 64, 0, 0), FMOD::OK);
    EXPECT_GT(values[0], 0.5f);
    EXPECT_LT(values[20], 0.05f);

    FMOD::Channel channel;
    system->playSound(0, high, false, &channel);  // replaces the low tone
    MixRms(system, 8192);
    ASSERT_EQ(system->getSpectrum(values, 64, 1, 1), FMOD::OK);
    // 6000 Hz in bands of 375 Hz: band 16.
    EXPECT_LT(values[0], 0.05f);
    EXPECT_NEAR(values[16], 0.8f, 0.1f);
}

// ---- The audio manager ----

namespace {

class AudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        InstallGameHooks();
        GetStateManager().pauseMenuShown = false;
        GetStateManager().dt = 0.0;
        tone = WriteSine(dir.Path() + "/tone.wav", 440, 0.8, 2.0);
        music = WriteSine(dir.Path() + "/music.wav", 220, 0.8, 2.0);
        std::string out =
            TestSupport::CaptureStdout([&] { manager = new AudioManager(FMOD::Output::NoSound); });
        EXPECT_EQ(out, "");
        EXPECT_EQ(manager->LastResult(), 0);
        Audio = manager;
    }
    void TearDown() override {
        Audio = nullptr;
        manager->Release();
        delete manager;
        GetStateManager().pauseMenuShown = false;
        GetStateManager().dt = 0.0;
    }
    double Rms(int frames = 4800) { return MixRms(manager->GetSystem(), frames); }
    std::string Out(const std::function<void()>& body) { return TestSupport::CaptureStdout(body); }

    TestSupport::TempDir dir;
    std::string tone, music;
    AudioManager* manager = nullptr;
};

}  // namespace

TEST_F(AudioTest, LoadPlayStopAndUnknownNames) {
    manager->Load("tone", tone.c_str(), false);
    manager->Load("tone", music.c_str(), false);  // the name is taken: kept as it was
    manager->Load("song", music.c_str(), true);
    ASSERT_EQ(manager->Records(false).size(), 1u);
    EXPECT_EQ(manager->Records(false)[0].loadedFrequency, float(kRate));
    EXPECT_FALSE(manager->IsChannelPlaying("tone", false));

    manager->Play("tone", nullptr, false, false, false);
    EXPECT_TRUE(manager->IsChannelPlaying("tone", false));
    EXPECT_FALSE(manager->IsChannelPlaying("tone", true));  // not in the music list
    EXPECT_NEAR(Rms(), 0.8 / std::sqrt(2.0), 0.01);
    manager->Stop("tone", false);
    EXPECT_FALSE(manager->IsChannelPlaying("tone", false));
    EXPECT_EQ(Rms(), 0.0);

    EXPECT_EQ(Out([&] { manager->Play("nothing", nullptr, false, false, false); }),
              "Sound not played: nothing\n");
    EXPECT_EQ(Out([&] {
                  manager->Stop("nothing", false);
                  manager->SetVolume("nothing", 0.5f, false);
                  manager->SetSpeed("nothing", 100.0f, false);
                  manager->Remove("nothing", true);
              }),
              "");

    // Removing forgets the record and frees the samples (384 KB each time).
    manager->Remove("tone", false);
    EXPECT_TRUE(manager->Records(false).empty());
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 300; ++i) {
        manager->Load("tone", tone.c_str(), false);
        manager->Play("tone", nullptr, false, false, false);
        manager->Remove("tone", false);
    }
    EXPECT_LT(mallinfo2().uordblks, before + 1024 * 1024);
    EXPECT_EQ(Rms(), 0.0);  // its channel stopped with it
    manager->Load("tone", tone.c_str(), false);
    EXPECT_EQ(manager->Records(false).size(), 1u);
    EXPECT_EQ(manager->LastResult(), 0);
}

TEST_F(AudioTest, MissingOrBrokenFilePrintsOneLineAndAudioGoesOn) {
    std::string junk = dir.Write("junk.ogg", "not a sound");
    EXPECT_EQ(Out([&] { manager->Load("x", (dir.Path() + "/missing.wav").c_str(), false); }),
              "Sound file not loaded: " + dir.Path() + "/missing.wav\n");
    EXPECT_EQ(Out([&] { manager->Load("y", junk.c_str(), true); }),
              "Sound file not loaded: " + junk + "\n");
    EXPECT_EQ(Out([&] { manager->Play("x", nullptr, false, false, false); }),
              "Sound not played: x\n");
    manager->Load("tone", tone.c_str(), false);
    manager->Play("tone", nullptr, false, false, false);
    EXPECT_TRUE(manager->IsChannelPlaying("tone", false));
}

TEST_F(AudioTest, SecondStartResetsDefaultsAndStopReachesOnlyTheLatestChannel) {
    manager->Load("tone", tone.c_str(), false);
    manager->SetVolume("tone", 0.5f, false);
    manager->SetSpeed("tone", 24000.0f, false);
    manager->Play("tone", nullptr, false, false, false);
    const SoundRecord& record = manager->Records(false)[0];
    // Never started before: the values set beforehand hold.
    EXPECT_EQ(record.currentVolume, 0.5f);
    EXPECT_EQ(record.currentFrequency, 24000.0f);
    FMOD::Channel first = record.channel;
    manager->Play("tone", nullptr, false, false, false);
    EXPECT_EQ(record.currentVolume, 1.0f);
    EXPECT_EQ(record.currentFrequency, float(kRate));
    EXPECT_EQ(record.playCount, 2);

    manager->Stop("tone", false);
    bool playing = false;
    first.isPlaying(&playing);
    EXPECT_TRUE(playing);
    manager->StopAllSounds();  // the record's channel is already stopped
    first.isPlaying(&playing);
    EXPECT_TRUE(playing);
    EXPECT_EQ(manager->Records(false).size(), 1u);
}

TEST_F(AudioTest, VolumesAreClampedAndReachThePlayingChannel) {
    manager->Load("tone", tone.c_str(), false);
    manager->Play("tone", nullptr, false, false, false);
    manager->SetVolume("tone", 0.25f, false);
    EXPECT_NEAR(Rms(), 0.25 * 0.8 / std::sqrt(2.0), 0.01);
    const SoundRecord& record = manager->Records(false)[0];
    manager->SetVolume("tone", std::numeric_limits<float>::quiet_NaN(), false);
    EXPECT_EQ(record.currentVolume, 0.0f);
    manager->SetVolume("tone", -2.0f, false);
    EXPECT_EQ(record.currentVolume, 0.0f);
    manager->SetVolume("tone", std::numeric_limits<float>::infinity(), false);
    EXPECT_EQ(record.currentVolume, 1.0f);
    manager->SetSpeed("tone", -5.0f, false);
    EXPECT_EQ(record.currentFrequency, 0.0f);
    manager->SetSoundGroupVolume(std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(manager->IsSoundGroupSilent());
    manager->SetSoundGroupVolume(0.5f);
    EXPECT_EQ(manager->GetSoundGroupVolume(), 0.5f);
    EXPECT_NEAR(Rms(), 0.5 * 0.8 / std::sqrt(2.0), 0.01);
    EXPECT_FALSE(manager->IsMusicGroupSilent());
}

TEST_F(AudioTest, ErrorsPrintOnceAndOnlyAFailedStartGates) {
    // An error of one call is printed once and silences nothing after it.
    EXPECT_EQ(Out([&] {
                  manager->KeepResult(FMOD::ErrInvalidHandle);
                  manager->KeepResult(FMOD::ErrInvalidHandle);
              }),
              "FMOD encountered an error\nError Code: 1\n");
    EXPECT_FALSE(manager->Closed());
    manager->Load("song", music.c_str(), true);
    manager->Play("song", nullptr, true, false, false);
    EXPECT_TRUE(manager->IsChannelPlaying("song", true));
}

TEST_F(AudioTest, PauseMenuPausesEffectsOnlyAndFocusPausesEverything) {
    manager->Load("tone", tone.c_str(), false);
    manager->Load("song", music.c_str(), true);
    manager->Play("tone", nullptr, false, false, false);
    manager->Play("song", nullptr, true, false, false);
    const double both = Rms();
    GetStateManager().pauseMenuShown = true;
    manager->PauseSounds();
    manager->SetMusicGroupVolume(0.5f);
    const double musicOnly = Rms();
    EXPECT_NEAR(musicOnly, 0.5 * 0.8 / std::sqrt(2.0), 0.01);
    EXPECT_LT(musicOnly, both);
    GetStateManager().pauseMenuShown = false;
    manager->PauseSounds();
    manager->SetMusicGroupVolume(1.0f);
    EXPECT_NEAR(Rms(), both, 0.02);

    manager->SetMasterPaused(true);
    EXPECT_TRUE(manager->MasterPaused());
    EXPECT_EQ(Rms(), 0.0);
    manager->SetMasterPaused(false);
    EXPECT_GT(Rms(), 0.1);

    manager->StopMusicChannels();
    EXPECT_FALSE(manager->IsChannelPlaying("song", true));
    EXPECT_TRUE(manager->IsChannelPlaying("tone", false));
}

TEST_F(AudioTest, BeatOnAStrongLowPulseAtMostEveryQuarterSecond) {
    // 80 Hz bursts of 0.1 s every half second.
    WriteWave(dir.Path() + "/beat.wav", 2.0, kRate, [](double t) {
        return std::fmod(t, 0.5) < 0.1 ? 0.9 * std::sin(2.0 * kPi * 80.0 * t) : 0.0;
    });
    manager->Load("beat", (dir.Path() + "/beat.wav").c_str(), true);
    manager->Play("beat", nullptr, true, false, false);
    GetStateManager().dt = 0.1;
    Rms(4800);  // 0.1 s: inside the first burst
    EXPECT_TRUE(manager->DetectBeat(0.3f));
    EXPECT_FALSE(manager->DetectBeat(0.3f));  // same frame: the cooldown holds
    Rms(19200);                               // 0.5 s: in the pause between bursts
    EXPECT_FALSE(manager->DetectBeat(0.3f));
    Rms(4800);  // 0.6 s: in the second burst, cooldown over
    EXPECT_FALSE(manager->DetectBeat(5.0f));
    EXPECT_TRUE(manager->DetectBeat(0.3f));
}

TEST_F(AudioTest, RealDeviceOrDummyDriverWorksAndReleases) {
    AudioManager* withDevice = nullptr;
    std::string out = Out([&] { withDevice = new AudioManager(); });
    EXPECT_EQ(out, "");
    withDevice->Load("tone", tone.c_str(), false);
    withDevice->Play("tone", nullptr, false, false, false);
    EXPECT_TRUE(withDevice->IsChannelPlaying("tone", false));
    withDevice->Update();
    withDevice->Release();
    // After the release every call is harmless.
    EXPECT_FALSE(withDevice->IsChannelPlaying("tone", false));
    withDevice->StopAllSounds();
    withDevice->SetMasterPaused(true);
    EXPECT_FALSE(withDevice->DetectBeat(0.1f));
    delete withDevice;
}

// ---- Lua functions and console commands ----

namespace {

class AudioLuaTest : public LuaFixture {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
        oldCwd = cwd;
        ASSERT_EQ(chdir(dir.Path().c_str()), 0);
        dir.Write("Resources/Sound/keep", "");
        WriteSine(dir.Path() + "/Resources/Sound/Tone.wav", 440, 0.8, 2.0);
        LuaFixture::SetUp();
        AudioLuaRegisterFirst();
        AudioLuaRegisterMuteQueries();
        manager = new AudioManager(FMOD::Output::NoSound);
        Audio = manager;
    }
    void TearDown() override {
        Audio = nullptr;
        manager->Release();
        delete manager;
        LuaFixture::TearDown();
        ASSERT_EQ(chdir(oldCwd.c_str()), 0);
    }
    double Number(const std::string& expression) {
        EXPECT_EQ(Run("result = " + expression), "") << expression;
        lua_getglobal(L, "result");
        double value = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return value;
    }

    TestSupport::TempDir dir;
    std::string oldCwd;
    AudioManager* manager = nullptr;
};

}  // namespace

TEST_F(AudioLuaTest, EffectsAndMusicThroughLua) {
    // The file is found whatever the case of its name.
    EXPECT_EQ(Output("AddSound('tone.wav', 'hit')"), "");
    EXPECT_EQ(Output("AddMusic('tone.wav', 'song')"), "");
    EXPECT_EQ(Number("IsPlaying('hit')"), 0.0);
    EXPECT_EQ(Output("PlaySound('hit', 5, 6, false, false)"), "");
    EXPECT_EQ(Number("IsPlaying('hit')"), 1.0);
    Output("SetSoundVolume('hit', 0.5)");
    EXPECT_EQ(manager->Records(false)[0].currentVolume, 0.5f);
    Output("SetSoundSpeed('hit', 0.5)");
    EXPECT_EQ(manager->Records(false)[0].currentFrequency, 24000.0f);
    Output("SetSoundSpeed('never', 2)");
    Output("StopSound('hit')");
    EXPECT_EQ(Number("IsPlaying('hit')"), 0.0);

    Output("PlayMusic('song')");
    EXPECT_EQ(Number("MusicIsPlaying('song')"), 1.0);
    Output("SetMusicVolume('song', 0.25)");
    EXPECT_EQ(manager->Records(true)[0].currentVolume, 0.25f);
    Output("StopMusic('song')");
    EXPECT_EQ(Number("MusicIsPlaying('song')"), 0.0);
    Output("PlayMusic('song') StopAllMusic()");
    EXPECT_EQ(Number("MusicIsPlaying('song')"), 0.0);
    Output("PlayMusic('song') PlaySound('hit', 0, 0, true, true) KillSounds()");
    EXPECT_EQ(Number("MusicIsPlaying('song') + IsPlaying('hit')"), 0.0);
    EXPECT_EQ(Number("MusicBeat(100)"), 0.0);

    Output("RemoveSound('hit') RemoveMusic('song')");
    EXPECT_TRUE(manager->Records(false).empty());
    EXPECT_TRUE(manager->Records(true).empty());
    EXPECT_EQ(Output("PlaySound('hit', 0, 0, false, false)"), "Sound not played: hit\n");
}

TEST_F(AudioLuaTest, WrongArgumentsAndNoManagerAreHarmless) {
    // Numbers where names belong read as their text, other values as "";
    // names where numbers belong as 0.
    EXPECT_EQ(Output("AddSound(1, 7)"), "Sound file not loaded: Resources/Sound/1\n");
    EXPECT_EQ(Output("AddSound(false, 7)"), "Sound file not loaded: Resources/Sound/\n");
    EXPECT_EQ(Output("PlaySound(true, 'x', 'y', 'z', 2)"), "Sound not played: \n");
    Output("MusicBeat('x')");
    Output("AddSound('Tone.wav', 'hit')");
    Output("SetSoundVolume('hit', 'loud') SetSoundSpeed('hit', {})");
    EXPECT_EQ(manager->Records(false)[0].currentVolume, 0.0f);
    EXPECT_EQ(manager->Records(false)[0].currentFrequency, 0.0f);
    EXPECT_EQ(Number("IsPlaying()") + Number("MusicIsPlaying(5)"), 0.0);
    Audio = nullptr;
    EXPECT_EQ(Output("AddSound('Tone.wav', 'b') PlaySound('b') PlayMusic('b') KillSounds()"), "");
    EXPECT_EQ(Number("isSoundMuted() + isMusicMuted() + IsPlaying('b')"), 0.0);
    Audio = manager;
}

TEST_F(AudioLuaTest, MuteCommandsAndQueries) {
    ConsoleArgs args;
    manager->SetMusicGroupVolume(0.75f);
    EXPECT_EQ(Number("isMusicMuted()"), 0.0);
    ConsoleMuteMusic(args);
    EXPECT_EQ(Number("isMusicMuted()"), 1.0);
    ConsoleMuteMusic(args);
    EXPECT_EQ(manager->GetMusicGroupVolume(), 0.75f);

    // Muted music stays silent through the pause menu; unmuting gives the
    // level the pause last asked for.
    ConsoleMuteMusic(args);
    manager->SetMusicPauseVolume(0.5f);
    EXPECT_EQ(Number("isMusicMuted()"), 1.0);
    ConsoleMuteMusic(args);
    EXPECT_EQ(manager->GetMusicGroupVolume(), 0.5f);

    EXPECT_EQ(Number("isSoundMuted()"), 0.0);
    ConsoleMuteSound(args);
    EXPECT_EQ(Number("isSoundMuted()"), 1.0);
    ConsoleMuteSound(args);
    EXPECT_EQ(Number("isSoundMuted()"), 0.0);
    manager->SetSoundGroupVolume(0.0f);
    EXPECT_EQ(Number("isSoundMuted()"), 1.0);
}

// ---- Measured output: what SDL's disk driver writes of the device ----

namespace {

// Peak and pitch (upward zero crossings) of the left channel written to
// `path` after frame `read`, once `seconds` have passed. The first buffers,
// mixed before the phase began, are skipped.
std::pair<float, double> Measure(const std::string& path, size_t& read, double seconds) {
    usleep(useconds_t(seconds * 1e6));
    std::string bytes = TestSupport::ReadFile(path);
    for (int i = 0; i < 100 && bytes.size() / 8 < read + 8192; ++i, usleep(50000)) {
        bytes = TestSupport::ReadFile(path);  // a busy machine lags behind
    }
    std::vector<float> left(std::max<size_t>(bytes.size() / 8, read + 4096) - read - 4096);
    for (size_t f = 0; f < left.size(); ++f)
        std::memcpy(&left[f], &bytes[(read + 4096 + f) * 8], 4);
    read = bytes.size() / 8;
    float peak = 0.0f;
    int up = 0;
    for (size_t i = 1; i < left.size(); ++i) {
        peak = std::max(peak, std::fabs(left[i]));
        up += left[i - 1] < 0.0f && left[i] >= 0.0f;
    }
    return {peak, left.empty() ? 0.0 : up * 48000.0 / double(left.size())};
}

}  // namespace

TEST_F(AudioTest, MeasuredOutputOfMuteDefaultsModesAndBusyChannels) {
    const std::string raw = dir.Path() + "/out.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    AudioManager device;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(device.GetSystem()->OutputRate(), 48000);
    size_t read = 0;
    const std::string quiet = WriteWave(dir.Path() + "/q.wav", 5, kRate, [](double) { return 0; });
    device.Load("quiet", quiet.c_str(), false);
    device.Load("blip", WriteSine(dir.Path() + "/blip.wav", 440, 0.8, 0.1).c_str(), false);
    for (const char* name : {"tone", "stuck"}) device.Load(name, tone.c_str(), false);
    device.Load("song", music.c_str(), true);

    // Muted music stays silent through the pause menu and a focus loss.
    device.Play("song", nullptr, true, false, false);
    device.ToggleMusicMute();
    device.SetMusicPauseVolume(0.5f);
    device.SetMasterPaused(true);
    device.SetMasterPaused(false);
    device.SetMusicPauseVolume(1.0f);
    EXPECT_EQ(Measure(raw, read, 0.3).first, 0.0f);
    device.ToggleMusicMute();
    EXPECT_NEAR(Measure(raw, read, 0.3).first, 0.8f, 0.02f);
    device.StopMusicChannels();

    // The second start plays at the loaded volume and pitch.
    device.SetVolume("tone", 0.25f, false);
    device.SetSpeed("tone", 24000.0f, false);
    for (auto [peak, pitch] : {std::pair{0.2f, 220.0}, std::pair{0.8f, 440.0}}) {
        device.Play("tone", nullptr, false, false, false);
        auto [measuredPeak, measuredPitch] = Measure(raw, read, 0.3);
        EXPECT_NEAR(measuredPeak, peak, 0.02f);
        EXPECT_NEAR(measuredPitch, pitch, 15.0);
        device.Stop("tone", false);
    }

    // Loop and 3D together: the 0.1-second blip still sounds after half a
    // second, at half level halfway through its fall-off.
    FMOD_VECTOR halfway;
    halfway.x = 4400.0f;
    device.Play("blip", &halfway, false, true, true);
    EXPECT_NEAR(Measure(raw, read, 0.5).first, 0.4f, 0.03f);
    device.Stop("blip", false);

    // A channel at speed 0 never ends; with it and 1200 starts of a long
    // sound every channel is busy, and a new sound still plays.
    device.SetSpeed("stuck", 0.0f, false);
    device.Play("stuck", nullptr, false, false, false);
    for (int i = 0; i < 1200; ++i) device.Play("quiet", nullptr, false, false, false);
    EXPECT_FALSE(device.IsChannelPlaying("stuck", false));
    Measure(raw, read, 0.1);
    device.Play("tone", nullptr, false, false, false);
    EXPECT_NEAR(Measure(raw, read, 0.3).first, 0.8f, 0.02f);
}

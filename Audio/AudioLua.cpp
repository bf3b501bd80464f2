// The audio functions offered to Lua and the mute commands of the console.
#include "Audio/AudioManager.h"
#include "System/Source/ConsoleArgs.h"
#include "System/Source/LuaState.h"

namespace {

constexpr const char* kSoundFolder = "Resources/Sound/";

const char* Text(const System::MetaArgs& args, unsigned index) {
    const char* text = System::GetArgument(args, index).ToString();
    return text ? text : "";
}

float Number(const System::MetaArgs& args, unsigned index) {
    return System::GetArgument(args, index).ToFloat();
}

int PushFlag(lua_State* L, bool flag) {
    lua_pushnumber(L, flag ? 1.0 : 0.0);
    return 1;
}

// AddSound / AddMusic: (file name, sound name).
int Add(lua_State* L, bool isMusic) {
    System::MetaArgs args = ReadLuaArgumentValues(L);
    std::string path = std::string(kSoundFolder) + Text(args, 0);
    if (Audio) Audio->Load(Text(args, 1), path.c_str(), isMusic);
    return 0;
}

// A function of one name argument that forwards to the manager.
template <void (AudioManager::*Operation)(const char*, bool), bool isMusic>
int ByName(lua_State* L) {
    System::MetaArgs args = ReadLuaArgumentValues(L);
    if (Audio) (Audio->*Operation)(Text(args, 0), isMusic);
    return 0;
}

int Playing(lua_State* L, bool isMusic) {
    System::MetaArgs args = ReadLuaArgumentValues(L);
    return PushFlag(L, Audio && Audio->IsChannelPlaying(Text(args, 0), isMusic));
}

int Volume(lua_State* L, bool isMusic) {
    System::MetaArgs args = ReadLuaArgumentValues(L);
    if (Audio) Audio->SetVolume(Text(args, 0), Number(args, 1), isMusic);
    return 0;
}

}  // namespace

int AddSound(lua_State* L) {
    return Add(L, false);
}

int PlaySound(lua_State* L) {
    System::MetaArgs args = ReadLuaArgumentValues(L);
    bool loop = System::GetArgument(args, 3).ToBool();
    bool is3D = System::GetArgument(args, 4).ToBool();
    FMOD_VECTOR position;
    if (is3D) {
        position.x = Number(args, 1);
        position.y = Number(args, 2);
    } else {
        ReadListenerPosition(position.x, position.y);
    }
    if (Audio) Audio->Play(Text(args, 0), &position, false, loop, is3D);
    return 0;
}

int SetSoundSpeed(lua_State* L) {
    System::MetaArgs args = ReadLuaArgumentValues(L);
    if (!Audio) return 0;
    const char* name = Text(args, 0);
    SoundRecord* record = Audio->Find(name, false);
    float frequency = (record ? record->loadedFrequency : 0.0f) * Number(args, 1);
    Audio->SetSpeed(name, frequency, false);
    return 0;
}

int SetSoundVolume(lua_State* L) {
    return Volume(L, false);
}

int SetMusicVolume(lua_State* L) {
    return Volume(L, true);
}

int StopSound(lua_State* L) {
    return ByName<&AudioManager::Stop, false>(L);
}

int StopAllMusic(lua_State* L) {
    ReadLuaArgumentValues(L);
    if (Audio) Audio->StopMusicChannels();
    return 0;
}

int RemoveSound(lua_State* L) {
    return ByName<&AudioManager::Remove, false>(L);
}

int IsPlaying(lua_State* L) {
    return Playing(L, false);
}

int MusicBeat(lua_State* L) {
    System::MetaArgs args = ReadLuaArgumentValues(L);
    return PushFlag(L, Audio && Audio->DetectBeat(Number(args, 0)));
}

int MusicIsPlaying(lua_State* L) {
    return Playing(L, true);
}

int AddMusic(lua_State* L) {
    return Add(L, true);
}

int PlayMusic(lua_State* L) {
    System::MetaArgs args = ReadLuaArgumentValues(L);
    if (!Audio) return 0;
    const char* name = Text(args, 0);
    Audio->Stop(name, true);
    Audio->Play(name, nullptr, true, false, false);
    return 0;
}

int StopMusic(lua_State* L) {
    return ByName<&AudioManager::Stop, true>(L);
}

int RemoveMusic(lua_State* L) {
    return ByName<&AudioManager::Remove, true>(L);
}

int KillSounds(lua_State* L) {
    ReadLuaArgumentValues(L);
    if (Audio) Audio->StopAllSounds();
    return 0;
}

int isSoundMuted(lua_State* L) {
    ReadLuaArgumentValues(L);
    return PushFlag(L, Audio && Audio->IsSoundGroupSilent());
}

int isMusicMuted(lua_State* L) {
    ReadLuaArgumentValues(L);
    return PushFlag(L, Audio && Audio->IsMusicGroupSilent());
}

void AudioLuaRegisterFirst() {
    RegisterLuaFunction(AddSound, "AddSound");
    RegisterLuaFunction(PlaySound, "PlaySound");
    RegisterLuaFunction(SetSoundSpeed, "SetSoundSpeed");
    RegisterLuaFunction(SetSoundVolume, "SetSoundVolume");
    RegisterLuaFunction(SetMusicVolume, "SetMusicVolume");
    RegisterLuaFunction(StopSound, "StopSound");
    RegisterLuaFunction(StopAllMusic, "StopAllMusic");
    RegisterLuaFunction(RemoveSound, "RemoveSound");
    RegisterLuaFunction(IsPlaying, "IsPlaying");
    RegisterLuaFunction(MusicBeat, "MusicBeat");
    RegisterLuaFunction(MusicIsPlaying, "MusicIsPlaying");
    RegisterLuaFunction(AddMusic, "AddMusic");
    RegisterLuaFunction(PlayMusic, "PlayMusic");
    RegisterLuaFunction(StopMusic, "StopMusic");
    RegisterLuaFunction(RemoveMusic, "RemoveMusic");
    RegisterLuaFunction(KillSounds, "KillSounds");
}

void AudioLuaRegisterMuteQueries() {
    RegisterLuaFunction(isSoundMuted, "isSoundMuted");
    RegisterLuaFunction(isMusicMuted, "isMusicMuted");
}

void ConsoleMuteMusic(ConsoleArgs&) {
    if (Audio) Audio->ToggleMusicMute();
}

void ConsoleMuteSound(ConsoleArgs&) {
    if (Audio) Audio->ToggleSoundMute();
}

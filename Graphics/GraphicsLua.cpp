#include "Graphics/GraphicsLua.h"

#include <GL/glew.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "Graphics/Camera.h"
#include "Graphics/Effect.h"
#include "Graphics/MetaPoint.h"
#include "Graphics/RenderTarget.h"
#include "Graphics/TextureAtlas.h"
#include "Graphics/Window.h"
#include "System/Source/LuaGuard.h"
#include "System/Source/LuaState.h"
#include "System/Source/ResourcePath.h"

namespace GraphicsLua {

namespace {

using System::GetArgument;
using System::MetaArgs;

// The clip-space position of a world point: the virtual screen's
// projection times the camera's view (orthographic: no divide).
glm::vec4 WorldToClip(float x, float y) {
    glm::mat4 view = CurrentCamera ? CurrentCamera->View() : glm::mat4(1.0f);
    return VirtualProjection * view * glm::vec4(x, y, 0.0f, 1.0f);
}

int PushNumber(lua_State* L, double value) {
    lua_pushnumber(L, value);
    return 1;
}

int PixelChannel(lua_State* L, int channel) {
    MetaArgs args = ReadLuaArgumentValues(L);
    unsigned char rgba[4] = {0, 0, 0, 0};
    int column = 0, row = 0;
    if (WorldToWindowPixel(GetArgument(args, 0).ToFloat(), GetArgument(args, 1).ToFloat(), column,
                           row)) {
        ReadPresentedPixel(column, row, rgba);
    }
    return PushNumber(L, rgba[channel]);
}

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

// "Player.color": three lines, one number each (red, green, blue).
void ReadPlayerColour(lua_State* L, const std::string& dir) {
    std::FILE* file = System::OpenResource(dir + "Player.color", "rt");
    if (!file) return;
    int rgb[3] = {0, 0, 0};
    char line[16];
    for (int& value : rgb) {
        if (!std::fgets(line, 10, file)) break;
        value = std::atoi(line);
    }
    std::fclose(file);
    std::printf("%i %i %i\n", rgb[0], rgb[1], rgb[2]);
    if (!lua_checkstack(L, 3)) return;
    lua_newtable(L);
    const char* names[3] = {"r", "g", "b"};
    for (int i = 0; i < 3; ++i) {
        lua_pushnumber(L, rgb[i]);
        lua_setfield(L, -2, names[i]);
    }
    lua_setfield(L, -2, "Color");
}

}  // namespace

bool WorldToWindowPixel(float x, float y, int& column, int& row) {
    glm::vec4 c = WorldToClip(x, y);
    float fx = (c.x + 1.0f) * 0.5f;
    float fy = (c.y + 1.0f) * 0.5f;
    if (!(fx >= 0.0f && fx < 1.0f && fy >= 0.0f && fy < 1.0f)) return false;
    // The virtual screen fills the letterboxed area, not the whole window.
    column = LetterboxOffsetX + int(fx * float(GetViewportWidth()));
    row = (WindowHeight - LetterboxOffsetY - GetViewportHeight()) +
          int(fy * float(GetViewportHeight()));
    return column >= 0 && column < WindowWidth && row >= 0 && row < WindowHeight;
}

int GetCamera(lua_State* L) {
    ReadLuaArgumentValues(L);
    PushUserdata(L, CurrentCamera);
    return 1;
}

int GetPostEffect(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    PostProcess* pass = GetPostProcess(GetArgument(args, 0).ToInt());
    PushUserdata(L, pass ? &pass->effect : nullptr);
    return 1;
}

int GetEffect(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    Effect* effect =
        GlobalShaderCache ? GlobalShaderCache->Find(GetArgument(args, 0).ToString()) : nullptr;
    PushUserdata(L, effect);
    return 1;
}

int SetDaPoint(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    if (MetaPoint* point = GetArgument(args, 0).ToObject<MetaPoint>()) {
        std::printf("X: %f\n", point->x);
        std::printf("Y: %f\n", point->y);
    }
    return 0;
}

int SleepGame(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    int ms = GetArgument(args, 0).ToInt();
    // In slices, so that Ctrl+C is not kept waiting for a long sleep: an
    // interrupt wakes the script, which then ends as any other run does.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
    while (!ScriptInterruptPending()) {
        const Clock::time_point now = Clock::now();
        if (now >= end) break;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(end - now, std::chrono::milliseconds(20)));
    }
    return 0;
}

int PointToScreen(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    // It writes through its argument: only a real point is accepted.
    if (MetaPoint* point = GetArgument(args, 0).ToObject<MetaPoint>()) {
        glm::vec4 c = WorldToClip(point->x, point->y);
        point->x = (c.x + 1.0f) * 0.5f;
        point->y = (c.y + 1.0f) * 0.5f;
    }
    return 0;
}

int GetWidth(lua_State* L) {
    ReadLuaArgumentValues(L);
    return PushNumber(L, WindowWidth);
}

int GetHeight(lua_State* L) {
    ReadLuaArgumentValues(L);
    return PushNumber(L, WindowHeight);
}

int GetShaderWidth(lua_State* L) {
    ReadLuaArgumentValues(L);
    return PushNumber(L, 1920);
}

int GetShaderHeight(lua_State* L) {
    ReadLuaArgumentValues(L);
    return PushNumber(L, 1080);
}

int IsFullscreen(lua_State* L) {
    ReadLuaArgumentValues(L);
    return PushNumber(L, FullscreenFlag ? 1 : 0);
}

int CreatePostProcess(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    if (HasGlContext())
        AddPostProcess(GetArgument(args, 0).ToString(), GetArgument(args, 1).ToString());
    return 0;
}

int CreateGraphicsLayer(lua_State* L) {
    ReadLuaArgumentValues(L);
    if (HasGlContext()) NewRenderTarget();
    return 0;
}

int GetXFromScreen(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    if (!CurrentCamera) return PushNumber(L, 0);
    float f = GetArgument(args, 0).ToFloat();
    float width = CurrentCamera->width;
    return PushNumber(L, f * width + (CurrentCamera->position.x - width * 0.5f));
}

int GetYFromScreen(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    if (!CurrentCamera) return PushNumber(L, 0);
    float f = GetArgument(args, 0).ToFloat();
    float height = CurrentCamera->height;
    return PushNumber(L, f * height + (CurrentCamera->position.y - height * 0.5f));
}

int GetPixelValueR(lua_State* L) {
    return PixelChannel(L, 0);
}
int GetPixelValueG(lua_State* L) {
    return PixelChannel(L, 1);
}
int GetPixelValueB(lua_State* L) {
    return PixelChannel(L, 2);
}

int DrawImage(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    if (GlobalTextureAtlas) GlobalTextureAtlas->GetImage(GetArgument(args, 4).ToString());
    return 0;
}

int AddShader(lua_State* L) {
    MetaArgs args = ReadLuaArgumentValues(L);
    if (GlobalShaderCache && HasGlContext()) {
        GlobalShaderCache->Add(GetArgument(args, 0).ToString(), nullptr,
                               GetArgument(args, 1).ToString());
    }
    return 0;
}

int FillResources(lua_State* L) {
    const char* text = LuaTextArgument(L, 1);
    if (!text) return 0;
    std::string folder = text;
    namespace fs = std::filesystem;
    std::vector<std::string> subfolders;
    std::error_code ec;
    for (fs::directory_iterator it(System::ResolvePath(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) subfolders.push_back(it->path().filename().string());
    }
    // A stable order, whatever the file system's.
    std::sort(subfolders.begin(), subfolders.end(), LessNoCase);
    int pushed = 0;
    for (const std::string& sub : subfolders) {
        if (!lua_checkstack(L, 4)) break;
        std::string dir = folder + sub + "/";
        lua_newtable(L);
        for (const std::string& file : ListDirectory(dir, ".png")) {
            std::error_code fileError;
            if (fs::is_directory(System::ResolvePath(dir + file), fileError)) continue;
            lua_pushstring(L, (dir + file).c_str());
            lua_setfield(L, -2, file.c_str());
        }
        ReadPlayerColour(L, dir);
        ++pushed;
    }
    return pushed;
}

int StartProfile(lua_State* L) {
    ReadLuaArgumentValues(L);
    return 0;
}

int EndProfile(lua_State* L) {
    ReadLuaArgumentValues(L);
    return 0;
}

void RegisterAll() {
    RegisterLuaFunction(GetCamera, "GetCamera");
    RegisterLuaFunction(GetPostEffect, "GetPostEffect");
    RegisterLuaFunction(GetEffect, "GetEffect");
    RegisterLuaFunction(SetDaPoint, "SetDaPoint");
    RegisterLuaFunction(SleepGame, "SleepGame");
    RegisterLuaFunction(PointToScreen, "PointToScreen");
    RegisterLuaFunction(GetWidth, "GetWidth");
    RegisterLuaFunction(GetHeight, "GetHeight");
    RegisterLuaFunction(GetShaderWidth, "GetShaderWidth");
    RegisterLuaFunction(GetShaderHeight, "GetShaderHeight");
    RegisterLuaFunction(IsFullscreen, "IsFullscreen");
    RegisterLuaFunction(CreatePostProcess, "CreatePostProcess");
    RegisterLuaFunction(CreateGraphicsLayer, "CreateGraphicsLayer");
    RegisterLuaFunction(GetXFromScreen, "GetXFromScreen");
    RegisterLuaFunction(GetYFromScreen, "GetYFromScreen");
    RegisterLuaFunction(GetPixelValueR, "GetPixelValue_R");
    RegisterLuaFunction(GetPixelValueG, "GetPixelValue_G");
    RegisterLuaFunction(GetPixelValueB, "GetPixelValue_B");
    RegisterLuaFunction(DrawImage, "DrawImage");
    RegisterLuaFunction(AddShader, "AddShader");
    RegisterLuaFunction(FillResources, "FillResources");
    RegisterLuaFunction(StartProfile, "StartProfile");
    RegisterLuaFunction(EndProfile, "EndProfile");
}

}  // namespace GraphicsLua

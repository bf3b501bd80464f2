// The graphics functions offered to Lua as globals.
#pragma once

#include <lua.hpp>

namespace GraphicsLua {

int GetCamera(lua_State* L);
int GetPostEffect(lua_State* L);
int GetEffect(lua_State* L);
int SetDaPoint(lua_State* L);
int SleepGame(lua_State* L);
int PointToScreen(lua_State* L);
int GetWidth(lua_State* L);
int GetHeight(lua_State* L);
int GetShaderWidth(lua_State* L);
int GetShaderHeight(lua_State* L);
int IsFullscreen(lua_State* L);
int CreatePostProcess(lua_State* L);
int CreateGraphicsLayer(lua_State* L);
int GetXFromScreen(lua_State* L);
int GetYFromScreen(lua_State* L);
int GetPixelValueR(lua_State* L);
int GetPixelValueG(lua_State* L);
int GetPixelValueB(lua_State* L);
int DrawImage(lua_State* L);
int AddShader(lua_State* L);
int FillResources(lua_State* L);
int StartProfile(lua_State* L);
int EndProfile(lua_State* L);

// Registers the 23 functions above in their order.
void RegisterAll();

// The window pixel (column from the left, row from the bottom, as GL reads
// it) that shows a world point, through the camera and the letterbox; false
// when the point lies outside the window.
bool WorldToWindowPixel(float x, float y, int& column, int& row);

}  // namespace GraphicsLua

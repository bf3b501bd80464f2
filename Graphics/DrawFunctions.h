// The drawing functions offered to Lua as globals: DrawBox, DrawLine and
// DrawText. They draw through the current renderer (nothing without one).
#pragma once

struct lua_State;

// DrawBox(x, y, w, h, r, g, b): a filled box centred on (x, y) at depth 100.
int LuaDrawBox(lua_State* L);
// DrawLine(x1, y1, x2, y2, r, g, b): a one-pixel line at depth 100.
int LuaDrawLine(lua_State* L);
// DrawText(x, y, text): blue text in the console font ("Consola", 8).
int LuaDrawText(lua_State* L);
// The font DrawText has loaded for the fonts as they are; -1 when it has
// none (not called yet, or the fonts changed since).
int DrawTextFont();

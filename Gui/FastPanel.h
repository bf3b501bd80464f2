// A light textured rectangle outside the panel tree: Lua menus make them
// and the frame draws every one of ScaledPanelList.
#pragma once

#include <cstdint>

#include "Graphics/TextureInfo.h"
#include "System/Source/Components/Meta.h"

class FastPanel : public System::MetaData<FastPanel> {
public:
    FastPanel(float x, float y, int32_t width, int32_t height);
    // The image's texture goes with it when the image owns it.
    ~FastPanel() override;

    // The picture at the panel's place, v flipped like a panel's
    // background, in the renderer's current translation, colour and fill.
    void Draw();

    static int LuaNew(struct lua_State* L);

    int32_t width;
    int32_t height;
    float x;
    float y;
    TextureInfo image;
};

// The fast panels drawn every frame, in order; not owning (the menus that
// made them own them).
using FastPanelList = System::Vector<FastPanel*>;
extern FastPanelList* ScaledPanelList;
// Removes a fast panel from the list (its owner is deleting it).
void ForgetFastPanel(FastPanel* panel);
// Fast panels that scripts made (FastPanel:new(), a menu's light panel)
// belong to the GUI: they outlive their menus and a script may keep one
// across levels, so DeleteScriptFastPanels frees them at GUI shutdown.
FastPanel* TrackScriptFastPanel(FastPanel* panel);
void DeleteScriptFastPanels();

// Two panels that Lua menus make: an element that follows the mouse while
// the button is held on it, and the HUD's crowd of fans. The crowd panel
// draws its background image (which ShakeHud shakes) and, in front of it,
// small fan images whose number scripts raise and lower; fans bob at
// random, and fans that leave fade out while drifting sideways. Evil mode
// gives new fans one other image, laid out in a line.
#pragma once

#include "Gui/GuiPanel.h"

class GuiDraggableElement : public GuiPanel {
public:
    GuiDraggableElement(int32_t width, int32_t height, float x, float y);

    void OnMouseDown(int x, int y) override;
    void OnMouseUp() override;
    // While dragging: the element's place at the press plus the pointer's
    // whole movement since, rounded to whole thousandths. Measured from the
    // press, not move by move, so no rounding piles up.
    void OnMouseMove(int x, int y) override;

    bool dragging = false;
    int32_t pressX = 0;  // the pointer at the press, viewport pixels
    int32_t pressY = 0;
    float startX = 0.0f;  // the element at the press, thousandths
    float startY = 0.0f;
};

struct FanRecord {
    TextureInfo image;  // the atlas's; never owns its texture
    float homeX = 0.0f;
    float homeY = 0.0f;
    float x = 0.0f;
    float y = 0.0f;
    int32_t index = 0;  // the count when the fan was made
    float bobPhase = 0.0f;
    bool bobbing = false;
    bool staying = true;
    uint8_t alpha = 255;
    float sidewaysSpeed = 0.0f;  // pixels per second while leaving
};

class GuiFans : public GuiPanel {
public:
    GuiFans(int32_t width, int32_t height, float x, float y);

    const char* GetTypeName() const override;
    // Only the shake: a fans panel reads no messages and updates no
    // children.
    void Update() override;
    // The shaken background, then every fan, then the fans' movements.
    void DrawBackground() override;

    // Above 500: nothing; below 0: 0. More fans arrive one by one; fewer
    // mark the newest staying fans as leaving.
    void SetCount(int n);
    void AddFans() { SetCount(count + 3); }
    void RemoveFans();

    static void RegisterMethods();
    static int LuaNew(struct lua_State* L);

    int32_t count = 0;
    System::Vector<FanRecord> fans;
    float fillLevel = 1.0f;
    float shakeX = 0.0f;
    float shakeY = 0.0f;
    int32_t fanSize = 10;
    bool evil = false;
    float shakeTime = 0.0f;
    float bobTimer = 0.0f;

private:
    void AddOneFan();
    void PlaceNormal(float& fanX, float& fanY);
    void PlaceEvil(float& fanX, float& fanY);
    // Moves one fan for this frame; false when it has faded out and goes.
    bool Move(FanRecord& fan, float t, float frameTime);
};

// A panel that shows one line of text in a chosen font, size and colour,
// centred on the panel's position or starting there, and that can size
// itself to its text. Buttons build on it.
#pragma once

#include "Gui/GuiPanel.h"

class GuiLabel : public GuiPanel {
public:
    GuiLabel(int32_t width, int32_t height, float x, float y);

    const char* GetTypeName() const override;
    const char* GetClassName() const override;
    void Update() override;
    // Draws the text (never the children) and sizes the label to it when
    // asked; runs under the parent's translation.
    void Draw() override;
    void SetProperty(std::string_view key, DataNode* value) override;

    // ---- Operations after the panel's last slot, in order.
    // text := text; textWidth := its width in the label's font (0 without).
    virtual void ApplyText(std::string_view text);
    // fontName := name; a non-zero size is kept as fontSize. A font is asked
    // for only with a name and a non-zero size (given or kept); a failed
    // request leaves no font (-1).
    virtual void ApplyFont(std::string_view name, int32_t size);
    virtual void SetCenter(bool centred);

    static void RegisterMethods();
    static int LuaNew(struct lua_State* L);
    // The factory's row: a 0 x 0 label at (0, 0).
    static GuiPanel* Create();

    // ---- Fields, in order.
    System::String text;
    int32_t textWidth = 0;
    int32_t fontSize = 0;
    System::String fontName;
    int32_t fontIndex = -1;
    Color textColor{0, 0, 0, 255};
    bool centred = true;
    bool scaleWidthToText = false;
    bool scaleHeightToText = false;
};

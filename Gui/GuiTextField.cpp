#include "Gui/GuiTextField.h"

#include <string>

#include "Graphics/Font.h"
#include "Graphics/Renderer.h"
#include "System/Source/DataNode.h"

GuiTextField::GuiTextField(int32_t w, int32_t h, float px, float py) : GuiPanel(w, h, px, py) {
    interactive = true;
    font = GetFont("Arial", 16);
}

const char* GuiTextField::GetClassName() const {
    return "GuiTextField";
}

GuiPanel* GuiTextField::Create() {
    return new GuiTextField(0, 0, 0.0f, 0.0f);
}

void GuiTextField::SetText(std::string_view newText) {
    text = System::MakeString(newText);
    cursor = int32_t(text.size());
}

void GuiTextField::Edit(int character) {
    if (cursor > int32_t(text.size())) cursor = int32_t(text.size());
    if (character == kGuiCharDelete) {
        if (text.empty()) return;
        if (cursor > 0) --cursor;
        text.erase(size_t(cursor), 1);
        return;
    }
    text.insert(text.begin() + cursor, char(character));
    ++cursor;
}

void GuiTextField::MoveCursor(int key) {
    if (key == kGuiKeyLeft && cursor > 0) --cursor;
    if (key == kGuiKeyRight && cursor < int32_t(text.size())) ++cursor;
}

void GuiTextField::OnChar(int character) {
    if (HasFocus()) Edit(character);
}

void GuiTextField::OnSpecialKeyDown(int key) {
    if (HasFocus()) MoveCursor(key);
}

size_t GuiTextField::HiddenLeadingCharacters() const {
    const Font* f = GetFontByIndex(font);
    // In 64 bits: neither a wide field nor a long text can overflow it.
    const int64_t room = (int64_t(GuiPixelsX(width / 2)) - border) * 2;
    const int64_t excess = MeasureText(f, text.c_str()) - room;
    if (excess <= 0) return 0;
    size_t hidden = 0;
    int64_t dropped = 0;
    while (hidden < text.size() && dropped < excess) {
        dropped += f ? int32_t(f->glyphs[static_cast<unsigned char>(text[hidden])].advanceX) : 0;
        ++hidden;
    }
    return hidden;
}

void GuiTextField::Draw() {
    if (!Active() || !IsVisible() || !CurrentRenderer) return;
    const int32_t cx = GuiPixelsX(x);
    const int32_t cy = GuiPixelsY(y);
    const int32_t hw = GuiPixelsX(width / 2);
    const int32_t hh = GuiPixelsY(height / 2);
    const Font* f = GetFontByIndex(font);
    Renderer& r = *CurrentRenderer;
    r.SetFont(font);
    r.SetTextFlag(false);

    const size_t hidden = HiddenLeadingCharacters();
    const std::string shown(text.c_str() + hidden, text.size() - hidden);
    r.SetColor(textColour.r, textColour.g, textColour.b, textColour.a);
    r.DrawText(cx - hw + 3, cy - hh / 2, shown.c_str());

    // The bar sits under the character at the cursor as drawn: the hidden
    // leading characters take no room.
    int32_t w = 0;
    for (size_t i = hidden; i < size_t(cursor) && i < text.size(); ++i) {
        w += f ? int32_t(f->glyphs[static_cast<unsigned char>(text[i])].advanceX) : 0;
    }
    // Along the lower edge inside the box as drawn: a box drawn less tall
    // than the field (the console's input) ends above the field's edge.
    const int32_t bar = f ? int32_t(f->glyphs['2'].advanceX) : 0;
    const int32_t lower = cy + DrawnHalfHeight() - border;
    r.SetColor(cursorColour.r, cursorColour.g, cursorColour.b, cursorColour.a);
    r.FillRect(cx - hw + w, lower, cx - hw + w + bar, lower - 2);
}

// ---- The console's input line.

void TabCatchTextField::Signal(const char* name) {
    SendToItems(MakeNode(name));
}

void TabCatchTextField::OnChar(int character) {
    if (character == kGuiCharEnter) {
        Signal("Submit");
        Signal("FlagChange");
        return;
    }
    Signal("FlagChange");
    GuiTextField::OnChar(character);
}

void TabCatchTextField::OnSpecialKeyDown(int key) {
    if (key == kGuiKeyUp) Signal("KeyUp");
    if (key == kGuiKeyDown) Signal("KeyDown");
    GuiTextField::OnSpecialKeyDown(key);
}

#include "Gui/GuiLabel.h"

#include <cmath>
#include <string>

#include "Graphics/Font.h"
#include "Graphics/Renderer.h"
#include "System/Source/DataNode.h"

GuiLabel::GuiLabel(int32_t w, int32_t h, float px, float py) : GuiPanel(w, h, px, py) {}

const char* GuiLabel::GetTypeName() const {
    return System::TypeName<GuiLabel>::name;
}

const char* GuiLabel::GetClassName() const {
    return "GuiLabel";
}

void GuiLabel::Update() {
    GuiPanel::Update();
}

void GuiLabel::ApplyText(std::string_view newText) {
    text = System::MakeString(newText);
    textWidth = MeasureText(GetFontByIndex(fontIndex), text.c_str());
}

void GuiLabel::ApplyFont(std::string_view newName, int32_t size) {
    fontName = System::MakeString(newName);
    // A size given once is kept, so that "size" before "font" in a layout
    // still gives a font of that size; there is no font of size 0 to ask
    // for, and no font without a name.
    if (size != 0) fontSize = size;
    if (fontName.empty() || fontSize == 0) return;
    fontIndex = GetFont(std::string(fontName.data(), fontName.size()), fontSize);
}

void GuiLabel::SetCenter(bool centre) {
    centred = centre;
}

void GuiLabel::Draw() {
    // An index the registry does not know (a font since cleared) draws
    // nothing, like -1.
    const Font* font = GetFontByIndex(fontIndex);
    if (!font || !CurrentRenderer) return;
    // In doubles: a text or a font of any size stays within the int range.
    if (scaleWidthToText) {
        const double w = double(MeasureText(font, text.c_str())) + 10.0;
        width = ClampGuiLength(w * 1000.0 / 800.0 + 0.5);
    }
    if (scaleHeightToText) {
        const double h = std::trunc(double(font->size)) * 3.0;
        height = ClampGuiLength(h * 1000.0 / 800.0 + 0.5);
    }
    int32_t cx = GuiPixelsX(x);
    int32_t cy = GuiPixelsY(y);
    const int32_t hh = GuiPixelsY(height / 2);
    Renderer& r = *CurrentRenderer;
    r.SetColor(textColor.r, textColor.g, textColor.b, textColor.a);
    r.SetFont(fontIndex);
    if (centred) {
        cx -= textWidth / 2;
        cy -= hh / 2;
    }
    r.DrawText(cx, cy, text.c_str());
}

void GuiLabel::SetProperty(std::string_view key, DataNode* value) {
    GuiPanel::SetProperty(key, value);
    if (key == "font") {
        const System::String fontValue = GetNodeString("", value);
        ApplyFont(std::string_view(fontValue.data(), fontValue.size()), fontSize);
    } else if (key == "size") {
        const System::String keptName = fontName;
        ApplyFont(std::string_view(keptName.data(), keptName.size()), GetNodeWholeNumber("", value));
    } else if (key == "text" || key == "SetText") {
        const System::String textValue = GetNodeString("", value);
        ApplyText(std::string_view(textValue.data(), textValue.size()));
    } else if (key == "center") {
        SetCenter(GetNodeBool("", value));
    } else if (key == "textColor") {
        textColor = GetNodeColor("", value);
    }
}

GuiPanel* GuiLabel::Create() {
    return new GuiLabel(0, 0, 0.0f, 0.0f);
}

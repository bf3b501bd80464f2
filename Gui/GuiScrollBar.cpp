#include "Gui/GuiScrollBar.h"

#include <cmath>

#include "Graphics/Renderer.h"
#include "Graphics/Window.h"
#include "System/Source/DataNode.h"

// ---- Scaling bar.

GuiScalingBar::GuiScalingBar() : GuiPanel(0, 0, 0.0f, 0.0f) {}

const char* GuiScalingBar::GetClassName() const {
    return "GuiScalingBar";
}

void GuiScalingBar::Draw() {
    if (!Active() || !IsVisible() || !CurrentRenderer) return;
    const int32_t px = GuiPixelsX(x);
    const int32_t py = GuiPixelsY(y);
    const int32_t hw = GuiPixelsX(barWidth / 2);
    const int32_t hh = GuiPixelsY(barHeight / 2);
    Renderer& r = *CurrentRenderer;
    r.SetColor(fillColor.r, fillColor.g, fillColor.b, fillColor.a);
    // A scale of any size stretches the bar as far as an int reaches.
    r.FillRect(px - hw, py - hh, SafeDoubleToInt(double(px) + double(hw) * scale / 100.0), py + hh);
}

void GuiScalingBar::SetProperty(std::string_view key, DataNode* value) {
    GuiPanel::SetProperty(key, value);
    if (key == "ScaleBar") {
        // Any number: a layout's 100 is an int, a script's a double.
        const bool number = value && (value->type == kDataInt || value->type == kDataFloat ||
                                      value->type == kDataDouble);
        const float percent = SafeDoubleToFloat(GetNodeNumber("", value));
        if (!number) {
            scale = 0.0f;
        } else if (percent >= 0.0f) {
            // A NaN fails the test as well and leaves the scale alone.
            scale = percent;
        }
    } else if (key == "barWidth") {
        barWidth = ClampGuiLength(GetNodeNumber("", value));
    } else if (key == "barHeight") {
        barHeight = ClampGuiLength(GetNodeNumber("", value));
    }
}

GuiPanel* GuiScalingBar::Create() {
    return new GuiScalingBar();
}

// ---- Scroll bar.

int32_t DefaultScrollTrack() {
    return SafeDoubleToInt(double(GetViewportHeight()) * 0.598 + 0.5);
}

GuiScrollBar::GuiScrollBar(int32_t w, int32_t h, float px, float py)
    : GuiPanel(w, h, px, py), trackLength(DefaultScrollTrack()) {
    interactive = true;
    layer += 1 + (parent ? parent->GetEffectiveLayer() : 0);
}

int32_t GuiScrollBar::KnobPixels() const {
    return GuiPixelsY(height);
}

float GuiScrollBar::FractionAt(int32_t p) const {
    const int32_t half = KnobPixels() / 2;
    const int32_t room = trackLength - KnobPixels();
    if (room <= 0) return 0.0f;
    return float(p - half) / float(room) + 0.005f;
}

void GuiScrollBar::PlaceKnob(int32_t p) {
    const double viewport = GetViewportHeight();
    if (viewport <= 0.0) return;
    y = float(SafeDoubleToInt(double(p) * 1000.0 / viewport + 0.5));
}

void GuiScrollBar::Report(float fraction) {
    DataNode* tree = MakeNodeWithFloat("ScrollBar", "Index", fraction);
    SendToItems(tree);
}

void GuiScrollBar::Draw() {
    if (!Active() || !IsVisible() || !CurrentRenderer) return;
    const int32_t cx = GuiPixelsX(x);
    const int32_t cy = GuiPixelsY(y);
    const int32_t hw = GuiPixelsX(width / 2);
    const int32_t hh = GuiPixelsY(height / 2);
    Renderer& r = *CurrentRenderer;
    r.SetColor(fillColor.r, fillColor.g, fillColor.b, fillColor.a);
    r.FillRect(cx - hw, cy - hh, cx + hw, cy + hh);
}

void GuiScrollBar::OnMouseDown(int, int py) {
    dragging = true;
    pressY = py;
    knobYAtPress = GuiPixelsY(y);
}

void GuiScrollBar::OnMouseUp() {
    dragging = false;
}

void GuiScrollBar::OnMouseMove(int, int py) {
    if (!dragging || !Active()) return;
    const int32_t half = KnobPixels() / 2;
    const int32_t upper = trackLength - half;
    int32_t p = SafeDoubleToInt(double(py) - double(pressY) + double(knobYAtPress));
    if (p < half) p = half;
    if (p >= upper) p = upper - 1;
    Report(FractionAt(p));
    PlaceKnob(p);
}

void GuiScrollBar::HandleMessage(DataNode* message, GuiPanel*) {
    if (!message || message->name != "MoveBar") return;
    const DataNode* first = message->firstChild;
    const float index = SafeDoubleToFloat(GetNodeNumber("", first));
    // A fraction that is no number would put the knob and the page nowhere.
    if (!std::isfinite(index)) return;
    const int32_t half = KnobPixels() / 2;
    int32_t p = SafeDoubleToInt(double(trackLength - KnobPixels()) * index + half);
    if (p >= trackLength - half) p = trackLength - half - 1;
    PlaceKnob(p);
    Report(index);
}

// ---- Scroll container.

GuiScrollContainer::GuiScrollContainer(float px, float py) : GuiPanel(10, 598, px, py) {
    interactive = true;
    bar = new GuiScrollBar(10, 598, 5.0f, 299.0f);
    bar->StoreFillColor(255, 255, 255, 255);
    AddChild(bar);
}

void GuiScrollContainer::Update() {
    GuiPanel::Update();
}

void GuiScrollContainer::AddItem(GuiPanel* item) {
    GuiPanel::AddItem(item);
    if (bar && item) bar->AddItem(item);
}

void GuiScrollContainer::HandleMessage(DataNode* message, GuiPanel* sender) {
    GuiPanel::HandleMessage(message, sender);
    if (bar && message && message->name == "MoveBar") bar->HandleMessage(message, sender);
}

void GuiScrollContainer::ForgetPanel(GuiPanel* dying) {
    if (bar == dying) bar = nullptr;
    GuiPanel::ForgetPanel(dying);
}

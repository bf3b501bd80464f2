// Three small bars: a scaling bar whose filled length follows a percentage
// (health, progress), a vertical scroll knob dragged along a track that
// reports its position as a fraction to its items, and a scroll container,
// a narrow panel that owns one scroll bar along its side.
#pragma once

#include "Gui/GuiPanel.h"

class GuiScalingBar : public GuiPanel {
public:
    GuiScalingBar();

    const char* GetClassName() const override;
    // Fills from the bar's left edge to scale percent of its full width.
    void Draw() override;
    // "ScaleBar" (float percentage; a negative value is ignored),
    // "barWidth", "barHeight" (thousandths), and the panel's keys.
    void SetProperty(std::string_view key, DataNode* value) override;

    static GuiPanel* Create();

    float scale = 100.0f;
    int32_t barWidth = 0;
    int32_t barHeight = 0;
};

// The knob is the panel itself: y is its centre, height its length. The
// track runs from the parent's top (pixel 0) down to trackLength pixels.
class GuiScrollBar : public GuiPanel {
public:
    GuiScrollBar(int32_t width, int32_t height, float x, float y);

    void Draw() override;
    void OnMouseDown(int x, int y) override;
    void OnMouseUp() override;
    void OnMouseMove(int x, int y) override;
    // Only "MoveBar" (its first entry the fraction 0-1) is handled: the
    // knob moves there and the items hear "ScrollBar" with that fraction.
    void HandleMessage(DataNode* message, GuiPanel* sender) override;

    // The fraction of the track above the knob for a knob centre p in
    // pixels; 0 when the track is no longer than the knob.
    float FractionAt(int32_t p) const;
    int32_t KnobPixels() const;

    bool dragging = false;
    int32_t trackLength = 0;
    int32_t pressY = 0;
    int32_t knobYAtPress = 0;

private:
    void PlaceKnob(int32_t p);
    void Report(float fraction);
};

class GuiScrollContainer : public GuiPanel {
public:
    GuiScrollContainer(float x, float y);

    void Update() override;
    // The item hears the bar's "ScrollBar" messages too.
    void AddItem(GuiPanel* item) override;
    // "MoveBar" goes on to the bar.
    void HandleMessage(DataNode* message, GuiPanel* sender) override;
    void ForgetPanel(GuiPanel* dying) override;

    int32_t reserved1 = 0;
    int32_t contentSize = 598;
    int32_t reserved2 = 0;
    int32_t pageSize = 10;
    GuiScrollBar* bar = nullptr;  // owned as a child
};

// The track length of a bar that no container sizes: the container's.
int32_t DefaultScrollTrack();

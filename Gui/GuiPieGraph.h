// A pie chart of named, coloured values (slices) with a legend below it:
// each value's share of the total as a sector, and per value its name and
// percentage. The profiler feeds one every frame; layout files may make
// one ("GuiPieGraph"), and the messages "SetRadius" and "AddValue" set its
// radius and add values. Nothing is drawn while the frame time is 0 (only
// the profiler sets it) or the values add up to 0.
#pragma once

#include <string_view>

#include "Gui/GuiPanel.h"
#include "System/Source/Color.h"
#include "System/Source/PerformanceGraph.h"

struct PieSlice {
    System::String name;
    float value = 0.0f;
    Color colour;
};

class GuiPieGraph : public GuiPanel, public ProfileGraph {
public:
    // A 0 x 0 panel at (x, y), thousandths of the viewport.
    GuiPieGraph(float x, float y);

    const char* GetClassName() const override;
    void Draw() override;
    void HandleMessage(DataNode* message, GuiPanel* sender) override;

    // The first slice of that name (exact, case-sensitive) takes the value
    // and keeps its colour; without one a slice is appended.
    void SetValue(std::string_view name, float value, Color colour) override;

    const System::Vector<PieSlice>& Values() const { return values_; }
    // The first slice of that name, or null.
    const PieSlice* FindSlice(std::string_view name) const;

    int GetRadius() const { return radius_; }
    void SetRadius(int radius) { radius_ = radius; }
    float GetFrameTime() const { return frameTime_; }
    void SetFrameTime(float seconds) override { frameTime_ = seconds; }

    // Panel settings, as the profiler sets them.
    float GetX() const { return x; }
    float GetY() const { return y; }
    Color GetFillColour() const { return fillColor; }
    void SetFillColour(Color colour) { fillColor = colour; }
    void SetName(std::string_view newName) { name = System::MakeString(newName); }
    int GetLayer() const { return layer; }
    void SetLayer(int newLayer) { layer = newLayer; }

    // The factory's row: a graph at (0, 0).
    static GuiPanel* Create();
    // The profiler's graph, placed and coloured as the profiler shows it.
    static ProfileGraph* CreateForProfiler();

private:
    int radius_ = 0;
    float frameTime_ = 0.0f;
    System::Vector<PieSlice> values_;
};

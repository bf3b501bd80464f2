// The pie graph's data: named, coloured values (slices) in insertion order
// and the total they stand for. The profiler feeds one every frame. The
// widget's panel part (placement, drawing, messages) builds on this data;
// the fields under "Panel settings" belong to that part.
#pragma once

#include <string_view>

#include "System/Source/Color.h"
#include "System/Source/PoolAllocator.h"

struct PieSlice {
    System::String name;
    float value = 0.0f;
    Color colour;
};

class GuiPieGraph : public System::PoolObject {
public:
    // The graph's position, in thousandths of the viewport.
    GuiPieGraph(float x, float y) : x_(x), y_(y) {}
    GuiPieGraph(const GuiPieGraph&) = delete;
    GuiPieGraph& operator=(const GuiPieGraph&) = delete;

    // The first slice of that name (exact, case-sensitive) takes the value
    // and keeps its colour; without one a slice is appended.
    void SetValue(std::string_view name, float value, Color colour);

    const System::Vector<PieSlice>& Values() const { return values_; }
    // The first slice of that name, or null.
    const PieSlice* FindSlice(std::string_view name) const;

    int GetRadius() const { return radius_; }
    void SetRadius(int radius) { radius_ = radius; }
    // The value the whole pie stands for; nothing is drawn while it is 0.
    float GetFrameTime() const { return frameTime_; }
    void SetFrameTime(float seconds) { frameTime_ = seconds; }

    // Panel settings.
    float GetX() const { return x_; }
    float GetY() const { return y_; }
    Color GetFillColour() const { return fillColour_; }
    void SetFillColour(Color colour) { fillColour_ = colour; }
    const System::String& GetName() const { return name_; }
    void SetName(std::string_view name) { name_ = System::MakeString(name); }
    int GetLayer() const { return layer_; }
    void SetLayer(int layer) { layer_ = layer; }

private:
    int radius_ = 0;
    float frameTime_ = 0.0f;
    System::Vector<PieSlice> values_;

    float x_;
    float y_;
    Color fillColour_;
    System::String name_;
    int layer_ = 0;
};

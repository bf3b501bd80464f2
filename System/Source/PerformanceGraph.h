// The frame profiler and the FPS counter.
//
// The profiler times named, coloured sections of the frame: opening a
// section closes the one before it, so the sections of a frame follow each
// other without gaps. Each section keeps one slice of the profiler's pie
// graph holding the duration of its latest run; the graph's total is the
// frame time averaged over about 32 frames.
//
// The FPS counter counts frames and, ten times a second, turns the count
// into a rate and the text "FPS: <rate>" for the "FPS" panel.
#pragma once

#include <string_view>

#include "System/Source/Color.h"
#include "System/Source/PoolAllocator.h"

class PerformanceGraph;

// What the profiler draws into: one slice per section and the averaged
// frame time. The GUI's pie graph is one; the profiler knows no more of it.
class ProfileGraph {
public:
    // Whoever deletes the graph (a script may remove it by name), the
    // profiler that draws into it learns of it here and stops drawing.
    virtual ~ProfileGraph();
    // The first slice of that name takes the value and keeps its colour;
    // without one a slice is appended.
    virtual void SetValue(std::string_view name, float value, Color colour) = 0;
    virtual void SetFrameTime(float seconds) = 0;

private:
    friend class PerformanceGraph;
    PerformanceGraph* profiler_ = nullptr;
};

class PerformanceGraph : public System::PoolObject {
public:
    // Makes the graph through the maker hook and hands it to the attach hook
    // (the GUI root then owns it); without an attach hook the profiler keeps
    // and frees it. Without a maker there is no graph.
    PerformanceGraph();
    ~PerformanceGraph();
    PerformanceGraph(const PerformanceGraph&) = delete;
    PerformanceGraph& operator=(const PerformanceGraph&) = delete;

    // Closes the open section, if any (its duration becomes its slice's
    // value), and opens the named one.
    void BeginSection(std::string_view name, Color colour);
    // Once per frame: closes the frame's last section and folds the measured
    // frame time (before scaling and clamping) into the average.
    void UpdatePerformanceGraph(double measuredDt);

    // Null when there is no graph or it was deleted since: the profiler then
    // draws no graph.
    ProfileGraph* GetGraph() const { return graph_; }
    float GetSmoothedFrameTime() const { return smoothedFrameTime_; }
    bool IsSectionOpen() const { return sectionOpen_; }

    // The profiler alive now (the latest constructed), or null.
    static PerformanceGraph* Current();

private:
    friend class ProfileGraph;
    ProfileGraph* graph_ = nullptr;
    bool ownsGraph_ = true;
    System::String sectionName_;
    Color sectionColour_{0, 0, 0, 255};
    bool sectionOpen_ = false;
    double sectionStart_ = 0.0;  // seconds of EngineTime()
    float smoothedFrameTime_ = 0.0f;
};

// Opens a section of the live profiler; does nothing while there is none.
void BeginProfileSection(std::string_view name, Color colour);

// Where a new profiler's graph goes: the GUI root makes it its child and
// owns it from then on. Null (the default) leaves the graph to the profiler.
using GraphAttachHook = void (*)(ProfileGraph* graph);
void SetGraphAttachHook(GraphAttachHook hook);

// Makes the profiler's graph, set up as the profiler shows it; the wiring
// installs the GUI's pie graph. Null (the default): no graph.
using GraphMakerHook = ProfileGraph* (*)();
void SetGraphMakerHook(GraphMakerHook hook);

// Where the FPS text goes (the "FPS" panel's text). Null (the default)
// sends it nowhere.
using FpsTextHook = void (*)(const char* text);
void SetFpsTextHook(FpsTextHook hook);

class FpsCounter {
public:
    // Counts one frame; refreshes the rate and the text once more than
    // 0.1 s has passed since the last refresh (the first call starts the
    // interval). Returns the last computed rate.
    double Update();

    double GetRate() const { return rate_; }
    int GetFramesCounted() const { return frames_; }
    // The last text sent to the FPS hook; "" before the first refresh.
    const char* GetText() const { return text_; }

private:
    int frames_ = 0;
    bool started_ = false;
    double lastRefresh_ = 0.0;
    double rate_ = 0.0;
    char text_[64] = "";
};

// The engine-wide FPS counter, updated once per frame by the main loop.
FpsCounter& EngineFpsCounter();
double UpdateFrameStatistics();

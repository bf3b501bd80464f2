#include "System/Source/PerformanceGraph.h"

#include <cstdio>

#include "System/Source/Components/Meta.h"
#include "System/Source/EngineClock.h"

namespace {

PerformanceGraph* g_current = nullptr;
GraphAttachHook g_attachHook = nullptr;
FpsTextHook g_fpsTextHook = nullptr;

// More than this since the last refresh (0.1 in single precision) refreshes
// the FPS text.
constexpr double kFpsInterval = 0.10000000149011612;

}  // namespace

PerformanceGraph::PerformanceGraph() : graph_(new GuiPieGraph(900.0f, 130.0f)) {
    if (GuiPieGraph* graph = GetGraph()) {
        graph->SetRadius(58);
        graph->SetFillColour(Color(255, 0, 0, 255));
        graph->SetName("PerformanceGraph");
        graph->SetLayer(100);
        if (g_attachHook) {
            g_attachHook(graph);
            ownsGraph_ = false;
        }
    }
    g_current = this;
}

PerformanceGraph::~PerformanceGraph() {
    if (ownsGraph_) delete GetGraph();
    if (g_current == this) g_current = nullptr;
}

PerformanceGraph* PerformanceGraph::Current() {
    return g_current;
}

void PerformanceGraph::BeginSection(std::string_view name, Color colour) {
    double now = EngineTime();
    GuiPieGraph* graph = GetGraph();
    if (sectionOpen_ && graph) {
        graph->SetValue(sectionName_, SafeDoubleToFloat(now - sectionStart_), sectionColour_);
    }
    sectionStart_ = now;
    sectionName_.assign(name.data(), name.size());
    sectionColour_ = colour;
    sectionOpen_ = true;
}

void PerformanceGraph::UpdatePerformanceGraph(double measuredDt) {
    BeginSection("", Color(0, 0, 0, 0));
    sectionOpen_ = false;
    float step = SafeDoubleToFloat(measuredDt);
    smoothedFrameTime_ = (smoothedFrameTime_ * 31.0f + step) * 0.03125f;
    if (GuiPieGraph* graph = GetGraph()) graph->SetFrameTime(smoothedFrameTime_);
}

void BeginProfileSection(std::string_view name, Color colour) {
    if (g_current) g_current->BeginSection(name, colour);
}

void SetGraphAttachHook(GraphAttachHook hook) {
    g_attachHook = hook;
}

void SetFpsTextHook(FpsTextHook hook) {
    g_fpsTextHook = hook;
}

double FpsCounter::Update() {
    // One clock read per frame: the refresh time is the time the elapsed
    // interval was measured to.
    double now = EngineTime();
    if (!started_) {
        started_ = true;
        lastRefresh_ = now;
    }
    double elapsed = now - lastRefresh_;
    if (elapsed > kFpsInterval) {
        rate_ = frames_ / elapsed;
        std::snprintf(text_, sizeof text_, "FPS: %f", rate_);
        if (g_fpsTextHook) g_fpsTextHook(text_);
        frames_ = 0;
        lastRefresh_ = now;
    }
    ++frames_;
    return rate_;
}

FpsCounter& EngineFpsCounter() {
    static FpsCounter counter;
    return counter;
}

double UpdateFrameStatistics() {
    return EngineFpsCounter().Update();
}

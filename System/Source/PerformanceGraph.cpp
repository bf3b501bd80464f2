#include "System/Source/PerformanceGraph.h"

#include <cstdio>

#include "System/Source/Components/Meta.h"
#include "System/Source/EngineClock.h"

namespace {

PerformanceGraph* g_current = nullptr;
GraphAttachHook g_attachHook = nullptr;
GraphMakerHook g_makerHook = nullptr;
FpsTextHook g_fpsTextHook = nullptr;

// More than this since the last refresh (0.1 in single precision) refreshes
// the FPS text.
constexpr double kFpsInterval = 0.10000000149011612;

}  // namespace

PerformanceGraph::PerformanceGraph() {
    graph_ = g_makerHook ? g_makerHook() : nullptr;
    if (graph_) {
        graph_->profiler_ = this;
        if (g_attachHook) {
            g_attachHook(graph_);
            ownsGraph_ = false;
        }
    }
    g_current = this;
}

PerformanceGraph::~PerformanceGraph() {
    if (ownsGraph_) {
        delete graph_;
    } else if (graph_) {
        graph_->profiler_ = nullptr;
    }
    if (g_current == this) g_current = nullptr;
}

ProfileGraph::~ProfileGraph() {
    if (profiler_) profiler_->graph_ = nullptr;
}

PerformanceGraph* PerformanceGraph::Current() {
    return g_current;
}

void PerformanceGraph::BeginSection(std::string_view name, Color colour) {
    double now = EngineTime();
    if (sectionOpen_ && graph_) {
        graph_->SetValue(sectionName_, SafeDoubleToFloat(now - sectionStart_), sectionColour_);
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
    if (graph_) graph_->SetFrameTime(smoothedFrameTime_);
}

void BeginProfileSection(std::string_view name, Color colour) {
    if (g_current) g_current->BeginSection(name, colour);
}

void SetGraphAttachHook(GraphAttachHook hook) {
    g_attachHook = hook;
}

void SetGraphMakerHook(GraphMakerHook hook) {
    g_makerHook = hook;
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

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Game/GameHooks.h"
#include "Gui/GuiPieGraph.h"
#include "System/Source/EngineClock.h"
#include "System/Source/PerformanceGraph.h"

namespace {

double g_now = 0.0;
double FakeClock() {
    return g_now;
}

std::vector<std::string> g_fpsTexts;
void RecordFpsText(const char* text) {
    g_fpsTexts.push_back(text);
}

GuiPieGraph* g_attached = nullptr;
void RecordAttach(ProfileGraph* graph) {
    g_attached = static_cast<GuiPieGraph*>(graph);
}

// The graph that the game's wiring gives the profiler.
GuiPieGraph* GraphOf(const PerformanceGraph& profiler) {
    return static_cast<GuiPieGraph*>(profiler.GetGraph());
}

class ProfilerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_now = 0.0;
        g_fpsTexts.clear();
        g_attached = nullptr;
        SetEngineClock(FakeClock);
        InstallGameHooks();
    }
    void TearDown() override {
        SetEngineClock(nullptr);
        SetFpsTextHook(nullptr);
        SetGraphAttachHook(nullptr);
    }
};

TEST_F(ProfilerTest, GraphIsSetUpAndOwnedByTheProfilerWithoutARoot) {
    {
        PerformanceGraph profiler;
        EXPECT_EQ(PerformanceGraph::Current(), &profiler);
        GuiPieGraph* graph = GraphOf(profiler);
        ASSERT_NE(graph, nullptr);
        EXPECT_EQ(graph->GetX(), 900.0f);
        EXPECT_EQ(graph->GetY(), 130.0f);
        EXPECT_EQ(graph->GetRadius(), 58);
        EXPECT_EQ(graph->GetFillColour(), Color(255, 0, 0, 255));
        EXPECT_EQ(graph->GetName(), "PerformanceGraph");
        EXPECT_EQ(graph->GetLayer(), 100);
        EXPECT_EQ(graph->GetFrameTime(), 0.0f);
        EXPECT_TRUE(graph->Values().empty());
        EXPECT_FALSE(profiler.IsSectionOpen());
    }
    EXPECT_EQ(PerformanceGraph::Current(), nullptr);
    // Sections without a profiler go nowhere.
    BeginProfileSection("Input Manager", Color());
}

TEST_F(ProfilerTest, AttachedGraphBelongsToTheRoot) {
    SetGraphAttachHook(RecordAttach);
    GuiPieGraph* graph = nullptr;
    {
        PerformanceGraph profiler;
        graph = GraphOf(profiler);
        EXPECT_EQ(g_attached, graph);
    }
    // The profiler is gone; the graph is still the root's to free.
    graph->SetValue("still here", 1.0f, Color());
    delete graph;
}

TEST_F(ProfilerTest, SectionsRecordConsecutiveDurations) {
    PerformanceGraph profiler;
    GuiPieGraph& graph = *GraphOf(profiler);
    const Color red(255, 0, 0, 255), blue(0, 0, 255, 255);

    g_now = 1.0;
    profiler.BeginSection("Input Manager", red);
    EXPECT_TRUE(graph.Values().empty());  // nothing to close yet
    g_now = 1.25;
    BeginProfileSection("Components", blue);  // through the live profiler
    g_now = 1.75;
    profiler.BeginSection("Input Manager", blue);  // same slice, colour kept
    g_now = 2.125;
    profiler.UpdatePerformanceGraph(1.0 / 60.0);
    EXPECT_FALSE(profiler.IsSectionOpen());

    ASSERT_EQ(graph.Values().size(), 2u);
    EXPECT_EQ(graph.Values()[0].name, "Input Manager");
    EXPECT_EQ(graph.Values()[0].value, 0.375f);  // its latest run
    EXPECT_EQ(graph.Values()[0].colour, red);
    EXPECT_EQ(graph.Values()[1].name, "Components");
    EXPECT_EQ(graph.Values()[1].value, 0.5f);
    EXPECT_EQ(graph.Values()[1].colour, blue);
    // Slice names match exactly.
    graph.SetValue("input manager", 1.0f, red);
    EXPECT_EQ(graph.Values().size(), 3u);

    // The gap until the next frame's first section is in no slice, and a
    // frame end with nothing open records nothing.
    g_now = 3.0;
    profiler.UpdatePerformanceGraph(1.0 / 60.0);
    g_now = 4.0;
    profiler.BeginSection("Input Manager", red);
    g_now = 4.5;
    profiler.UpdatePerformanceGraph(1.0 / 60.0);
    EXPECT_EQ(graph.Values().size(), 3u);
    EXPECT_EQ(graph.FindSlice(""), nullptr);
    EXPECT_EQ(graph.Values()[0].value, 0.5f);
}

TEST_F(ProfilerTest, SectionTimesStayPreciseAfterHoursOfRunning) {
    PerformanceGraph profiler;
    g_now = 36000.0;  // ten hours
    profiler.BeginSection("Messages", Color());
    g_now = 36000.0 + 0.000125;
    profiler.UpdatePerformanceGraph(0.0);
    ASSERT_NE(GraphOf(profiler)->FindSlice("Messages"), nullptr);
    EXPECT_NEAR(GraphOf(profiler)->FindSlice("Messages")->value, 0.000125, 1e-9);
}

TEST_F(ProfilerTest, SmoothingMovesOneThirtySecondTowardTheStep) {
    PerformanceGraph profiler;
    profiler.UpdatePerformanceGraph(1.0);
    EXPECT_EQ(profiler.GetSmoothedFrameTime(), 0.03125f);
    EXPECT_EQ(GraphOf(profiler)->GetFrameTime(), 0.03125f);
    profiler.UpdatePerformanceGraph(1.0);
    EXPECT_EQ(profiler.GetSmoothedFrameTime(), 0.0615234375f);
    // A step equal to the average leaves it where it is.
    float before = profiler.GetSmoothedFrameTime();
    profiler.UpdatePerformanceGraph(before);
    EXPECT_FLOAT_EQ(profiler.GetSmoothedFrameTime(), before);
    // A wild step stays finite.
    profiler.UpdatePerformanceGraph(1e300);
    EXPECT_TRUE(profiler.GetSmoothedFrameTime() < 1e38f);
}

TEST_F(ProfilerTest, FpsRefreshesAfterATenthOfASecond) {
    SetFpsTextHook(RecordFpsText);
    FpsCounter counter;
    EXPECT_EQ(counter.Update(), 0.0);  // starts the interval at 0
    g_now = 0.05;
    for (int i = 0; i < 14; ++i) counter.Update();
    EXPECT_TRUE(g_fpsTexts.empty());
    EXPECT_EQ(counter.GetFramesCounted(), 15);

    g_now = 0.25;  // 15 frames in 0.25 s
    EXPECT_EQ(counter.Update(), 60.0);
    ASSERT_EQ(g_fpsTexts.size(), 1u);
    EXPECT_EQ(g_fpsTexts[0], "FPS: 60.000000");
    EXPECT_STREQ(counter.GetText(), "FPS: 60.000000");
    // The frame that refreshed counts toward the next interval.
    EXPECT_EQ(counter.GetFramesCounted(), 1);

    g_now = 0.3;
    EXPECT_EQ(counter.Update(), 60.0);  // the last rate until the next refresh
    g_now = 0.375;                      // 2 frames in 0.125 s
    EXPECT_EQ(counter.Update(), 16.0);
    ASSERT_EQ(g_fpsTexts.size(), 2u);
    EXPECT_EQ(g_fpsTexts[1], "FPS: 16.000000");
}

TEST_F(ProfilerTest, FpsThresholdIsATenthInSinglePrecision) {
    FpsCounter counter;
    counter.Update();
    g_now = 0.5;
    counter.Update();  // without a hook the text is only kept
    EXPECT_STREQ(counter.GetText(), "FPS: 2.000000");
    EXPECT_TRUE(g_fpsTexts.empty());

    SetFpsTextHook(RecordFpsText);
    g_now = 0.5 + double(0.1f);
    counter.Update();  // exactly the threshold: not more
    EXPECT_TRUE(g_fpsTexts.empty());
    g_now = 0.625;
    counter.Update();
    ASSERT_EQ(g_fpsTexts.size(), 1u);
    EXPECT_EQ(g_fpsTexts[0], "FPS: 16.000000");  // 2 frames in 0.125 s

    // The engine-wide counter is the one UpdateFrameStatistics advances.
    int before = EngineFpsCounter().GetFramesCounted();
    UpdateFrameStatistics();
    EXPECT_EQ(EngineFpsCounter().GetFramesCounted(), before + 1);
}

}  // namespace

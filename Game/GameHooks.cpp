#include "Game/GameHooks.h"

#include "Gui/GuiPieGraph.h"
#include "System/Source/PerformanceGraph.h"

void InstallGameHooks() {
    // The profiler's graph is a GUI panel.
    SetGraphMakerHook(GuiPieGraph::CreateForProfiler);
}

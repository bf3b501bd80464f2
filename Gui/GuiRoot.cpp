// The GUI root's life (start-up, frame, shutdown) and the entry points
// through which the input module reaches it.
#include "Gui/ConsolePanel.h"
#include "Gui/FastPanel.h"
#include "Gui/GuiFactory.h"
#include "Gui/GuiManager.h"
#include "Gui/GuiPanel.h"
#include "Gui/GuiPieGraph.h"
#include "System/Source/PerformanceGraph.h"
#include "System/Source/DataNode.h"

namespace {

int g_cursorX = 0;
int g_cursorY = 0;

// Panels that scripts made and never attached: nothing else frees them.
System::Vector<GuiPanel*> UnattachedScriptPanels() {
    System::Vector<GuiPanel*> orphans;
    ForEachLivePanel([&orphans](GuiPanel* panel) {
        if (panel->madeByScript && !panel->parent) orphans.push_back(panel);
    });
    return orphans;
}

// The profiler's graph hangs under the root, which owns it from then on.
void AttachGraph(GuiPieGraph* graph) {
    if (GuiRoot) GuiRoot->AddChild(graph);
}

}  // namespace

void GuiStartup() {
    GuiRoot = new GuiPanel(1000, 1000, 500.0f, 500.0f);
    if (!ScaledPanelList) ScaledPanelList = new FastPanelList();
    // The console comes first, before the layout's widgets.
    GuiRoot->AddChild(new Console());
    LoadGuiLayout(kGuiLayoutFile);
    SetGraphAttachHook(AttachGraph);
    // The developer displays and the console start hidden: each toggles
    // once in the first frame's update.
    for (const char* target : {"FPS", "PerformanceGraph", "Console"}) {
        PostGuiMessage(GuiRoot, MakeNodeWithInt(target, "ToggleVisible"));
    }
}

void DrawGui() {
    if (ScaledPanelList) {
        // A copy: drawing never changes the list, but its owner may.
        FastPanelList panels = *ScaledPanelList;
        for (FastPanel* panel : panels) panel->Draw();
    }
    if (!GuiRoot) return;
    GuiWalk walk;
    GuiRoot->UpdateRoot();
    if (GuiRoot) GuiRoot->Draw();
}

void GuiShutdown() {
    FlushMessages();
    System::Vector<GuiPanel*> panels = UnattachedScriptPanels();
    if (GuiRoot) panels.push_back(GuiRoot);
    DeletePanelsTogether(panels);
    GuiRoot = nullptr;
    FocusedPanel = nullptr;
    SetGraphAttachHook(nullptr);
    DeleteScriptFastPanels();
    delete ScaledPanelList;
    ScaledPanelList = nullptr;
}

void ApplyLayoutToRoot(DataNode* settings) {
    if (!GuiRoot || !settings) return;
    GuiWalk walk;
    GuiRoot->ApplyLayout(settings);
}

void GuiHandleChar(unsigned ch) {
    if (!GuiRoot) return;
    GuiWalk walk;
    GuiRoot->OnChar(int(ch));
}

void GuiHandleKey(int key) {
    if (!GuiRoot) return;
    GuiWalk walk;
    GuiRoot->OnSpecialKeyDown(key);
}

void GuiHandleMouseMove(int x, int y) {
    g_cursorX = x;
    g_cursorY = y;
    if (!GuiRoot) return;
    GuiWalk walk;
    GuiRoot->OnMouseMove(x, y);
}

void GuiHandleMouseDown(int x, int y) {
    FocusedPanel = nullptr;
    if (!GuiRoot) return;
    GuiWalk walk;
    GuiRoot->HitTest(x, y);
}

void GuiFocusNext() {
    FocusNext();
}

void GuiFocusPrev() {
    FocusPrev();
}

void GetGuiCursor(int& x, int& y) {
    x = g_cursorX;
    y = g_cursorY;
}

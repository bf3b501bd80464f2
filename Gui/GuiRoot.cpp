// The GUI root's life (start-up, frame, shutdown) and the entry points
// through which the input module reaches it.
#include "Graphics/Window.h"
#include "Gui/ConsolePanel.h"
#include "Gui/FastPanel.h"
#include "Gui/GuiFactory.h"
#include "Gui/GuiManager.h"
#include "Gui/GuiPanel.h"
#include "Gui/GuiPieGraph.h"
#include "Gui/GuiTextField.h"
#include "System/Source/DataNode.h"
#include "System/Source/FrameState.h"
#include "System/Source/PerformanceGraph.h"

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

bool IsWithin(const GuiPanel* panel, const GuiPanel* ancestor) {
    for (; panel; panel = panel->parent) {
        if (panel == ancestor) return true;
    }
    return false;
}

// After the frame's messages: the pause menu shows exactly while the game is
// paused for it (a level change, a toggle that came a frame late or a script
// cannot leave them apart), and the keyboard always has a place to go. The
// open console keeps the focus in itself whatever else shows or hides; else
// a pause menu that shows without a focused panel focuses its first button,
// so that Up, Down and Enter work (after the console closed, or after a
// level change took the focused panel away).
void KeepPauseMenuAndFocus() {
    const bool paused = IsPauseMenuShown();
    const bool consoleOpen = GuiHoldsKeyboard();
    for (GuiPanel* child : GuiRoot->children) {
        if (child->doomed || child->name != kPauseMenuName) continue;
        bool focusIt = paused && !FocusedPanel;
        if (child->visible != paused) {
            child->visible = paused;
            child->updated = false;
            focusIt = paused;
            if (!paused && IsWithin(FocusedPanel, child)) FocusedPanel = nullptr;
        }
        if (focusIt && !consoleOpen) FocusedPanel = child->firstFocus ? child->firstFocus : child;
    }
    if (consoleOpen && ConsolePanel->input && !IsWithin(FocusedPanel, ConsolePanel)) {
        GuiPanel* input = ConsolePanel->input;
        FocusedPanel = input->firstFocus ? input->firstFocus : input;
    }
}

// The profiler's graph hangs under the root, which owns it from then on.
void AttachGraph(ProfileGraph* graph) {
    if (GuiRoot) GuiRoot->AddChild(dynamic_cast<GuiPanel*>(graph));
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
    if (!GuiRoot) return;
    KeepPauseMenuAndFocus();
    // The open console lies over the rest of the GUI and the HUD whatever
    // their layers: left out of the tree's drawing, it is drawn last, in a
    // pass of its own.
    Console* console = ConsolePanel;
    const bool consoleOnTop = console && !console->doomed && console->IsVisible();
    if (console) console->drawnOnTop = consoleOnTop;
    GuiRoot->Draw();
    if (consoleOnTop) {
        StartPassOnTop();
        console->DrawOnTop();
    }
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

bool GuiHoldsKeyboard() {
    return ConsolePanel && ConsolePanel->IsVisible();
}

// While the console is open, the keyboard is its alone: no menu button, no
// text field of a layout sees a key (the console's own toggle key closes it).
void GuiHandleChar(unsigned ch) {
    if (!GuiRoot) return;
    GuiWalk walk;
    GuiPanel* receiver = GuiHoldsKeyboard() ? static_cast<GuiPanel*>(ConsolePanel) : GuiRoot;
    receiver->OnChar(int(ch));
}

void GuiHandleKey(int key) {
    if (!GuiRoot) return;
    GuiWalk walk;
    GuiPanel* receiver = GuiHoldsKeyboard() ? static_cast<GuiPanel*>(ConsolePanel) : GuiRoot;
    receiver->OnSpecialKeyDown(key);
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

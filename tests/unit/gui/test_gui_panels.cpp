// Panels on the recording renderer: pixel conversion and borders, drawing,
// hit testing, hover tracking, focus moves, and deleting panels that others
// point at (run under ASan by the sanitizer build).
#include <string>
#include <vector>

#include "Game/StateManager.h"
#include "Gui/FastPanel.h"
#include "Gui/GuiPanel.h"
#include "gui_fixture.h"

using GuiPanels = GuiFixture;

TEST_F(GuiPanels, PixelsTruncateThePositionAndBordersAreInclusive) {
    EXPECT_EQ(GuiPixels(500.0, 1920), 960);
    EXPECT_EQ(GuiPixels(500.9, 1920), 960);  // truncated before converting
    EXPECT_EQ(GuiPixels(50.0, 1920), 96);
    EXPECT_EQ(GuiPixels(-1.5, 1920), -1);  // trunc(-1 / 1000 x 1920 + 0.5)
    GuiPanel* panel = Add("P", 100, 100, 500.0f, 500.0f);
    auto [ox, oy] = panel->GetScreenOffset();
    EXPECT_EQ(ox, 864);  // 960 - 192 / 2
    EXPECT_EQ(oy, 486);
    EXPECT_TRUE(panel->Contains(864.0f, 486.0f));            // lx = 0
    EXPECT_TRUE(panel->Contains(864.0f + 192.0f, 486.0f));   // lx = P(100, 1920)
    EXPECT_FALSE(panel->Contains(864.0f - 0.5f, 486.0f));    // lx = -0.5
    EXPECT_TRUE(panel->Contains(900.0f, 486.0f + 108.0f));   // ly = P(100, 1080)
    EXPECT_FALSE(panel->Contains(900.0f, 486.0f + 108.5f));

    // The viewport is read at every use: a letterboxed window changes it.
    WindowWidth = 2000;  // 16:9 inside 2000 x 1080 is 1920 x 1080
    EXPECT_EQ(GuiPixelsX(500.0), 960);
    WindowHeight = 900;  // 1600 x 900
    EXPECT_EQ(GuiPixelsX(500.0), 800);
}

TEST_F(GuiPanels, DrawingPlacesChildBackgroundsOneStepBelowTheirParent) {
    GuiPanel* outer = Add("Outer", 100, 100, 500.9f, 500.0f);
    outer->filled = true;
    outer->fillColor = Color(10, 20, 30, 40);
    outer->border = 2;
    GuiPanel* inner = Add("Inner", 50, 50, 50.0f, 50.0f, outer);
    inner->image.texture = 7;
    inner->image.u = 0.25f;
    inner->image.v = 0.5f;
    inner->image.du = 0.5f;
    inner->image.dv = 0.25f;
    GuiPanel* hidden = Add("Hidden", 10, 10, 0.0f, 0.0f, outer);
    hidden->filled = true;
    hidden->visible = false;
    GuiRoot->Draw();
    const std::vector<std::string> expected = {
        "PushTranslation(0, 0, 0)",      // the root covers the viewport
        "PushTranslation(0, 0, -1)",     // the outer panel's background
        "PushTranslation(0, 0, 0)",      // its own layer
        "SetColor(10, 20, 30, 40)",
        "FillRect(864, 486, 1056, 594)", // x 500.9 drawn as 500
        "SetColor(0, 0, 0, 255)",
        "DrawRectOutline(864, 486, 1056, 594, 2)",
        "PopTranslation()",
        "PopTranslation()",
        "PushTranslation(864, 486, 0)",  // the outer panel's top-left corner
        "PushTranslation(0, 0, -1)",
        "PushTranslation(0, 0, 0)",
        "SetColor(0, 0, 0, 0)",
        "SetTexture(7)",                 // v flipped
        "DrawTextureRegion(48, 27, 144, 81, 0.25, 0.75, 0.75, 0.5)",
        "SetColorFill(0)",
        "PopTranslation()",
        "PopTranslation()",
        "PushTranslation(48, 27, 0)",
        "PopTranslation()",
        "PopTranslation()",
        "PopTranslation()",
    };
    EXPECT_EQ(renderer.calls, expected);
}

TEST_F(GuiPanels, HitTestPrefersInteractivePanelsOnHigherOrEqualLayers) {
    // A non-interactive panel under the pointer, nothing interactive above.
    GuiPanel* back = Add("Back", 200, 200, 500.0f, 500.0f);
    GuiHandleMouseDown(960, 540);
    EXPECT_EQ(FocusedPanel, back);

    // Two overlapping interactive siblings on equal layers: the earlier one
    // in the list is visited later and wins.
    GuiPanel* first = Add("First", 100, 100, 500.0f, 500.0f);
    GuiPanel* second = Add("Second", 100, 100, 500.0f, 500.0f);
    first->interactive = second->interactive = true;
    GuiHandleMouseDown(960, 540);
    EXPECT_EQ(FocusedPanel, first);

    // A higher layer keeps its panel against later, lower ones.
    second->layer = 5;
    GuiHandleMouseDown(960, 540);
    EXPECT_EQ(FocusedPanel, second);

    // A descendant over its ancestor on equal layers; a child of a hidden
    // panel is never hit, whatever its own flag; a disabled panel is not
    // looked into.
    second->layer = 0;
    GuiPanel* child = Add("Child", 50, 50, 50.0f, 50.0f, first);
    child->interactive = true;
    GuiHandleMouseDown(960, 540);
    EXPECT_EQ(FocusedPanel, child);
    first->visible = false;
    GuiHandleMouseDown(960, 540);
    EXPECT_EQ(FocusedPanel, second);
    first->visible = true;
    first->disabled = true;
    GuiHandleMouseDown(960, 540);
    EXPECT_EQ(FocusedPanel, first);  // its parent still picks it
    GuiHandleMouseDown(10, 10);
    EXPECT_EQ(FocusedPanel, nullptr);
}

TEST_F(GuiPanels, HoverEntersOnceAndLeavesEveryFrameElsewhere) {
    ProbePanel* probe = Add<ProbePanel>("Probe", 100, 100, 500.0f, 500.0f);
    ProbePanel* under = Add<ProbePanel>("Under", 50, 50, 50.0f, 50.0f, probe);
    GuiHandleMouseMove(960, 540);
    Frame();
    Frame();
    EXPECT_EQ(probe->enters, 1);
    EXPECT_TRUE(probe->hovered);
    EXPECT_EQ(under->enters, 1);  // the walk recurses into the hovered panel
    GuiHandleMouseMove(0, 0);
    Frame();
    Frame();
    EXPECT_EQ(probe->leaves, 2);
    EXPECT_FALSE(probe->hovered);
    // A hidden panel is not hovered.
    probe->visible = false;
    GuiHandleMouseMove(960, 540);
    Frame();
    EXPECT_EQ(probe->enters, 1);
}

TEST_F(GuiPanels, FocusMovesFollowTheChainAndClick) {
    std::vector<std::string> sounds;
    static std::vector<std::string>* heard = nullptr;
    heard = &sounds;
    SetGuiSoundHook([](const char* name) { heard->push_back(name); });
    GuiPanel* a = Add("A", 10, 10, 0.0f, 0.0f);
    GuiPanel* b = Add("B", 10, 10, 0.0f, 0.0f);
    a->SetNextFocus(b);
    b->SetPrevFocus(a);
    FocusedPanel = a;
    FocusNext();  // only while the pause menu shows
    EXPECT_EQ(FocusedPanel, a);
    GetStateManager().pauseMenuShown = true;
    FocusNext();
    EXPECT_EQ(FocusedPanel, b);
    GetStateManager().pauseMenuShown = false;
    FocusPrev();  // whatever the pause state
    EXPECT_EQ(FocusedPanel, a);
    FocusPrev();  // a has no previous panel
    EXPECT_EQ(FocusedPanel, nullptr);
    FocusPrev();  // nothing focused: no move, no sound
    EXPECT_EQ(sounds, (std::vector<std::string>{"MenuClick", "MenuClick", "MenuClick"}));
    SetGuiSoundHook(nullptr);
}

TEST_F(GuiPanels, ADyingPanelLeavesNoPointerToItself) {
    GuiPanel* keeper = Add("Keeper", 10, 10, 0.0f, 0.0f);
    GuiPanel* doomed = Add("Doomed", 20, 30, 0.0f, 0.0f);
    Add("Inside", 5, 5, 0.0f, 0.0f, doomed);
    keeper->SetNextFocus(doomed);
    keeper->SetPrevFocus(doomed);
    keeper->SetFirstFocus(doomed);
    keeper->SetMirror(doomed);
    keeper->savedPanel = doomed;
    keeper->AddItem(doomed);
    FocusedPanel = doomed;
    Frame();
    EXPECT_EQ(keeper->width, 20);  // mirrored while it lived
    GuiRoot->RemoveChildByName("Doomed");
    // The focus, the three focus links, both mirrors, the saved panel.
    const std::vector<const void*> links = {
        FocusedPanel,          keeper->nextFocus,    keeper->prevFocus,  keeper->firstFocus,
        keeper->mirrorWidth,   keeper->mirrorHeight, keeper->savedPanel};
    EXPECT_EQ(links, std::vector<const void*>(links.size(), nullptr));
    EXPECT_TRUE(keeper->items.empty());
    ASSERT_EQ(GuiRoot->children.size(), 1u);
    Frame();  // nothing left that reaches freed memory
    EXPECT_EQ(keeper->width, 20);

    // Deleted directly while attached: the parent's list forgets it too.
    GuiPanel* direct = Add("Direct", 1, 1, 0.0f, 0.0f);
    delete direct;
    EXPECT_EQ(GuiRoot->children.size(), 1u);
}

TEST_F(GuiPanels, FastPanelsDrawEveryFrameWithTheirImageVFlipped) {
    ScaledPanelList = new FastPanelList();
    FastPanel bare(500.0f, 500.0f, 100, 100);
    FastPanel pictured(0.0f, 0.0f, 10, 20);
    pictured.image.texture = 3;
    pictured.image.v = 0.5f;
    pictured.image.dv = 0.5f;
    ScaledPanelList->push_back(&bare);
    ScaledPanelList->push_back(&pictured);
    Frame();
    const std::vector<std::string> expected = {
        "SetTexture(0)", "DrawTextureRegion(864, 486, 1056, 594, 0, 1, 1, 0)",
        "SetTexture(3)", "DrawTextureRegion(-10, -11, 10, 11, 0, 1, 1, 0.5)"};
    EXPECT_EQ(std::vector<std::string>(renderer.calls.begin(), renderer.calls.begin() + 4),
              expected);
    // The list forgets a fast panel that goes.
    { FastPanel gone(0.0f, 0.0f, 1, 1); ScaledPanelList->push_back(&gone); }
    EXPECT_EQ(ScaledPanelList->size(), 2u);
}

namespace {
// Counts the pointer clean-ups that deaths of other panels cost.
struct CountingPanel : GuiPanel {
    using GuiPanel::GuiPanel;
    void ForgetPanel(GuiPanel* dying) override {
        ++cleanups;
        GuiPanel::ForgetPanel(dying);
    }
    static inline long cleanups = 0;
};
}  // namespace

TEST_F(GuiPanels, ShutdownFreesWhatScriptsMadeInTimeLinearInTheirNumber) {
    // Panels a script made and never attached, and fast panels.
    const int count = 2000;
    for (int i = 0; i < count; ++i) {
        auto* panel = new CountingPanel(0, 0, 0.0f, 0.0f);
        panel->madeByScript = true;
    }
    Add<CountingPanel>("InTree", 1, 1, 0.0f, 0.0f);
    ASSERT_EQ(Run("kept = GuiPanel:new() fast = {} for i = 1, 100 do fast[i] = FastPanel:new() end"),
              "");
    const uint32_t alive = System::GetEnginePool()->alive;
    CountingPanel::cleanups = 0;
    GuiShutdown();
    // Panels that die together clear no pointers in each other.
    EXPECT_LT(CountingPanel::cleanups, count);
    // Every panel and fast panel went back to the pool.
    EXPECT_LE(System::GetEnginePool()->alive + 100 + count, alive);
}

// Buttons, the pie graph, fans and Lua menus without a window: the
// recording renderer sees the drawing, a spy hears the GUI's sounds and a
// console command records what buttons run.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Game/StateManager.h"
#include "Graphics/Font.h"
#include "Gui/FastPanel.h"
#include "Gui/GuiButton.h"
#include "Gui/GuiFactory.h"
#include "Gui/GuiFans.h"
#include "Gui/GuiPieGraph.h"
#include "Gui/GuiScrollBar.h"
#include "Gui/GuiTextField.h"
#include "Gui/Menu.h"
#include "System/Source/Console.h"
#include "System/Source/PerformanceGraph.h"
#include "gui_fixture.h"

namespace {

std::vector<std::string> g_sounds;
std::vector<std::string>& g_commands = RecordedCommands();
std::string g_firedAction;  // the action the fake input reports as fired
int g_firedFrom = 0;        // the first player that fired it
int g_firedPlayers = 1;     // for how many players, from that one

void RecordSound(const char* name) {
    g_sounds.push_back(name);
}
float FakeAction(int player, const char* action) {
    return player >= g_firedFrom && player < g_firedFrom + g_firedPlayers && g_firedAction == action
               ? 1.0f
               : 0.0f;
}

class Widgets : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        g_sounds.clear();
        StartRecordingCommands();
        g_firedAction.clear();
        g_firedFrom = 0;
        g_firedPlayers = 1;
        SetGuiSoundHook(RecordSound);
        SetGuiActionHook(FakeAction);
        MenuList = new MenuListType();
        HudMenuList = new MenuListType();
        if (!ScaledPanelList) ScaledPanelList = new FastPanelList();
    }
    void TearDown() override {
        for (MenuListType* list : {MenuList, HudMenuList}) {
            for (Menu* menu : *list) delete menu;
            delete list;
        }
        MenuList = HudMenuList = nullptr;
        SetGuiSoundHook(nullptr);
        SetGuiActionHook(nullptr);
        GuiFixture::TearDown();
    }
    // The first message of this frame addressed to `target`, or null.
    static DataNode* Queued(const char* target) {
        for (DataNode* tree : Gui->Messages()) {
            if (tree->name == target) return tree;
        }
        for (DataNode* tree : Gui->Pending()) {
            if (tree->name == target) return tree;
        }
        return nullptr;
    }
};

}  // namespace

TEST_F(Widgets, ButtonsActivateByClickCharacterAndActionAndPlayTheirSounds) {
    auto* bare = Add<GuiButton>("Bare", 100, 100, 100.0f, 100.0f);
    bare->OnMouseDown(0, 0);
    EXPECT_EQ(g_sounds, std::vector<std::string>{"MenuEnter"});

    auto* ordered = Add<GuiButton>("Ordered", 100, 100, 500.0f, 500.0f);
    ordered->SetCommand("record first");
    ordered->SetCommand("");
    ordered->SetCommand("record second");
    std::string out = TestSupport::CaptureStdout([&] { ordered->Activate(); });
    EXPECT_EQ(g_commands, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(out.find("cannot be found"), std::string::npos) << out;

    // Character 13 reaches every button; only the focused one activates.
    bare->SetCommand("record bare");
    g_commands.clear();
    FocusedPanel = ordered;
    GuiHandleChar('a');
    EXPECT_TRUE(g_commands.empty());
    GuiHandleChar(13);
    EXPECT_EQ(g_commands, (std::vector<std::string>{"first", "second"}));

    // The watched action: once per player that fired it, never while hidden.
    g_commands.clear();
    ordered->SetActionKey("Go");
    g_firedAction = "Go";
    g_firedPlayers = 2;
    Frame();
    EXPECT_EQ(g_commands.size(), 4u);
    // The fourth player's pad counts as much as the first's.
    g_commands.clear();
    g_firedFrom = 3;
    g_firedPlayers = 1;
    Frame();
    EXPECT_EQ(g_commands, (std::vector<std::string>{"first", "second"}));
    g_commands.clear();
    GuiPanel* holder = Add("Holder", 1000, 1000, 500.0f, 500.0f);
    auto* hidden = Add<GuiButton>("Hidden", 100, 100, 500.0f, 500.0f, holder);
    hidden->SetCommand("record hidden");
    hidden->SetActionKey("Go");
    holder->visible = false;
    ordered->visible = false;
    Frame();
    EXPECT_TRUE(g_commands.empty());

    // Entering with the pointer clicks once; staying is silent.
    g_sounds.clear();
    GuiHandleMouseMove(960, 540);
    Frame();
    Frame();
    EXPECT_EQ(std::count(g_sounds.begin(), g_sounds.end(), "MenuClick"), 0);  // all hidden
    GuiHandleMouseMove(192, 108);
    Frame();
    Frame();
    EXPECT_EQ(std::count(g_sounds.begin(), g_sounds.end(), "MenuClick"), 1);
}

TEST_F(Widgets, SetMessageStoresTypedEntriesAndPostsAFreshCopyEachTime) {
    auto* target = Add("Target", 10, 10, 50.0f, 50.0f);
    auto* button = Add<GuiButton>("B", 10, 10, 50.0f, 50.0f);
    Expose("b", button);
    EXPECT_EQ(Run(R"lua(
        local n = 5
        b:SetMessage("Target", "Function", "ToggleVisible", "flag", true, 7, "skipped",
                     "count", n, "who", b, "dangling")
        n = 6
    )lua"),
              "");
    ASSERT_EQ(button->messages.size(), 1u);
    DataNode* stored = button->messages[0];
    EXPECT_EQ(GetNodeString("Function", stored->firstChild), "ToggleVisible");
    const DataNode* flag = FindNode(stored->firstChild, "flag", false);
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->type, kDataBool);  // never the pointer 0x1
    EXPECT_TRUE(GetNodeBool("flag", stored->firstChild));
    EXPECT_EQ(FindNode(stored->firstChild, "skipped", false), nullptr);
    EXPECT_EQ(GetNodeDouble("count", stored->firstChild), 5.0);
    EXPECT_EQ(GetNodePointer("who", stored->firstChild), static_cast<System::MetaBase*>(button));
    EXPECT_EQ(FindNode(stored->firstChild, "dangling", false), nullptr);

    button->Activate();
    DataNode* posted = Queued("Target");
    ASSERT_NE(posted, nullptr);
    EXPECT_NE(posted, stored);
    EXPECT_EQ(GetNodePointer("From", posted->firstChild), static_cast<System::MetaBase*>(GuiRoot));
    Frame();
    EXPECT_FALSE(target->visible);
    button->Activate();
    Frame();
    EXPECT_TRUE(target->visible);  // the same message arrived again
    EXPECT_EQ(button->messages.size(), 1u);

    // The saved-panel toggle with a boolean value stays safe.
    EXPECT_EQ(Run(R"lua(b:SetMessage("Target", "ToggleValue", true) b:ExcecuteAction())lua"), "");
    Frame();
}

TEST_F(Widgets, PieGraphDrawsSectorsRingByRingAndFloatingPointPercentages) {
    auto* graph = new GuiPieGraph(500.0f, 500.0f);
    graph->SetName("Pie");
    GuiRoot->AddChild(graph);
    graph->SetRadius(50);
    graph->SetValue("a", 1.0f, Color(255, 0, 0, 255));
    graph->SetValue("b", 3.0f, Color(0, 0, 255, 255));
    graph->SetValue("a", 1.0f, Color(9, 9, 9, 9));  // the colour stays
    Frame();
    EXPECT_TRUE(renderer.Only("FillSector").empty());  // no frame time yet

    graph->SetFrameTime(0.016f);
    renderer.calls.clear();
    Frame();
    EXPECT_EQ(renderer.Only("FillSector"),
              (std::vector<std::string>{"FillSector(960, 540, 65, 0, 90)",
                                        "FillSector(960, 540, 60, 90, 360)",
                                        "FillSector(960, 540, 50, 360, 360)"}));
    EXPECT_EQ(renderer.Only("FillRect"), std::vector<std::string>{"FillRect(890, 470, 1030, 642)"});
    const auto texts = renderer.Only("DrawText");
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[1], "DrawText(986, 600,   25.00%)");
    EXPECT_EQ(texts[3], "DrawText(986, 617,   75.00%)");

    // Rings that have shrunk to nothing are not filled.
    PostGuiMessage(MakeNodeWithInt("Pie", "SetRadius"));
    Frame();
    renderer.calls.clear();
    Frame();
    EXPECT_EQ(renderer.Only("FillSector").size(), 2u);  // radius 15 and 10
    DataNode* add = MakeNodeWithString("Pie", "AddValue", "c");
    SetNodeDouble(CreateNode(add, "v", add->firstChild), "", 4.0);
    PostGuiMessage(add);
    Frame();
    ASSERT_NE(graph->FindSlice("c"), nullptr);
    EXPECT_EQ(graph->FindSlice("c")->value, 4.0f);
}

TEST_F(Widgets, FansCountLeaveAndNeverDivideByZero) {
    auto* fans = Add<GuiFans>("Fans", 400, 300, 500.0f, 500.0f);
    fans->SetCount(501);
    EXPECT_EQ(fans->count, 0);
    fans->AddFans();
    fans->AddFans();
    ASSERT_EQ(fans->fans.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(fans->fans[size_t(i)].index, i);
    fans->RemoveFans();  // 6 x 7 / 8 - 3 = 2
    EXPECT_EQ(fans->count, 2);
    fans->SetCount(1);
    // Only staying fans are marked: two stay, then one.
    int staying = 0;
    for (const FanRecord& fan : fans->fans) staying += fan.staying ? 1 : 0;
    EXPECT_EQ(staying, 1);
    fans->SetCount(-4);
    EXPECT_EQ(fans->count, 0);
    for (int frame = 0; frame < 400 && !fans->fans.empty(); ++frame) Frame();
    EXPECT_TRUE(fans->fans.empty());

    // Panels too low for rows, and of no size at all, still place and draw.
    for (int h : {0, 19, 20, 39}) {
        auto* low = Add<GuiFans>("Low", h, h, 500.0f, 500.0f);
        low->SetCount(12);
        low->evil = true;
        low->AddFans();
        EXPECT_EQ(low->count, 15);
        Frame();
    }
    fans->shakeTime = 0.5f;
    Frame();
}

TEST_F(Widgets, MenusBuildWidgetsAndGoTheirWays) {
    std::string out = Output(R"lua(
        m = Menu:new()
        local p = m:CreatePanel(100, 200, 50, 300)
        print("panel " .. p:GetX() .. " " .. p:GetY())
        fans = m:CreateFanPanel(100, 200, 50, 300)
        print("menu " .. m:GetPanel():GetX())
        hud = Menu:new()
        hud:GetPanel():SetName("Hud")
        hud:PushToHud()
        hud:PushToHud()
        other = hud:CreateLabel(1, 2, 3, 4)
        m:RemoveElement(other)
        light = m:CreateLightPanel(10, 20, 30, 40)
        bar = m:CreateScrollBar(10, 20, 30, 40)
        m:RemoveElement(bar)
    )lua");
    EXPECT_NE(out.find("panel 100 200"), std::string::npos) << out;
    EXPECT_NE(out.find("menu 500"), std::string::npos) << out;
    ASSERT_EQ(MenuList->size(), 1u);
    ASSERT_EQ(HudMenuList->size(), 1u);  // pushed twice, listed once
    GuiPanel* root = (*MenuList)[0]->GetPanel();
    ASSERT_NE(root, nullptr);
    // CreatePanel's last two arguments are height and width, the fan
    // panel's the other way round.
    ASSERT_EQ(root->children.size(), 2u);
    EXPECT_EQ(std::vector<int>({root->children[0]->width, root->children[0]->height,
                                root->children[1]->width, root->children[1]->height}),
              std::vector<int>({300, 50, 50, 300}));
    // The other menu's label was not this menu's to delete.
    EXPECT_EQ((*HudMenuList)[0]->GetPanel()->children.size(), 1u);

    // A level menu is no HUD menu: removing its name leaves it whole; the
    // level change deletes it. A reference to a removed widget is a script
    // error, not a crash.
    root->name = System::MakeString("Level");
    EXPECT_EQ(Run("RemoveMenuByName('Level') RemoveMenuByName(7)"), "");
    ASSERT_EQ(MenuList->size(), 1u);
    EXPECT_EQ((*MenuList)[0]->GetPanel(), root);
    EXPECT_EQ(root->parent, GuiRoot);
    delete (*MenuList)[0];
    MenuList->clear();
    // The light panel outlives its menu; the GUI's shutdown frees it.
    ASSERT_EQ(ScaledPanelList->size(), 1u);
    EXPECT_EQ((*ScaledPanelList)[0]->width, 40);
    EXPECT_EQ((*ScaledPanelList)[0]->height, 30);
    EXPECT_NE(Run("fans:SetCount(3)"), "");
    EXPECT_NE(Run("bar:SetX(3)"), "");
    EXPECT_NE(Run("m:CreatePanel(1, 2, 3, 4)"), "");
    EXPECT_EQ(Run("RemoveMenuByName('Hud')"), "");
    EXPECT_TRUE(HudMenuList->empty());
    EXPECT_NE(Run("other:SetText('x')"), "");
}

TEST_F(Widgets, RemovingANameTakesOneMenuAndLeavesTheOthersWhole) {
    ASSERT_EQ(Run(R"lua(
        first = Menu:new()
        first:GetPanel():SetName("Hud")
        first:PushToHud()
        second = Menu:new()
        second:GetPanel():SetName("Hud")
        second:PushToHud()
        level = Menu:new()
        level:GetPanel():SetName("Hud")
        bar = first:CreateScrollBar(10, 20, 30, 40)
    )lua"),
              "");
    Add("Hud", 10, 10, 0.0f, 0.0f);  // a layout widget of that name
    ASSERT_EQ(HudMenuList->size(), 2u);
    Menu* first = (*HudMenuList)[0];
    // The scroll bar stands one layer above the panel default.
    ASSERT_EQ(first->GetPanel()->children.size(), 1u);
    EXPECT_EQ(first->GetPanel()->children[0]->layer, 1);

    // The later HUD menu and the widget go; the earlier menu and the level
    // menu stay whole and keep working.
    EXPECT_EQ(Run("RemoveMenuByName('Hud')"), "");
    ASSERT_EQ(HudMenuList->size(), 1u);
    EXPECT_EQ((*HudMenuList)[0], first);
    ASSERT_EQ(MenuList->size(), 1u);
    ASSERT_NE(first->GetPanel(), nullptr);
    ASSERT_NE((*MenuList)[0]->GetPanel(), nullptr);
    EXPECT_TRUE(True("first:GetPanel():IsVisible() == 1"));
    EXPECT_EQ(Run("first:CreateButton(1, 2, 3, 4)"), "");
    EXPECT_EQ(first->GetPanel()->children.size(), 2u);
    std::vector<std::string> names;
    for (GuiPanel* child : GuiRoot->children) names.emplace_back(child->name.c_str());
    EXPECT_EQ(names, (std::vector<std::string>{"Hud", "Hud"}));
}

TEST_F(Widgets, TheProfilerLearnsThatItsGraphWasRemovedByName) {
    SetGraphAttachHook(
        [](ProfileGraph* graph) { GuiRoot->AddChild(static_cast<GuiPieGraph*>(graph)); });
    PerformanceGraph profiler;
    SetGraphAttachHook(nullptr);
    ASSERT_NE(profiler.GetGraph(), nullptr);
    // The profiler stops feeding it (no write into freed memory).
    EXPECT_EQ(Run("RemoveMenuByName('PerformanceGraph')"), "");
    profiler.BeginSection("Input Manager", Color(255, 0, 0, 255));
    profiler.BeginSection("Draw Calls", Color(0, 255, 0, 255));
    profiler.UpdatePerformanceGraph(0.016);
    EXPECT_EQ(profiler.GetGraph(), nullptr);
    Frame();
}

TEST_F(Widgets, AButtonRemovesItsOwnMenuWhileActivating) {
    dir.Write("Resources/Lua/RemoveSelf.lua", "RemoveMenuByName('Self')\n");
    ASSERT_EQ(Run(R"lua(
        local m = Menu:new()
        m:GetPanel():SetName("Self")
        m:PushToHud()
        b = m:CreateButton(500, 500, 100, 100)
        b:SetCommand("lua RemoveSelf")
        b:SetCommand("record after")
        b:SetMessage("GLOBAL", "Function", "OnRelease")
    )lua"),
              "");
    FocusedPanel = nullptr;
    GuiHandleMouseDown(960, 540);
    ASSERT_NE(FocusedPanel, nullptr);
    EXPECT_EQ(std::string(FocusedPanel->GetClassName()), "GuiButton");
    GuiHandleChar(13);
    EXPECT_TRUE(HudMenuList->empty());
    EXPECT_EQ(g_commands, std::vector<std::string>{"after"});
    Frame();
    EXPECT_NE(Run("b:ExcecuteAction()"), "");
}

TEST_F(Widgets, DraggingMovesByThePointerAndShakingStopsInTime) {
    // A 1600 x 900 viewport: 16 pixels are 10 thousandths across.
    WindowWidth = 1600;
    WindowHeight = 900;
    // As in a menu: the click reaches the children of the panels that pull it.
    GuiPanel* holder = Add("Holder", 1000, 1000, 500.0f, 500.0f);
    auto* drag = Add<GuiDraggableElement>("Drag", 100, 100, 300.0f, 300.0f, holder);
    GuiHandleMouseDown(480, 270);
    ASSERT_EQ(FocusedPanel, drag);
    DataNode* click = Event("GLOBAL", "OnClick");
    SetNodeInt(CreateNode(click, "x", GetLastChild(click)), "", 480);
    SetNodeInt(CreateNode(click, "y", GetLastChild(click)), "", 270);
    PostGuiMessage(click);
    Frame();
    EXPECT_TRUE(drag->dragging);
    GuiHandleMouseMove(496, 270);
    EXPECT_EQ(drag->x, 310.0f);
    EXPECT_EQ(drag->y, 300.0f);
    PostGuiMessage(Event("GLOBAL", "OnRelease"));
    Frame();
    EXPECT_FALSE(drag->dragging);
    GuiHandleMouseMove(600, 300);
    EXPECT_EQ(drag->x, 310.0f);

    // Half a second of shaking at 60 frames a second, then back in place.
    auto* fans = Add<GuiFans>("Fans", 400, 300, 500.0f, 500.0f);
    GetStateManager().dt = 1.0 / 60.0;
    fans->shakeTime = 0.5f;
    int moved = 0, frames = 0;
    while (fans->shakeTime > 0.0f && frames < 100) {
        Frame();
        ++frames;
        EXPECT_LE(std::abs(fans->shakeX), 10.0f);
        EXPECT_LE(std::abs(fans->shakeY), 10.0f);
        moved += fans->shakeX != 0.0f || fans->shakeY != 0.0f ? 1 : 0;
    }
    EXPECT_NEAR(frames, 30, 1);
    EXPECT_GT(moved, 20);
    Frame();
    EXPECT_EQ(fans->shakeX, 0.0f);
    EXPECT_EQ(fans->shakeY, 0.0f);
    GetStateManager().dt = 0.0;
}

TEST_F(Widgets, DraggingFollowsThePointerPixelByPixel) {
    // 1920 pixels across: one pixel is not a whole number of thousandths.
    GuiPanel* holder = Add("Holder", 1000, 1000, 500.0f, 500.0f);
    auto* drag = Add<GuiDraggableElement>("Drag", 100, 100, 300.0f, 300.0f, holder);
    const int startX = GuiPixelsX(drag->x), startY = GuiPixelsY(drag->y);
    drag->OnMouseDown(576, 324);
    for (int i = 1; i <= 200; ++i) GuiHandleMouseMove(576 + i, 324 - i);
    EXPECT_NEAR(GuiPixelsX(drag->x) - startX, 200, 1);
    EXPECT_NEAR(GuiPixelsY(drag->y) - startY, -200, 1);
    GuiHandleMouseMove(576, 324);  // back where the press was
    EXPECT_EQ(drag->x, 300.0f);
    EXPECT_EQ(drag->y, 300.0f);
}

// A number means its value whether a script (a double), a layout (an int)
// or a data file (a float) wrote it.
TEST_F(Widgets, NumbersMeanTheirValueWhateverTheirType) {
    auto* target = Add("Target", 10, 10, 50.0f, 50.0f);
    auto* scroller = Add<ProbePanel>("Scroller", 10, 10, 50.0f, 50.0f);
    auto* graph = new GuiPieGraph(500.0f, 500.0f);
    graph->SetName("Pie");
    GuiRoot->AddChild(graph);
    auto* button = Add<GuiButton>("B", 10, 10, 50.0f, 50.0f);
    Expose("b", button);
    EXPECT_EQ(Run(R"lua(
        b:SetMessage("Target", "xPos", 300)
        b:SetMessage("Target", "width", 120.7)
        b:SetMessage("Pie", "SetRadius", 80)
        b:SetMessage("Scroller", "Function", "OnMouseScroll", "state", -1)
        b:ExcecuteAction()
    )lua"),
              "");
    Frame();
    EXPECT_EQ(target->x, 300.0f);
    EXPECT_EQ(target->width, 120);
    EXPECT_EQ(graph->GetRadius(), 80);
    EXPECT_EQ(scroller->lastScroll, -1);

    dir.Write("values.txt", "\"Pie\"\n{\n  \"AddValue\"  \"c\"\n  \"value\"  \"1.5\"\n}\n");
    PostGuiMessage(ReadDataFile("values.txt"));
    dir.Write("layout.txt",
              "\"GuiScalingBar\"\n{\n  \"ScaleBar\"  \"40\"\n  \"barWidth\"  \"200.0\"\n}\n");
    LoadGuiLayout("layout.txt");
    Frame();
    ASSERT_NE(graph->FindSlice("c"), nullptr);
    EXPECT_EQ(graph->FindSlice("c")->value, 1.5f);
    auto* bar = dynamic_cast<GuiScalingBar*>(GuiRoot->children.back());
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->scale, 40.0f);
    EXPECT_EQ(bar->barWidth, 200);
}

// Positions and sizes far outside the int range are held a thousand screens
// out, whether a script, a menu or a layout sets them, and drawing them
// stays within the int range (the sanitizer build aborts on any overflow).
TEST_F(Widgets, PositionsAndSizesBeyondTheIntRangeAreHeldInRange) {
    ASSERT_EQ(chdir(TAZZLE_SOURCE_DIR), 0);  // the game's fonts
    // The line below is said once for a size: not if a run before asked.
    FontRegistry::Clear();
    const std::string out = Output(R"lua(
        local m = Menu:new()
        p = m:CreatePanel(500, 500, 100, 100)
        p:SetFilled(1)
        p:SetX(-1e300)
        p:SetWidth(1e300)
        p:SetBorder(-1e300)
        p:SetLayer(1e300)
        l = m:CreateLabel(2^31 - 1, -1e300, 1e300, 1e300)
        l:SetText("wide")
        l:SetFont("Arial", 1e9)
        l:ScaleTextHeight(1)
        f = m:CreateFanPanel(500, 500, 100, -2^31)
        f:SetCount(10)
        f:SetX(2^31 - 1)
        f:ShakeHud(1)
        t = m:CreateTextField(500, 500, 100, 2^31 - 1)
    )lua");
    dir.Write("layout.txt",
              "\"GuiScalingBar\"\n{\n  \"xPos\"  \"2147483647\"\n  \"barWidth\"  \"-2147483648\"\n"
              "  \"ScaleBar\"  \"99999999999999999999999999999.0\"\n  \"layer\"  \"2147483647\"\n"
              "  \"GuiPanel\"\n  {\n    \"yPos\"  \"-99999999999.5\"\n    \"height\"  "
              "\"99999999999\"\n  }\n}\n");
    LoadGuiLayout(dir.Path() + "/layout.txt");
    lua_getglobal(L, "p");
    auto* panel = dynamic_cast<GuiPanel*>(System::ToEngineObject(L, -1));
    lua_getglobal(L, "f");
    auto* fans = dynamic_cast<GuiFans*>(System::ToEngineObject(L, -1));
    lua_pop(L, 2);
    ASSERT_NE(panel, nullptr);
    ASSERT_NE(fans, nullptr);
    auto* field = dynamic_cast<GuiTextField*>(panel->parent->children.back());
    ASSERT_NE(field, nullptr);
    field->SetText(std::string(4000, 'W'));
    FocusedPanel = field;

    const int32_t extent = int32_t(kGuiExtent);
    EXPECT_EQ(panel->x, -float(extent));
    EXPECT_EQ(panel->width, extent);
    EXPECT_EQ(panel->border, -extent);
    EXPECT_EQ(panel->layer, extent);
    EXPECT_EQ(fans->height, -extent);
    EXPECT_EQ(fans->x, float(extent));
    EXPECT_EQ(field->width, extent);
    auto* bar = dynamic_cast<GuiScalingBar*>(GuiRoot->children.back());
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->x, float(extent));
    EXPECT_EQ(bar->barWidth, -extent);
    EXPECT_EQ(bar->layer, extent);
    EXPECT_GT(bar->scale, 1e28f);
    ASSERT_EQ(bar->children.size(), 1u);
    EXPECT_EQ(bar->children[0]->y, -float(extent));
    EXPECT_EQ(bar->children[0]->height, extent);
    // One line for the font nobody could see, naming it.
    EXPECT_NE(out.find("Font Arial at size 1000000000 cannot be shown"), std::string::npos) << out;

    GetStateManager().dt = 1.0 / 60.0;
    for (int frame = 0; frame < 3; ++frame) Frame();
    GetStateManager().dt = 0.0;
    EXPECT_FALSE(renderer.Only("DrawText").empty());
}

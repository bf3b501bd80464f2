// GUI messages and their timing, the built-in commands, the layout file's
// selector rules and labels, on the recording renderer.
#include <string>
#include <utility>
#include <vector>

#include "Graphics/Font.h"
#include "Gui/GuiFactory.h"
#include "gui_fixture.h"

using GuiMessages = GuiFixture;

TEST_F(GuiMessages, MessagesArriveInTheNextWalkAndHandlersPostsWaitAFrame) {
    GuiPanel* fps = Add("FPS", 10, 10, 0.0f, 0.0f);
    ProbePanel* early = Add<ProbePanel>("Early", 10, 10, 0.0f, 0.0f);
    ProbePanel* late = Add<ProbePanel>("Late", 10, 10, 0.0f, 0.0f);
    Post("FPS", "ToggleVisible");
    EXPECT_TRUE(fps->visible);  // nothing happens before the walk
    Frame();
    EXPECT_FALSE(fps->visible);
    Post("FPS", "ToggleVisible");
    Post("FPS", "ToggleVisible");
    Frame();
    EXPECT_FALSE(fps->visible);  // twice: back where it was
    EXPECT_TRUE(Gui->Messages().empty());

    // Early's handler posts to Late: Late, later in the same walk, does not
    // see it; the next walk delivers it.
    early->onMessage = [](DataNode*) { Post("Late", "ToggleVisible"); };
    Post("Early", "Nothing");
    Frame();
    EXPECT_EQ(late->handled, 0);
    EXPECT_TRUE(late->visible);
    early->onMessage = nullptr;
    Frame();
    EXPECT_EQ(late->handled, 1);
    EXPECT_FALSE(late->visible);
    EXPECT_EQ(late->lastSender, GuiRoot);  // "From" is the poster
}

TEST_F(GuiMessages, EventsReachEveryUpdatedPanelAndNest) {
    // A scroll reaches a panel k levels deep k times: its own pull and the
    // forwarding of each updated ancestor below the root.
    ProbePanel* one = Add<ProbePanel>("One", 10, 10, 0.0f, 0.0f);
    ProbePanel* two = Add<ProbePanel>("Two", 10, 10, 0.0f, 0.0f, one);
    ProbePanel* three = Add<ProbePanel>("Three", 10, 10, 0.0f, 0.0f, two);
    DataNode* scroll = Event("GLOBAL", "OnMouseScroll");
    SetNodeInt(scroll, "state", 1);
    PostGuiMessage(scroll);
    Frame();
    EXPECT_EQ(one->scrolls, 1);
    EXPECT_EQ(two->scrolls, 2);
    EXPECT_EQ(three->scrolls, 3);
    EXPECT_EQ(three->lastScroll, 1);
    PostGuiMessage(Event("GLOBAL", "OnMouseScroll"));  // no "state": 0
    Frame();
    EXPECT_EQ(three->lastScroll, 0);

    // A release: once on each child of the root, twice deeper.
    PostGuiMessage(Event("GLOBAL", "OnRelease"));
    Frame();
    EXPECT_EQ(one->ups, 1);
    EXPECT_EQ(two->ups, 2);

    // A panel that does not update pulls nothing, nor do its children.
    two->updateFlag = false;
    PostGuiMessage(Event("GLOBAL", "OnRelease"));
    Frame();
    EXPECT_EQ(two->ups, 3);  // only its parent's release
    EXPECT_EQ(three->ups, 2);

    // A click reaches the focused child that contains the point, through
    // its parent's pull (the root never pulls).
    GuiPanel* menu = Add("Menu", 1000, 1000, 500.0f, 500.0f);
    GuiPanel* button = Add<ProbePanel>("Button", 100, 100, 500.0f, 500.0f, menu);
    button->interactive = true;
    GuiHandleMouseDown(960, 540);
    DataNode* click = Event("GLOBAL", "OnClick");
    SetNodeInt(click, "x", 960);
    SetNodeInt(click, "y", 540);
    PostGuiMessage(click);
    Frame();
    EXPECT_EQ(static_cast<ProbePanel*>(button)->downs, 1);
}

TEST_F(GuiMessages, BuiltInCommandsAndUnknownEntries) {
    GuiPanel* menu = Add("Menu", 10, 10, 0.0f, 0.0f);
    GuiPanel* list = Add("List", 10, 10, 0.0f, 0.0f);
    GuiPanel* items[3];
    for (GuiPanel*& item : items) item = Add("Item", 1, 1, 0.0f, 0.0f, list);

    // SaveValue takes a live panel only; a stale address reads as none.
    GuiPanel* gone = Add("Gone", 1, 1, 0.0f, 0.0f);
    System::MetaBase* stale = gone;
    delete gone;
    for (System::MetaBase* value : {stale, static_cast<System::MetaBase*>(list)}) {
        DataNode* save = MakeNode("Menu");
        SetNodePointer(save, "SaveValue", value);
        PostGuiMessage(save);
        Frame();
        EXPECT_EQ(menu->savedPanel, value == stale ? nullptr : list);
    }

    // Counted from 1; past the end: the last child; 0: nothing.
    for (auto [index, focused] : std::vector<std::pair<double, GuiPanel*>>{
             {2.0, items[1]}, {7.0, items[2]}, {0.0, nullptr}}) {
        DataNode* focus = MakeNode("Menu");
        SetNodeDouble(focus, "SetValueFocus", index);
        PostGuiMessage(focus);
        Frame();
        EXPECT_EQ(FocusedPanel, focused) << index;
    }

    Post("Menu", "ToggleValue");
    Frame();
    EXPECT_FALSE(list->visible);
    EXPECT_EQ(FocusedPanel, nullptr);
    Post("Menu", "ToggleValue");
    Frame();
    EXPECT_TRUE(list->visible);
    EXPECT_EQ(FocusedPanel, menu);  // no first focus: the panel itself

    // Without a saved panel both are ignored.
    Post("List", "ToggleValue");
    Post("List", "SetValueFocus");
    Frame();
    EXPECT_EQ(FocusedPanel, menu);

    // "Function" naming a built-in runs it; an unknown event does nothing.
    PostGuiMessage(MakeNodeWithString("List", "Function", "ToggleVisible"));
    Frame();
    EXPECT_FALSE(list->visible);
    PostGuiMessage(MakeNodeWithString("List", "Function", "NoSuchEvent"));
    Frame();
    EXPECT_FALSE(list->visible);

    // Any other entry is a property: {"Item": "xPos" = 300} moves them all.
    DataNode* move = MakeNode("Item");
    SetNodeInt(move, "xPos", 300);
    PostGuiMessage(move);
    list->visible = true;
    Frame();
    for (GuiPanel* item : items) EXPECT_EQ(item->x, 300.0f);
}

TEST_F(GuiMessages, ItemsShareOneTreeAndHandlersMayDeletePanels) {
    ProbePanel* source = Add<ProbePanel>("Source", 10, 10, 0.0f, 0.0f);
    ProbePanel* a = Add<ProbePanel>("A", 10, 10, 0.0f, 0.0f);
    ProbePanel* b = Add<ProbePanel>("B", 10, 10, 0.0f, 0.0f);
    source->AddItem(a);
    source->AddItem(b);
    std::string seen;
    a->onMessage = [&seen](DataNode* root) {
        seen = std::string(root->name.c_str()) + (GetNodeBool("ActionSignal", root->firstChild)
                                                      ? " signal" : "");
    };
    source->SendToItems(MakeNode("Submit"));
    EXPECT_EQ(seen, "Submit signal");
    EXPECT_EQ(a->lastSender, source);
    EXPECT_EQ(b->handled, 1);

    // A's handler deletes its whole menu, A included, during the walk and
    // while B is still to be visited.
    GuiPanel* menu = Add("Menu", 10, 10, 0.0f, 0.0f);
    ProbePanel* button = Add<ProbePanel>("Button", 10, 10, 0.0f, 0.0f, menu);
    ProbePanel* after = Add<ProbePanel>("After", 10, 10, 0.0f, 0.0f, menu);
    button->onMessage = [](DataNode*) { GuiRoot->RemoveChildByName("Menu"); };
    FocusedPanel = after;
    Post("GLOBAL", "Nothing");
    Frame();
    EXPECT_EQ(after->handled, 0);  // waiting for deletion: skipped
    EXPECT_EQ(FocusedPanel, nullptr);
    EXPECT_EQ(GuiRoot->children.size(), 3u);
    Post("GLOBAL", "Nothing");
    Frame();
}

TEST_F(GuiMessages, TheManagerFreesWhatItStillHolds) {
    Post("A", "ToggleVisible");
    Gui->SetIterating(true);
    Post("B", "ToggleVisible");
    EXPECT_EQ(Gui->Pending().size(), 1u);
    delete Gui;  // LeakSanitizer checks that both trees went
    Gui = new GuiManager();
}

TEST_F(GuiMessages, LayoutGroupsMakeWidgetsAndSelectByClassOrName) {
    dir.Write("layout.txt",
              "\"Nonsense\"\n{\n  \"GuiPanel\"\n  {\n    \"name\"  \"Lost\"\n  }\n}\n"
              "\"GuiPanel\"\n{\n  \"name\"  \"Outer\"\n"
              "  \"GuiPanel\"\n  {\n    \"name\"  \"Inner\"\n  }\n"
              "  \"GuiLabel\"\n  {\n    \"name\"  \"Text\"\n  }\n"
              "  \"fill\"  \"true\"\n"
              "  \"Inner\"\n  {\n    \"xPos\"  \"5\"\n  }\n}\n"
              "\"GuiLabel\"\n{\n  \"name\"  \"FPS\"\n  \"text\"  \"none yet\"\n}\n");
    LoadGuiLayout("layout.txt");
    ASSERT_EQ(GuiRoot->children.size(), 2u);
    GuiPanel* outer = GuiRoot->children[0];
    EXPECT_EQ(outer->name, "Outer");
    // "fill" after the nested groups: the outer panel and the inner one
    // (both of class GuiPanel), not the label.
    ASSERT_EQ(outer->children.size(), 2u);
    EXPECT_TRUE(outer->filled);
    EXPECT_TRUE(outer->children[0]->filled);
    EXPECT_FALSE(outer->children[1]->filled);
    auto* fps = dynamic_cast<GuiLabel*>(GuiRoot->children[1]);
    ASSERT_NE(fps, nullptr);
    EXPECT_EQ(fps->text, "none yet");

    // The FPS counter's settings tree reaches the label by name.
    DataNode* settings = MakeNodeWithString("FPS", "SetText", "FPS: 60.000000");
    ApplyLayoutToRoot(settings);
    FreeMessageTree(settings);
    EXPECT_EQ(fps->text, "FPS: 60.000000");

    EXPECT_EQ(GuiFactory::Create("GuiLabelX"), nullptr);
    LoadGuiLayout("missing.txt");  // one line from the reader, nothing added
    EXPECT_EQ(GuiRoot->children.size(), 2u);
}

TEST_F(GuiMessages, LabelsAskForFontsWithASizeAndScaleAndCentreTheirText) {
    ASSERT_EQ(chdir(TAZZLE_SOURCE_DIR), 0);  // the game's font stand-ins
    FontRegistry::Clear();
    auto* label = Add<GuiLabel>("L", 0, 0, 260.0f, 500.0f);
    // Leaves as the file reader makes them: the node holds the value.
    auto text = [](const char* value) { return SetNodeString(MakeNode("v"), "", value); };
    auto number = [](int value) { return SetNodeInt(MakeNode("v"), "", value); };
    auto set = [label](const char* key, DataNode* value, GuiLabel* to = nullptr) {
        (to ? to : label)->SetProperty(key, value);
        FreeMessageTree(value);
    };
    // "font" without a size asks for nothing; "size" then asks.
    set("font", text("DejaVu Sans"));
    EXPECT_EQ(label->fontIndex, -1);
    set("size", number(0));
    EXPECT_EQ(label->fontIndex, -1);
    set("size", number(16));
    const int sixteen = GetFont("DejaVu Sans", 16);
    ASSERT_GE(sixteen, 0);
    EXPECT_EQ(label->fontIndex, sixteen);
    // "size" before "font" in another label: the kept size is used.
    auto* other = Add<GuiLabel>("O", 0, 0, 0.0f, 0.0f);
    set("size", number(16), other);
    EXPECT_EQ(other->fontIndex, -1);  // no name yet: nothing asked
    other->ApplyFont("DejaVu Sans", 0);
    EXPECT_EQ(other->fontIndex, sixteen);

    set("text", text("Hello"));
    const int width = MeasureText(GetFontByIndex(sixteen), "Hello");
    EXPECT_EQ(label->textWidth, width);
    label->textColor = Color(1, 2, 3, 4);
    label->scaleWidthToText = label->scaleHeightToText = true;
    label->Draw();
    EXPECT_EQ(label->width, int((width + 10) * 1.25 + 0.5));
    EXPECT_EQ(label->height, 60);  // 16 x 3 x 1.25
    // Centred: P(260, 1920) = 499, minus half the text; y minus a quarter
    // of the height.
    const int hh = GuiPixels(label->height / 2, 1080);
    const std::vector<std::string> expected = {
        "SetColor(1, 2, 3, 4)", "SetFont(" + std::to_string(sixteen) + ")",
        "DrawText(" + std::to_string(499 - width / 2) + ", " + std::to_string(540 - hh / 2) +
            ", Hello)"};
    EXPECT_EQ(renderer.calls, expected);

    // A font index the registry does not know draws nothing.
    renderer.calls.clear();
    label->fontIndex = 99;
    label->Draw();
    EXPECT_TRUE(renderer.calls.empty());
    FontRegistry::Clear();
}

TEST_F(GuiMessages, ALayoutNestedTooDeepIsCutWithOneLineAndTheRestApplies) {
    // 100,000 groups, one inside the other, then a leaf for the outermost
    // group and a widget after the whole chain.
    const int depth = 100000;
    std::string text;
    for (int i = 0; i < depth; ++i) text += "\"GuiPanel\"\n{\n";
    text += "\"name\"  \"Innermost\"\n";
    for (int i = 0; i < depth; ++i) text += i + 1 == depth ? "\"fill\"  \"true\"\n}\n" : "}\n";
    text += "\"GuiLabel\"\n{\n  \"name\"  \"After\"\n}\n";
    dir.Write("deep.txt", text);
    const std::string out = TestSupport::CaptureStdout([] { LoadGuiLayout("deep.txt"); });
    EXPECT_EQ(out, "Layout file deep.txt: groups nested more than 64 deep were skipped\n");
    ASSERT_EQ(GuiRoot->children.size(), 2u);
    EXPECT_TRUE(GuiRoot->children[0]->filled);
    EXPECT_EQ(GuiRoot->children[1]->name, "After");
    int levels = 0;
    for (GuiPanel* p = GuiRoot->children[0]; p; p = p->children.empty() ? nullptr : p->children[0]) {
        ++levels;
    }
    EXPECT_EQ(levels, GuiPanel::kMaxLayoutDepth);
    Frame();  // the chain draws within one frame
}

// Where the keyboard goes in the GUI: the open console takes every key and
// is drawn over every menu, the pause menu follows the pause and always has
// a focused button, and the focus looks unlike the pointer's hover.
#include <string>
#include <vector>

#include "Game/StateManager.h"
#include "Gui/ConsolePanel.h"
#include "Gui/GuiButton.h"
#include "Gui/GuiTextField.h"
#include "Gui/RichText.h"
#include "System/Source/Console.h"
#include "gui_fixture.h"
#include "support/TestSupport.h"

namespace {

std::vector<std::string>& g_ran = RecordedCommands();

class GuiKeyboard : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        StartRecordingCommands();
        GetStateManager().pauseMenuShown = false;
        console = new Console();
        GuiRoot->AddChild(console);
        console->Toggle();  // hidden, as at start-up
        FocusedPanel = nullptr;
    }
    void TearDown() override {
        GetStateManager().pauseMenuShown = false;
        GuiFixture::TearDown();
    }

    // A pause menu as the game's global script makes one: hidden, layer 50,
    // two buttons linked for the keyboard, the first one first.
    void MakePauseMenu() {
        pause = Add("PauseMenu", 1000, 1000, 500.0f, 500.0f);
        pause->visible = false;
        pause->layer = 50;
        resume = Add<GuiButton>("Resume", 260, 90, 500.0f, 420.0f, pause);
        resume->SetCommand("record resume");
        resume->layer = 1;
        quit = Add<GuiButton>("Quit", 260, 90, 500.0f, 660.0f, pause);
        resume->SetNextFocus(quit);
        quit->SetPrevFocus(resume);
        pause->SetFirstFocus(resume);
    }

    // A GUI event for the next frame, as the input module posts it.
    static void PostEvent(const char* event, std::initializer_list<std::pair<const char*, int>> ints) {
        DataNode* tree = Event("GLOBAL", event);
        for (auto [key, value] : ints) SetNodeInt(tree, key, value);
        PostGuiMessage(tree);
    }
    // The open console with 1000 lines printed, the page at the end.
    RichText& OpenWithLines() {
        console->Toggle();
        for (int i = 0; i < 1000; ++i) ConsoleOutput->AddText("line\n");
        Frame();
        return *ConsoleOutput;
    }

    Console* console = nullptr;
    GuiPanel* pause = nullptr;
    GuiButton* resume = nullptr;
    GuiButton* quit = nullptr;
};

}  // namespace

TEST_F(GuiKeyboard, TheOpenConsoleAloneTakesTheKeysAndIsDrawnOverEveryMenu) {
    MakePauseMenu();
    auto* field = Add<GuiTextField>("Field", 200, 50, 100.0f, 100.0f);
    FocusedPanel = field;
    GuiHandleChar('a');
    EXPECT_FALSE(GuiHoldsKeyboard());
    EXPECT_EQ(field->text, "a");

    console->Toggle();
    ASSERT_TRUE(GuiHoldsKeyboard());
    EXPECT_EQ(FocusedPanel, console->input);
    // A click put the focus on a menu button: Enter still goes to the
    // console alone, and typing reaches no other text field: its input.
    FocusedPanel = resume;
    GuiHandleChar(13);
    EXPECT_TRUE(g_ran.empty());
    EXPECT_EQ(console->history.size(), 1u);
    FocusedPanel = field;
    GuiHandleChar('b');
    GuiHandleKey(263);
    EXPECT_EQ(field->text, "a");
    EXPECT_EQ(field->cursor, 1);
    // The frame gives the focus back to the console's input.
    pause->visible = true;
    Frame();
    EXPECT_EQ(FocusedPanel, console->input);
    GuiHandleChar('x');
    EXPECT_EQ(console->input->text, "xb");  // typed before Left

    // Over the pause menu: the console's background lies above the deepest
    // layer of the menu, whose buttons are drawn at 50 + 1.
    EXPECT_GT(console->GetEffectiveLayer() - 1, pause->layer + resume->layer);
    const std::string consoleFill = "SetColor(150, 150, 150, 255)";
    renderer.calls.clear();
    Frame();
    bool seen = false;
    for (const std::string& call : renderer.calls) {
        if (call == consoleFill) seen = true;
    }
    EXPECT_TRUE(seen) << "the open console is not drawn";
    EXPECT_EQ(renderer.Only("PushTranslation").size(), renderer.Only("PopTranslation").size())
        << "the frame leaves translations pushed";

    // The backquote closes it and gives the keyboard back.
    GuiHandleChar('`');
    EXPECT_FALSE(GuiHoldsKeyboard());
    FocusedPanel = resume;
    GuiHandleChar(13);
    EXPECT_EQ(g_ran, std::vector<std::string>{"resume"});
    Frame();
    EXPECT_EQ(console->layer, 1);
}

TEST_F(GuiKeyboard, MenusShownFocusTheirFirstButtonAndThePauseMenuFollowsThePause) {
    MakePauseMenu();
    GetStateManager().pauseMenuShown = true;
    Frame();
    EXPECT_TRUE(pause->visible);
    EXPECT_EQ(FocusedPanel, resume);
    FocusedPanel = quit;
    Frame();
    EXPECT_EQ(FocusedPanel, quit) << "a focus the player moved is kept";

    // Open, the console keeps the focus; closed, the first button has it.
    console->Toggle();
    Frame();
    EXPECT_EQ(FocusedPanel, console->input);
    console->Toggle();
    EXPECT_EQ(FocusedPanel, nullptr);
    Frame();
    EXPECT_EQ(FocusedPanel, resume);

    // A toggle message that comes a frame late does not hide it while the
    // game stays paused.
    Post("PauseMenu", "ToggleVisible");
    Frame();
    EXPECT_TRUE(pause->visible);
    EXPECT_EQ(FocusedPanel, resume);

    // A level change deletes the focused button of a level's menu.
    auto* levelButton = Add<GuiButton>("Play", 260, 90, 500.0f, 640.0f);
    FocusedPanel = levelButton;
    DeletePanel(levelButton);
    Frame();
    EXPECT_EQ(FocusedPanel, resume);

    // Unpaused: hidden, and its focus goes with it.
    GetStateManager().pauseMenuShown = false;
    Frame();
    EXPECT_FALSE(pause->visible);
    EXPECT_EQ(FocusedPanel, nullptr);

    // Any other menu that ToggleVisible shows focuses its first focus, or
    // itself if it has none.
    pause->name = System::MakeString("Options");
    Post("Options", "ToggleVisible");
    Frame();
    EXPECT_TRUE(pause->visible);
    EXPECT_EQ(FocusedPanel, resume);
    Post("Options", "ToggleVisible");
    Frame();
    EXPECT_EQ(FocusedPanel, nullptr);

    pause->SetFirstFocus(nullptr);
    Post("Options", "ToggleVisible");
    Frame();
    EXPECT_EQ(FocusedPanel, pause);
}

TEST_F(GuiKeyboard, TheFocusHasAFrameOfItsOwnAndTheHoverItsColour) {
    auto* button = Add<GuiButton>("B", 260, 90, 500.0f, 500.0f);
    button->filled = true;
    button->StoreFillColor(170, 180, 210, 255);
    const std::string hover = "SetColor(255, 255, 255, 255)";
    const std::string plain = "SetColor(170, 180, 210, 255)";
    const std::string frame = "SetColor(255, 200, 40, 255)";
    auto drawn = [&] {
        renderer.calls.clear();
        button->DrawBackground();
        std::string colours;
        for (const std::string& call : renderer.calls) {
            if (call == hover) colours += "hover ";
            if (call == plain) colours += "plain ";
            if (call == frame) colours += "frame ";
        }
        return colours;
    };
    EXPECT_EQ(drawn(), "plain ");
    button->hovered = true;
    EXPECT_EQ(drawn(), "hover ");
    FocusedPanel = button;
    EXPECT_EQ(drawn(), "hover frame ");
    button->hovered = false;
    EXPECT_EQ(drawn(), "plain frame ");
    // Only panels that light up under the pointer show the focus so.
    button->hoverFill = false;
    EXPECT_EQ(drawn(), "plain ");
}

// Whatever the pointer pressed or dragged in the open console (or beside
// it), keys go to its input, those typed before the press reaches the
// panels too; drags still scroll and select.
TEST_F(GuiKeyboard, TheOpenConsolesInputTakesTheKeysWhateverThePointerPressed) {
    RichText& out = OpenWithLines();
    const auto [ox, oy] = out.GetScreenOffset();
    const auto [kx, ky] = out.scroller->bar->GetScreenOffset();  // the knob at the foot
    const auto [bx, by] = console->button->GetScreenOffset();
    // Output, knob dragged up, text dragged across, frame, button, beside.
    const int cases[][3] = {{ox + 500, oy + 300, 0}, {kx + 5, ky + 5, -200}, {ox + 20, oy + 10, 60},
                            {ox - 30, oy + 300, 0},  {bx + 5, by + 5, 0},    {100, 540, 0}};
    for (auto [x, y, dragY] : cases) {
        GuiHandleMouseMove(x, y);
        GuiHandleMouseDown(x, y);
        PostEvent("OnClick", {{"x", x}, {"y", y}});
        GuiHandleChar('x');
        Frame();
        GuiHandleMouseMove(x, y + dragY);
        Frame();
        // y z, Left, Backspace (the y goes), Right, w (keys negative).
        for (int k : {int('y'), int('z'), -kGuiKeyLeft, kGuiCharDelete, -kGuiKeyRight, int('w')}) {
            k > 0 ? GuiHandleChar(unsigned(k)) : GuiHandleKey(-k);
        }
        EXPECT_TRUE(dragY >= 0 || out.firstLine < out.LastTopLine()) << "the knob does not scroll";
        EXPECT_TRUE(dragY <= 0 || out.selEnd > out.selStart) << "the drag does not select";
        PostEvent("OnRelease", {});
        Frame();
        TestSupport::CaptureStdout([] { GuiHandleChar(kGuiCharEnter); });
        EXPECT_EQ(console->history.back(), "xzw") << "pressed at " << x << ", " << y;
        out.AddText("\n");  // back to the end
        Frame();
    }
}

// Every notch moves the page three lines, however many come in one frame,
// and none is banked past either end.
TEST_F(GuiKeyboard, EveryWheelNotchMovesTheOutputThreeLines) {
    RichText& out = OpenWithLines();
    const int end = out.LastTopLine();
    // From a line, the notches of each frame ('u' up, 'd' down, frames parted
    // by '|'), to a line.
    const std::tuple<int, std::string, int> cases[] = {
        {end, "uuuuuuuuuu", end - 30}, {end, "u|u|u|u|u|u|u|u|u|u", end - 30}, {end, "uuuuuddd", end - 6},
        {9, "uuuuu|dd", 6},            {end - 6, "dddd|u", end - 3}};
    for (const auto& [from, notches, to] : cases) {
        out.firstLine = from;
        for (char notch : notches + "|") {
            notch == '|' ? Frame() : PostEvent("OnMouseScroll", {{"state", notch == 'd' ? 1 : 0}});
        }
        EXPECT_EQ(out.firstLine, to) << notches << " from " << from;
    }
    // A notch in the frame that printed counts from the new end; the
    // hidden console's page takes none.
    out.AddText("one more\n");
    PostEvent("OnMouseScroll", {{"state", 0}});
    Frame();
    EXPECT_EQ(out.firstLine, out.LastTopLine() - 3);
    console->Toggle();
    PostEvent("OnMouseScroll", {{"state", 1}});
    Frame();
    console->Toggle();
    Frame();
    EXPECT_EQ(out.firstLine, out.LastTopLine() - 3);
}

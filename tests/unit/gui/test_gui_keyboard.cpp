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

    // A press of the left button as the input module hands it over: the hit
    // test at once, the "OnClick" message in the next frame.
    static void Press(int x, int y) {
        GuiHandleMouseMove(x, y);
        GuiHandleMouseDown(x, y);
        DataNode* click = Event("GLOBAL", "OnClick");
        SetNodeInt(click, "x", x);
        SetNodeInt(click, "y", y);
        PostGuiMessage(click);
    }
    // Wheel notches for the coming frame: 'u' up, 'd' down.
    static void Wheel(const std::string& notches) {
        for (char notch : notches) {
            DataNode* scroll = Event("GLOBAL", "OnMouseScroll");
            SetNodeInt(scroll, "state", notch == 'd' ? 1 : 0);
            PostGuiMessage(scroll);
        }
    }
    // The open console with `lines` lines printed, the page at the end.
    RichText& OpenWithLines(int lines) {
        console->Toggle();
        std::string text;
        for (int i = 0; i < lines; ++i) text += "line " + std::to_string(i) + "\n";
        ConsoleOutput->AddText(text);
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
// it), typed characters and keys go to its input, those typed in the frame
// of the press included; the press still scrolls and selects.
TEST_F(GuiKeyboard, TheOpenConsolesInputTakesTheKeysWhateverThePointerPressed) {
    RichText& out = OpenWithLines(1000);
    GuiScrollBar& bar = *out.scroller->bar;
    auto centre = [](GuiPanel* panel) {
        auto [x, y] = panel->GetScreenOffset();
        return std::pair{x + GuiPixelsX(panel->width) / 2, y + GuiPixelsY(panel->height) / 2};
    };
    const auto [outX, outY] = out.GetScreenOffset();
    const auto [consoleX, consoleY] = console->GetScreenOffset();
    struct Case {
        const char* what;
        std::pair<int, int> at;
        int dragY;  // how far the pointer moves while held
    };
    const Case cases[] = {
        {"a click in the output", centre(&out), 0},
        {"the knob dragged up", centre(&bar), -200},
        {"a drag across the output text", {outX + 20, outY + 10}, 60},
        {"a click on the console's frame", {consoleX + 10, consoleY + 500}, 0},
        {"a click on the console's button", centre(console->button), 0},
        {"a click beside the console", {100, 540}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Frame();  // the page at the end again
        const int endLine = out.firstLine;
        SetConsoleInputText("");
        Press(c.at.first, c.at.second);
        GuiHandleChar('x');  // before the press reaches the panels
        Frame();
        GuiHandleMouseMove(c.at.first, c.at.second + c.dragY);
        Frame();
        // y z, Left, Backspace (the y goes), Right, w: "xzw".
        GuiHandleChar('y');
        GuiHandleChar('z');
        GuiHandleKey(kGuiKeyLeft);
        GuiHandleChar(kGuiCharDelete);
        GuiHandleKey(kGuiKeyRight);
        GuiHandleChar('w');
        EXPECT_EQ(GetConsoleInputText(), "xzw");
        if (c.dragY < 0) { EXPECT_LT(out.firstLine, endLine) << "the knob no longer scrolls"; }
        if (c.dragY > 0) { EXPECT_GT(out.selEnd, out.selStart) << "the drag no longer selects"; }
        PostGuiMessage(Event("GLOBAL", "OnRelease"));
        Frame();
        TestSupport::CaptureStdout([] { GuiHandleChar(kGuiCharEnter); });
        EXPECT_NE(out.NarrowText().find(":xzw\nCommand \"xzw\" cannot be found\n"),
                  std::string::npos);
        GuiHandleKey(kGuiKeyUp);
        EXPECT_EQ(GetConsoleInputText(), "xzw");
        // Tab puts the first candidate into the input as the frame draws.
        SetConsoleInputText("");
        GuiHandleChar('S');
        GuiHandleChar('t');
        GuiHandleKey(kGuiKeyTab);
        Frame();
        EXPECT_EQ(GetConsoleInputText(), "StateManagerUnlockPause");
        out.selStart = out.selEnd = -1;
        ConsoleOutput->AddText("next\n");
    }
}

// Every notch moves the page three lines, however many come in one frame,
// and none is banked past either end.
TEST_F(GuiKeyboard, EveryWheelNotchMovesTheOutputThreeLines) {
    RichText& out = OpenWithLines(2000);
    const int end = out.ScrollLines() - out.linesPerPage;
    ASSERT_EQ(out.firstLine, end);
    struct Case {
        int from;
        const char* frames;  // the notches of each frame, frames parted by '|'
        int expected;
    };
    const Case cases[] = {
        {end, "uuuuuuuuuu", end - 30},
        {end, "u|u|u|u|u|u|u|u|u|u", end - 30},
        {end, "uuuuu|uuuuu", end - 30},
        {end, "uuuuuddd", end - 6},
        {9, "uuuuu", 0},
        {9, "uuuuu|dd", 6},
        {end - 6, "dddd", end},
        {end - 6, "dddd|u", end - 3},
    };
    for (const Case& c : cases) {
        out.firstLine = c.from;
        std::string frames = c.frames;
        for (size_t start = 0; start <= frames.size();) {
            const size_t bar = std::min(frames.find('|', start), frames.size());
            Wheel(frames.substr(start, bar - start));
            Frame();
            start = bar + 1;
        }
        EXPECT_EQ(out.firstLine, c.expected) << c.frames << " from line " << c.from;
    }
    // A notch in the frame that printed counts from the new end.
    out.AddText("one more\n");
    Wheel("u");
    Frame();
    EXPECT_EQ(out.firstLine, out.ScrollLines() - out.linesPerPage - 3);
}

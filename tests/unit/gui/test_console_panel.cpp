// The console panel and its widgets without a window: lines typed into the
// input through the console's own key handling, the output read back from
// the rich text, drawing recorded by a renderer that logs its calls.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <lua.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "Game/Registration.h"
#include "Graphics/Font.h"
#include "Graphics/Window.h"
#include "Gui/ConsolePanel.h"
#include "Gui/GuiCommandComplete.h"
#include "Gui/GuiTextField.h"
#include "Gui/RichText.h"
#include "System/Source/Console.h"
#include "System/Source/ConsolePrint.h"
#include "System/Source/DataNode.h"
#include "System/Source/EngineRandom.h"
#include "System/Source/LuaState.h"
#include "gui_fixture.h"
#include "support/SavedConsole.h"
#include "support/TestSupport.h"

using TestSupport::CaptureStdout;
using Names = std::vector<std::string>;

namespace {

// The project's folder (its font aliases and levels), the engine's
// registrations, a 1920x1080 window and a console.
class ConsolePanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
        oldCwd = cwd;
        ASSERT_EQ(chdir(TAZZLE_SOURCE_DIR), 0);
        CloseLua();
        RunStaticRegistration();
        savedW = WindowWidth;
        savedH = WindowHeight;
        WindowWidth = 1920;
        WindowHeight = 1080;
        console = new Console();
    }
    void TearDown() override {
        delete console;
        CurrentRenderer = nullptr;
        FocusedPanel = nullptr;
        WindowWidth = savedW;
        WindowHeight = savedH;
        CloseLua();
        FontRegistry::Clear();
        EXPECT_EQ(chdir(oldCwd.c_str()), 0);
    }

    // Types text and keys as the GUI root hands them to the console.
    void Type(const std::string& text) {
        for (char c : text) console->OnChar(static_cast<unsigned char>(c));
    }
    void Submit(const std::string& line) {
        SetConsoleInputText(line);
        console->OnChar(kGuiCharEnter);
    }
    void Key(int key) { console->OnSpecialKeyDown(key); }
    std::string Output() const { return ConsoleOutput->NarrowText(); }
    std::string Input() const { return GetConsoleInputText(); }

    // What the completion list shows for the input's text now; applies a
    // selection as a frame's drawing does.
    Names Listed() {
        console->completion->Draw();
        return console->completion->Candidates(console->completion->savedText.size() >= 2
                                                   ? console->completion->savedText
                                                   : Input());
    }

    Console* console = nullptr;
    GuiRecorder renderer;  // set as the current one by the tests that draw
    TestSupport::SavedConsole savedConsole;
    std::string oldCwd;
    int32_t savedW = 0, savedH = 0;
};

TEST_F(ConsolePanelTest, SubmittedLinesAreEchoedRunAndKeptInOrder) {
    EXPECT_EQ(FocusedPanel, console->input);
    Type("clear");
    EXPECT_EQ(Input(), "clear");
    std::string out = CaptureStdout([&] { console->OnChar(kGuiCharEnter); });
    EXPECT_EQ(Output(), ":clear\nCommand \"clear\" cannot be found\n");
    EXPECT_EQ(out, Output());  // the copy on standard output
    EXPECT_EQ(Input(), "");

    // An empty line quotes nothing and still enters the history.
    CaptureStdout([&] { Submit(""); });
    EXPECT_NE(Output().find(":\nCommand \"\" cannot be found\n"), std::string::npos);
    ASSERT_EQ(console->history.size(), 2u);

    // The output area's own command empties it.
    CaptureStdout([&] { Submit("Clear"); });
    EXPECT_EQ(Output(), "");

    // Editing: character 10 deletes before the cursor (at the start, the
    // first character); cursor keys move it.
    Type("abd");
    Key(kGuiKeyLeft);
    Type("c");
    for (int i = 0; i < 5; ++i) Key(kGuiKeyLeft);
    Type("\n");
    EXPECT_EQ(Input(), "bcd");
}

TEST_F(ConsolePanelTest, UpAndDownWalkTheHistoryWithWrapAround) {
    // Empty history: the input stays as it is.
    Type("x");
    Key(kGuiKeyUp);
    Key(kGuiKeyDown);
    EXPECT_EQ(Input(), "x");

    CaptureStdout([&] {
        Submit("a");
        Submit("b");
        Submit("c");
    });
    Names seen;
    for (int i = 0; i < 4; ++i) {
        Key(kGuiKeyUp);
        seen.push_back(Input());
    }
    EXPECT_EQ(seen, (Names{"c", "b", "a", "c"}));
    CaptureStdout([&] { Submit("d"); });
    Key(kGuiKeyDown);
    EXPECT_EQ(Input(), "a");
    EXPECT_EQ(ConsoleInput->cursor, 1);
}

TEST_F(ConsolePanelTest, HiddenConsoleTakesNoKeysAndToggleKeysShowIt) {
    CaptureStdout([&] { Submit("level QUIT_GAME_NOT"); });
    console->OnChar('`');
    EXPECT_FALSE(console->visible);
    EXPECT_EQ(FocusedPanel, nullptr);
    const std::string before = Output();
    FocusedPanel = console->input;  // even with the focus left on the input
    std::string out = CaptureStdout([&] {
        Key(kGuiKeyUp);
        Key(kGuiKeyTab);
        console->OnChar(kGuiCharEnter);
        Type("zz");
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(Output(), before);
    EXPECT_EQ(Input(), "");
    EXPECT_EQ(console->history.size(), 1u);

    console->OnChar('~');
    EXPECT_TRUE(console->visible);
    EXPECT_EQ(FocusedPanel, console->input);
    EXPECT_EQ(Input(), "");  // the toggle character is never typed

    // A plain text field of a layout keeps the backquote for itself.
    GuiTextField field(100, 100, 0.0f, 0.0f);
    FocusedPanel = &field;
    console->OnChar('`');
    EXPECT_TRUE(console->visible);
    FocusedPanel = nullptr;
}

TEST_F(ConsolePanelTest, ScriptPrintAndFormattedOutputAreData) {
    lua_State* L = GetLuaState();
    std::string out = CaptureStdout([&] {
        ASSERT_EQ(luaL_dostring(L, "Print('100%s %n %d\\n') Print(7) Print()"), 0);
        ConsolePrintf("%s=%d;%s\n", std::string(3000, 'x').c_str(), 42, "end");
        // A NUL is left out, on every path, and what follows it is kept.
        ASSERT_EQ(luaL_dostring(L, "Print('a\\0b\\n')"), 0);
        ConsolePrintf("c%cd\n", 0);
        ConsoleWrite(std::string_view("e\0f\n", 4));
    });
    ConsoleOutput->AddText(std::string_view("g\0h\n", 4));
    const std::string expected = "100%s %n %d\n7" + std::string(3000, 'x') + "=42;end\nab\ncd\nef\n";
    EXPECT_EQ(Output(), expected + "gh\n");
    EXPECT_EQ(out, expected);
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(ConsolePanelTest, TabCyclesThroughEntriesAndArgumentCandidates) {
    Type("St");
    EXPECT_EQ(Listed(), (Names{"StateManagerUnlockPause", "StateManagerLockPause"}));
    Names picked;
    for (int i = 0; i < 3; ++i) {
        Key(kGuiKeyTab);
        Listed();
        picked.push_back(Input());
    }
    EXPECT_EQ(picked, (Names{"StateManagerUnlockPause", "StateManagerLockPause",
                             "StateManagerUnlockPause"}));

    // Typing clears the pick; a one-character text is not kept.
    SetConsoleInputText("");
    Type("lu");
    Type("\n");
    EXPECT_EQ(Listed()[0], "level");
    Key(kGuiKeyTab);
    Listed();
    EXPECT_EQ(Input(), "level");
    for (const std::string& name : Listed()) EXPECT_EQ(name, "level");

    // Arguments: the text after the last blank is what is compared.
    Type(" ");
    Names states = Listed();
    ASSERT_GE(states.size(), 4u);
    EXPECT_EQ(states[0], "QUIT_GAME");
    EXPECT_EQ(states[1], "RESTART_LEVEL");
    Key(kGuiKeyTab);
    Listed();
    EXPECT_EQ(Input(), "level QUIT_GAME");
    SetConsoleInputText("level GenericTileLevel 00_");
    console->completion->Clear();
    EXPECT_EQ(Listed(), Names{"00_Menu_Splash.tmx"});
    Key(kGuiKeyTab);
    Listed();
    EXPECT_EQ(Input(), "level GenericTileLevel 00_Menu_Splash.tmx");

    // A recalled line finds its command again, and a pick made before the
    // recall does not overwrite it.
    CaptureStdout([&] { Submit("level RES"); });
    Type("mu");
    Key(kGuiKeyTab);
    Listed();
    Key(kGuiKeyUp);
    EXPECT_EQ(Listed(), Names{"RESTART_LEVEL"});
    EXPECT_EQ(Input(), "level RES");
}

// Counts how often the candidate lists are fetched.
int g_fetches = 0;
ConsoleCandidates CountedCandidates() {
    ++g_fetches;
    return {{"alpha", "beta"}};
}

TEST_F(ConsolePanelTest, CandidateListsAreFetchedOncePerTypedText) {
    static ConsoleCommand counted;
    counted.Register("countedCompletion", "", nullptr, CountedCandidates);
    CurrentRenderer = &renderer;
    g_fetches = 0;
    Type("countedCompletion a");
    for (int frame = 0; frame < 5; ++frame) console->completion->Draw();
    EXPECT_EQ(g_fetches, 1);
    EXPECT_EQ(console->completion->count, 1);
    Type("\n");
    console->completion->Draw();
    EXPECT_EQ(g_fetches, 2);
    EXPECT_EQ(console->completion->count, 2);
}

// ---- Rich text.

class RichTextTest : public ConsolePanelTest {
protected:
    void SetUp() override {
        ConsolePanelTest::SetUp();
        // Every measure below reads the console's font.
        ASSERT_NE(GetFontByIndex(Out().font), nullptr);
    }
    RichText& Out() { return *ConsoleOutput; }
    int Advance(char c) {
        return int(GetFontByIndex(Out().font)->glyphs[static_cast<unsigned char>(c)].advanceX);
    }
    // The x's that fit on a line: the limit is the panel's width less 10 pixels.
    int PerLine() { return (GuiPixelsX(550) - 10) / Advance('x'); }
};

TEST_F(RichTextTest, LinesBreakAtLineFeedsAndBeforeTheOverflow) {
    ASSERT_NE(GetFontByIndex(Out().font), nullptr);
    Out().AddText("a\nb");
    Out().Update();
    EXPECT_EQ(Out().lineStarts, (System::Vector<uint32_t>{1}));

    // A full line of x's breaks before the character that passes the limit;
    // after a line feed the count starts anew.
    const int perLine = PerLine();
    Out().Clear();
    Out().AddText(std::string(perLine + 1, 'x'));
    Out().Update();
    EXPECT_EQ(Out().lineStarts, (System::Vector<uint32_t>{uint32_t(perLine)}));
    Out().Clear();
    Out().AddText(std::string(perLine - 2, 'x') + "\n" + std::string(perLine, 'x'));
    Out().Update();
    EXPECT_EQ(Out().lineStarts, (System::Vector<uint32_t>{uint32_t(perLine - 2)}));

    // The page is the panel's height in the viewport: a 1024x768 window.
    WindowWidth = 1024;
    WindowHeight = 768;
    Out().BreakLines();
    EXPECT_EQ(Out().linesPerPage, (GuiPixels(600, 576) - 4) / (2 + Out().LineHeight()));
    // Scrolled to the end, the newest line is drawn inside the panel.
    const int top = GuiPixelsY(400) - GuiPixelsY(300) + 4;
    EXPECT_LE(top + (Out().linesPerPage - 1) * (2 + Out().LineHeight()) + Out().LineHeight(),
              GuiPixelsY(400) + GuiPixelsY(300));
}

// Scrolled to the end, the newest line is drawn whole inside the output
// area, and the line before it too, whatever the window's shape.
TEST_F(RichTextTest, TheNewestLineShowsWholeAtEveryWindowSize) {
    CurrentRenderer = &renderer;
    // As the console prints: every line ends with a line feed.
    std::string text;
    for (int i = 0; i < 200; ++i) text += "line" + std::to_string(i) + "\n";
    // Every height from 360 to 1440 pixels, in windows wider than 16:9 (so
    // the viewport is the window's height), then a few narrow ones.
    std::vector<std::pair<int, int>> sizes;
    for (int height = 360; height <= 1440; ++height) sizes.emplace_back(height * 2, height);
    for (auto size : {std::pair{1024, 768}, {800, 600}, {1280, 1024}, {700, 1400}}) {
        sizes.push_back(size);
    }
    // A script's Print need not end its line: that last line shows too.
    const std::string unended = text + "line200";
    for (auto [w, h] : sizes) for (const std::string* shown : std::initializer_list<const std::string*>{&text, &unended}) {
        WindowWidth = w;
        WindowHeight = h;
        Out().Clear();
        Out().AddText(*shown);
        Out().Update();
        renderer.calls.clear();
        Out().Draw();
        const Names texts = renderer.Only("DrawText");
        ASSERT_GE(texts.size(), 2u) << w << "x" << h;
        if (HasFailure()) break;  // one size tells
        const std::string& last = texts.back();
        const bool ended = shown == &text;
        EXPECT_NE(last.find(ended ? ", line199)" : ", line200)"), std::string::npos)
            << w << "x" << h << ": " << last;
        EXPECT_NE(texts[texts.size() - 2].find(ended ? ", line198)" : ", line199)"), std::string::npos)
            << w << "x" << h;
        // DrawText(x, y, text): the line's top, and the area's bottom edge.
        const size_t afterX = last.find(", ");
        const int top = std::atoi(last.c_str() + afterX + 2);
        const int bottom = GuiPixelsY(Out().y) + GuiPixelsY(Out().height / 2);
        EXPECT_LE(top + Out().LineHeight(), bottom) << w << "x" << h;
    }
}

TEST_F(RichTextTest, DrawingStepsOverLineFeedsAndSkipsWrappedBlanks) {
    CurrentRenderer = &renderer;
    const int perLine = PerLine();
    // A wrapped line of blanks only: the skip stops at the next line start.
    Out().AddText("a\nb\n" + std::string(perLine, 'x') + std::string(perLine + 5, ' ') + "z");
    Out().Update();
    Out().Draw();
    const Names texts = renderer.Only("DrawText");
    const int x0 = GuiPixelsX(300) - GuiPixelsX(275) + 4;
    const int y0 = GuiPixelsY(400) - GuiPixelsY(300) + 4;
    const int step = 2 + Out().LineHeight();
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts[0], "DrawText(" + std::to_string(x0) + ", " + std::to_string(y0) + ", a)");
    EXPECT_EQ(texts[1],
              "DrawText(" + std::to_string(x0) + ", " + std::to_string(y0 + step) + ", b)");
    EXPECT_EQ(texts.back().substr(texts.back().size() - 2), "z)");
    for (const std::string& call : texts) EXPECT_EQ(call.find(", )"), std::string::npos) << call;

    // A selection draws the pieces that start in it inverted: a black box
    // under white text (the pieces "a" and "b" here).
    const size_t whiteBefore = renderer.Only("SetColor(255, 255, 255, 255)").size();
    renderer.calls.clear();
    Out().selStart = 3;
    Out().selEnd = 0;
    Out().Draw();
    EXPECT_EQ(renderer.Only("SetColor(255, 255, 255, 255)").size(), whiteBefore + 2);
}

TEST_F(RichTextTest, WheelAndBarMoveThePageWithFractionsAtBothEnds) {
    for (int i = 0; i < 100; ++i) Out().AddText("line\n");
    Out().Update();  // new text scrolls to the end
    const int lines = Out().LineCount();
    const int page = Out().linesPerPage;
    ASSERT_GT(lines, page);
    EXPECT_EQ(Out().firstLine, lines - page);
    GuiScrollBar& bar = *Out().scroller->bar;
    EXPECT_EQ(bar.trackLength, GuiPixelsY(598));
    EXPECT_EQ(bar.height, SafeDoubleToInt(598.0 * page / lines));
    const int half = bar.KnobPixels() / 2;
    EXPECT_EQ(GuiPixelsY(bar.y), bar.trackLength - half - 1);  // one short of the end

    // The wheel: three lines up per notch, down again, clamped at the top.
    Out().OnMouseScroll(0);
    Out().Update();
    EXPECT_EQ(Out().firstLine, lines - page - 3);
    Out().firstLine = 2;
    Out().OnMouseScroll(0);
    Out().Update();
    EXPECT_EQ(Out().firstLine, 0);
    EXPECT_EQ(GuiPixelsY(bar.y), half);

    // Dragging the knob past the top reports 0.005; a NaN is refused.
    bar.OnMouseDown(0, 500);
    bar.OnMouseMove(0, -1000);
    bar.OnMouseUp();
    EXPECT_FLOAT_EQ(bar.FractionAt(half), 0.005f);
    DataNode* nan = MakeNodeWithFloat("ScrollBar", "Index", std::nanf(""));
    Out().firstLine = 5;
    Out().HandleMessage(nan, nullptr);
    EXPECT_EQ(Out().firstLine, 5);
    FreeNodeTree(nan);
    delete nan;

    // A bar that no container sizes has the container's track; a knob as
    // long as the track gives the fraction 0, not NaN.
    GuiScrollBar loose(10, 100, 5.0f, 50.0f);
    EXPECT_EQ(loose.trackLength, GuiPixelsY(598));
    bar.trackLength = bar.KnobPixels();
    EXPECT_EQ(bar.FractionAt(half), 0.0f);
    // After Clear the knob has no length and the wheel goes to the top.
    Out().Clear();
    Out().Update();
    EXPECT_EQ(bar.height, 0);
    Out().OnMouseScroll(1);
    EXPECT_EQ(Out().pendingScroll, 0.0f);
}

TEST_F(ConsolePanelTest, TextFieldCursorBarSitsUnderTheShownText) {
    CurrentRenderer = &renderer;
    GuiTextField field(100, 50, 50.0f, 500.0f);
    const Font* font = GetFontByIndex(field.font);
    ASSERT_NE(font, nullptr);
    const int a = int(font->glyphs['a'].advanceX);
    const std::string text(GuiPixelsX(50) * 2 / a + 4, 'a');
    field.SetText(text);
    const size_t hidden = field.HiddenLeadingCharacters();
    ASSERT_GT(hidden, 0u);
    field.Draw();
    const Names texts = renderer.Only("DrawText");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(", " + text.substr(hidden) + ")"), std::string::npos);
    // The cursor at the end: the bar starts after the shown characters only.
    const Names bars = renderer.Only("FillRect");
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ(bars[0].substr(0, bars[0].find(',')),
              "FillRect(" + std::to_string(a * int(text.size() - hidden)));
}


TEST_F(RichTextTest, AppendedTextBreaksAsTheWholeTextWould) {
    // The reference: the same text broken in one go by a fresh panel, which
    // keeps nothing from the steps before.
    auto reference = [&] {
        RichText whole(300.0f, 400.0f);
        whole.SetFont("Consola", 12);
        whole.width = Out().width;
        whole.text = Out().text;
        whole.BreakLines();
        return std::pair(whole.lineStarts, whole.linesPerPage);
    };
    System::EngineSrand(20261207);
    auto rnd = [](int n) { return System::EngineRand() % n; };
    const int perLine = PerLine();
    // Letters of three widths; blanks, line feeds, a tab, a character
    // above 127 and one beyond the font.
    const char16_t kLetters[] = {u'x', u'i', u'W'};
    const char16_t kSeparators[] = {u' ', u' ', u'\n', u'\t', char16_t(0xE9), char16_t(0x263A)};
    for (int step = 0; step < 800; ++step) {
        const int what = rnd(30);
        if (what == 0) {
            Out().width = 150 + rnd(800);
        } else if (what == 1) {
            WindowWidth = 640 + rnd(1400);
        } else if (what == 2) {
            Out().Clear();
        } else {
            std::u16string piece;
            for (int words = rnd(6); words > 0; --words) {
                // Mostly short words, now and then one longer than a line.
                const int length = rnd(10) == 0 ? perLine + rnd(2 * perLine) : rnd(12);
                for (int k = 0; k < length; ++k) piece.push_back(kLetters[rnd(3)]);
                piece.push_back(kSeparators[rnd(6)]);
            }
            Out().AddWideText(piece.c_str());
        }
        // Several prints may come between two frames.
        if (rnd(3) != 0) {
            Out().Update();
            ASSERT_EQ(std::pair(Out().lineStarts, Out().linesPerPage), reference())
                << "step " << step;
        }
    }
}

TEST_F(RichTextTest, HiddenOutputKeepsItsLinesAndLeavesThePageToTheShow) {
    for (int i = 0; i < 100; ++i) Out().AddText("line\n");
    Out().Update();
    const int top = Out().firstLine;
    ASSERT_EQ(top, 100 - Out().linesPerPage);
    console->visible = false;
    for (int i = 0; i < 50; ++i) Out().AddText("more\n");
    Out().Update();
    EXPECT_EQ(Out().LineCount(), 150);
    EXPECT_EQ(Out().firstLine, top);
    // Shown, the page goes to the end as the new text asked.
    console->visible = true;
    Out().Update();
    EXPECT_EQ(Out().firstLine, 150 - Out().linesPerPage);
}

// The output keeps the newest text within its limit (a small one here): the
// oldest whole lines go (a line longer than a quarter of the limit is cut
// through), the lines left break as a fresh panel breaks them, and a page
// scrolled up and a selection stay on their text.
TEST_F(RichTextTest, TheOutputKeepsItsNewestLinesWithinItsLimit) {
    CurrentRenderer = &renderer;
    RichText& out = Out();
    out.historyLimit = 2000;
    RichText fresh(300.0f, 400.0f);
    fresh.SetFont("Consola", 12);
    std::string printed;
    auto line = [](int k) { return "line " + std::to_string(10000 + k) + "\n"; };  // 11 characters
    const std::string pieces[] = {line(1), std::string(150, 'i') + "\n", std::string(700, 'q') + "\n",
                                  std::string(1500, 'x'), std::string(5000, 'w') + "\n"};
    for (int i = 0; i < 1000; ++i) {
        const std::string& piece = pieces[i % 50 == 49 ? 2 + i / 50 % 3 : i % 2];
        printed += piece;
        out.AddText(piece);
        if (i % 3 != 0) continue;  // several prints may come between two frames
        out.Update();
        const std::string kept = out.NarrowText();
        const size_t k = printed.size() - kept.size();  // where the kept text begins
        ASSERT_LE(kept.size(), 2000u) << i;
        ASSERT_EQ(printed.substr(k), kept) << i;
        ASSERT_TRUE(k == 0 || printed[k - 1] == '\n' || printed.find('\n', k - 1) >= k + 500) << i;
        fresh.Clear();
        fresh.text = out.text;
        fresh.BreakLines();
        ASSERT_EQ(out.lineStarts, fresh.lineStarts) << i;
    }
    auto firstShown = [&] {
        renderer.calls.clear();
        out.Draw();
        return renderer.Only("DrawText").at(0);
    };
    out.Clear();
    for (int k = 0; k < 180; ++k) out.AddText(line(k));  // 1980 characters: nothing goes yet
    out.Update();
    out.OnMouseScroll(0);
    out.Update();
    const std::string shown = firstShown();
    out.selStart = int32_t(out.NarrowText().find(line(170)));
    out.selEnd = out.selStart + 10;
    out.AddText(line(180) + line(181));
    EXPECT_LT(out.text.size(), 1900u);
    EXPECT_EQ(firstShown(), shown);
    EXPECT_EQ(out.NarrowText().substr(size_t(out.selStart), 11), line(170));
    out.Update();  // new text scrolls to the end
    EXPECT_EQ(out.firstLine, out.ScrollLines() - out.linesPerPage);
}

TEST_F(RichTextTest, WheelMovesThreeLinesANotchAtAnyLength) {
    for (int lines : {600, 1000, 100000}) {
        Out().Clear();
        std::string text;
        for (int i = 0; i < lines; ++i) text += "line\n";
        Out().AddText(text);
        Out().Update();
        const int end = Out().firstLine;
        ASSERT_EQ(end, lines - Out().linesPerPage);
        // Ten notches up, ten back down and one more, which stays at the end.
        for (int notch = 1; notch <= 21; ++notch) {
            Out().OnMouseScroll(notch <= 10 ? 0 : 1);
            Out().Update();
            const int up = notch <= 10 ? notch : std::max(0, 20 - notch);
            ASSERT_EQ(Out().firstLine, end - 3 * up) << lines << " lines, notch " << notch;
        }
    }
}

// When the window's size changes (fullscreen and back) or the page's
// height does, a page that showed the end shows the new end, any other
// keeps the line at its top; none scrolls past the text, and the knob
// stands where the page is.
TEST_F(RichTextTest, ThePageKeepsItsEndOrItsTopLineWhenTheSizeChanges) {
    std::string text;  // lines of every length: a narrower output wraps the longer
    for (int i = 0; i < 600; ++i) text += "line " + std::string(i % 150, 'x') + "\n";
    GuiScrollBar& bar = *Out().scroller->bar;
    // From a window to a window (1: 1920x1080, 0: 1024x768), notches up
    // before, the output's height after.
    const int cases[][4] = {{1, 0, 0, 600}, {0, 1, 0, 600}, {1, 0, 60, 600}, {0, 1, 60, 600},
                            {0, 1, 999, 600}, {1, 1, 0, 300}, {1, 1, 60, 900}};
    for (auto [from, to, notches, height] : cases) {
        SCOPED_TRACE(std::to_string(from) + std::to_string(to) + " " + std::to_string(notches));
        WindowWidth = from ? 1920 : 1024, WindowHeight = from ? 1080 : 768, Out().height = 600;
        Out().Clear();
        Out().AddText(text);
        Out().Update();
        for (int i = 0; i < notches; ++i) Out().OnMouseScroll(0);
        Out().Update();
        const uint32_t topCharacter = Out().firstLine > 0 ? Out().lineStarts[Out().firstLine - 1] : 0;
        WindowWidth = to ? 1920 : 1024, WindowHeight = to ? 1080 : 768, Out().height = height;
        Out().Update();
        const int top = Out().firstLine, last = Out().LastTopLine();
        EXPECT_EQ(top, notches ? std::min(top, last) : last);
        // Scrolled up, the top line holds the character that was at the top.
        const uint32_t topStart = top ? Out().lineStarts[top - 1] : 0;
        EXPECT_TRUE(!notches || (topStart <= topCharacter && topCharacter < Out().lineStarts[top]));
        const int half = bar.KnobPixels() / 2;
        EXPECT_NEAR(GuiPixelsY(bar.y), half + (bar.trackLength - 2 * half) * top / double(last), 2.0);
    }
}

// The corners of a recorded "FillRect" call: x1, y1, x2, y2.
std::vector<int> Corners(const std::string& call) {
    std::vector<int> c(4, 0);
    EXPECT_EQ(std::sscanf(call.c_str(), "FillRect(%d, %d, %d, %d)", &c[0], &c[1], &c[2], &c[3]),
              4)
        << call;
    return c;
}

TEST_F(ConsolePanelTest, CaretSitsInTheInputAndTheListInsideTheConsole) {
    CurrentRenderer = &renderer;
    for (auto [w, h] : {std::pair{1920, 1080}, std::pair{1024, 768}}) {
        WindowWidth = w;
        WindowHeight = h;
        const int inputY = GuiPixelsY(console->input->y);
        renderer.calls.clear();
        console->input->Draw();
        const Names caret = renderer.Only("FillRect");
        ASSERT_EQ(caret.size(), 1u);
        const std::vector<int> bar = Corners(caret[0]);
        // The input's box is drawn 15 pixels above and below its centre:
        // the caret lies on its lower edge, inside the border.
        EXPECT_GE(std::min(bar[1], bar[3]), inputY - 15) << caret[0];
        EXPECT_EQ(std::max(bar[1], bar[3]), inputY + 15 - console->input->border) << caret[0];
    }

    // The completion list's lower edge lies a 16-pixel row below (25, 700)
    // of the console, over the foot of the output; its rows go up from
    // there one step apart (16 pixels, and more than a line of its font),
    // on its fill, the whole inside the console: as many rows as there is
    // room for (the real window sizes have room for all). A Tab to the last
    // candidate shows its row.
    const int lineHeight = FontLineHeight(GetFontByIndex(GetFont("Consola", 12)));
    const std::tuple<int, int, std::string> cases[] = {
        {1920, 1080, "b"}, {1024, 768, "b"}, {1920, 1080, "level "}, {1024, 768, "level "},
        {320, 180, "b"},   {240, 135, "b"},  {160, 90, "b"}};
    for (const auto& [w, h, typed] : cases) {
        WindowWidth = w, WindowHeight = h;
        SetConsoleInputText(typed);
        console->completion->Clear();
        const Names listed = console->completion->Candidates(typed);
        for (int tabs : {0, int(listed.size())}) {
            for (int k = 0; k < tabs; ++k) Key(kGuiKeyTab);
            renderer.calls.clear();
            console->completion->Draw();
            const Names rows = renderer.Only("DrawText"), fills = renderer.Only("FillRect");
            ASSERT_TRUE(fills.size() == 1 && !rows.empty()) << w << " " << typed;
            const std::vector<int> list = Corners(fills[0]);
            const int step = (list[3] - list[1]) / int(rows.size());
            EXPECT_TRUE(step >= 16 && step > lineHeight && list[1] >= 0 &&
                        list[3] <= 2 * console->DrawnHalfHeight()) << step << " " << fills[0];
            for (size_t i = 0; i < rows.size(); ++i) {
                EXPECT_NE(rows[i].find(", " + std::to_string(list[3] - int(i + 1) * step) + ", "),
                          std::string::npos) << rows[i];
            }
            EXPECT_TRUE(w < 1024 || (rows.size() == listed.size() && list[3] == GuiPixelsY(700) + 16 &&
                                     list[2] < GuiPixelsX(console->width))) << w << " " << typed;
            EXPECT_TRUE(!tabs || rows.back().find(", " + listed.back() + ")") != std::string::npos);
        }
    }
}

}  // namespace

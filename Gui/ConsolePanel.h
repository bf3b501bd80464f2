// The developer console panel: an output area, a one-line input, a title,
// a button and the completion list. The backquote or the tilde shows and
// hides it; a submitted line is echoed, run and kept in a history that Up
// and Down walk. There is one console; its parts are reachable through the
// globals below while it exists.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "Gui/GuiPanel.h"

class RichText;
class GuiLabel;
class TabCatchTextField;
class GuiCommandComplete;

class Console : public GuiPanel {
public:
    Console();
    ~Console() override;

    // Keeps the open console's layer above every other panel of its parent.
    void Update() override;
    // Draws the console where its parent would, at its resting layer: for
    // a pass of its own over the rest of the GUI.
    void DrawOnTop();
    // The backquote and the tilde toggle the console; other characters go
    // to the children, and only while the console is shown, with the input
    // as the keyboard's panel whatever the pointer pressed.
    void OnChar(int character) override;
    // Keys reach the children only while the console is shown, as
    // characters do.
    void OnSpecialKeyDown(int key) override;
    void OnKey(int, int, int, int) override {}
    std::pair<int, int> GetExtent() override;
    // The input's signals "Submit", "FlagChange", "KeyUp" and "KeyDown".
    void HandleMessage(DataNode* message, GuiPanel* sender) override;
    void ForgetPanel(GuiPanel* dying) override;

    // Shows or hides the console, moving the keyboard focus to its input
    // or clearing it.
    void Toggle();

    int32_t historyIndex = 0;
    System::Vector<System::String> history;

    RichText* output = nullptr;
    TabCatchTextField* input = nullptr;
    GuiLabel* title = nullptr;
    GuiPanel* button = nullptr;
    GuiCommandComplete* completion = nullptr;

private:
    // The panel that edits typed text: the input (or its first focus child).
    GuiPanel* KeyTarget() const;
    // Runs `deliver` with the keyboard's panel focused, then gives the
    // pointer's focus back.
    void DeliverKey(const std::function<void()>& deliver);
    void Submit();
    void Recall(int step);
};

// The console's parts while it exists; null otherwise.
extern Console* ConsolePanel;
extern RichText* ConsoleOutput;
extern TabCatchTextField* ConsoleInput;
extern GuiLabel* ConsoleTitle;
extern GuiCommandComplete* ConsoleCompleteList;

// Replaces the input's text, the cursor at its end.
void SetConsoleInputText(std::string_view text);
// A copy of the input's text.
std::string GetConsoleInputText();

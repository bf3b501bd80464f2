#include "Gui/ConsolePanel.h"

#include <algorithm>
#include <typeinfo>

#include "Gui/GuiCommandComplete.h"
#include "Gui/GuiFactory.h"
#include "Gui/GuiLabel.h"
#include "Gui/GuiManager.h"
#include "Gui/GuiTextField.h"
#include "Gui/RichText.h"
#include "System/Source/Console.h"
#include "System/Source/ConsoleArgs.h"
#include "System/Source/ConsolePrint.h"
#include "System/Source/DataNode.h"

Console* ConsolePanel = nullptr;
RichText* ConsoleOutput = nullptr;
TabCatchTextField* ConsoleInput = nullptr;
GuiLabel* ConsoleTitle = nullptr;
GuiCommandComplete* ConsoleCompleteList = nullptr;

namespace {

constexpr int kGrave = 96;

// The console output's sink: the output area while there is one.
void AppendToConsoleOutput(std::string_view text) {
    if (ConsoleOutput) ConsoleOutput->AddText(text);
}
constexpr int kTilde = 126;
constexpr int32_t kConsoleLayer = 1;

// The highest layer that anything of the subtree draws at, relative to the
// subtree's parent (layers add up along the tree). Walked without recursion:
// a tree of any depth costs no stack.
int64_t TopLayer(const GuiPanel* root) {
    int64_t top = 0;
    System::Vector<std::pair<const GuiPanel*, int64_t>> stack;
    stack.emplace_back(root, 0);
    while (!stack.empty()) {
        auto [panel, above] = stack.back();
        stack.pop_back();
        const int64_t layer = above + panel->layer;
        top = std::max(top, layer);
        for (const GuiPanel* child : panel->children) stack.emplace_back(child, layer);
    }
    return top;
}

// The button of the console's top-left corner: a real button once the
// factory has one, a plain panel of the same place and size until then.
GuiPanel* MakeCornerButton() {
    GuiPanel* button = GuiFactory::Create("GuiButton");
    if (!button) button = new GuiPanel(100, 100, 0.0f, 0.0f);
    button->width = 100;
    button->height = 100;
    button->x = 0.0f;
    button->y = 0.0f;
    return button;
}

}  // namespace

Console::Console() : GuiPanel(600, 800, 500.0f, 500.0f) {
    name = System::MakeString("Console");
    border = 1;
    layer = kConsoleLayer;
    filled = true;
    StoreFillColor(150, 150, 150, 255);

    output = new RichText(300.0f, 400.0f);
    output->SetFont("Consola", 12);
    output->border = 1;
    output->filled = true;
    output->StoreFillColor(80, 80, 80, 255);
    output->AddText("FOR THE SCROLLBAR!\n");
    output->Clear();

    input = new TabCatchTextField(450, 50, 250.0f, 750.0f);
    input->StoreFillColor(100, 100, 100, 255);
    input->filled = true;
    input->border = 1;
    input->halfHeightOverride = 15;
    FocusedPanel = input->firstFocus ? input->firstFocus : input;
    input->AddItem(this);

    title = new GuiLabel(0, 0, 5.0f, 5.0f);
    title->ApplyText("Console");
    title->ApplyFont("Arial", 16);
    title->SetCenter(false);
    title->StoreFillColor(200, 200, 200, 255);

    button = MakeCornerButton();

    // Just above the input, over the foot of the output.
    completion = new GuiCommandComplete(0, 0, 25.0f, 700.0f, input);
    completion->border = 1;
    completion->layer = 1;
    completion->StoreFillColor(100, 100, 100, 255);

    for (GuiPanel* child :
         {static_cast<GuiPanel*>(output), static_cast<GuiPanel*>(input),
          static_cast<GuiPanel*>(title), button, static_cast<GuiPanel*>(completion)}) {
        AddChild(child);
    }
    ConsolePanel = this;
    ConsoleOutput = output;
    SetConsoleSink(AppendToConsoleOutput);
    ConsoleInput = input;
    ConsoleTitle = title;
    ConsoleCompleteList = completion;
}

Console::~Console() {
    // The parts die with the console, which the registry tells nobody about
    // inside one tree: the process-wide pointers go here.
    if (ConsolePanel != this) return;
    ConsolePanel = nullptr;
    ConsoleOutput = nullptr;
    ConsoleInput = nullptr;
    ConsoleTitle = nullptr;
    ConsoleCompleteList = nullptr;
}

void Console::ForgetPanel(GuiPanel* dying) {
    // The process-wide pointers follow the parts they name.
    if (output == dying) output = nullptr;
    if (input == dying) input = nullptr;
    if (title == dying) title = nullptr;
    if (button == dying) button = nullptr;
    if (completion == dying) completion = nullptr;
    if (ConsoleOutput == dying) ConsoleOutput = nullptr;
    if (ConsoleInput == dying) ConsoleInput = nullptr;
    if (ConsoleTitle == dying) ConsoleTitle = nullptr;
    if (ConsoleCompleteList == dying) ConsoleCompleteList = nullptr;
    GuiPanel::ForgetPanel(dying);
}

void Console::Toggle() {
    visible = !(visible && IsVisible());
    if (visible && IsVisible() && input) {
        FocusedPanel = input->firstFocus ? input->firstFocus : input;
    } else {
        FocusedPanel = nullptr;
    }
}

void Console::Update() {
    GuiPanel::Update();
    // The open console lies over every menu, whatever layer a script gave
    // it: its layer rises above the top of every other panel of its parent,
    // so that a press on its parts reaches them. It is drawn apart, over
    // everything (DrawOnTop), not at this layer.
    if (!visible || !parent) {
        layer = kConsoleLayer;
        return;
    }
    int64_t top = 0;
    for (const GuiPanel* sibling : parent->children) {
        if (sibling != this && !sibling->doomed && sibling->visible) {
            top = std::max(top, TopLayer(sibling));
        }
    }
    // Far enough below the int range that sums of layers stay in it.
    constexpr int64_t kHighest = int64_t(1) << 24;
    layer = int32_t(std::clamp<int64_t>(top + 2, kConsoleLayer, kHighest));
}

void Console::DrawOnTop() {
    // Over a cleared depth the resting layer keeps the parts in their order;
    // at the raised one they would lie past the projection's depth range
    // (at 102 over the profiler's graph at 100) and not be drawn at all.
    const int32_t raised = layer;
    layer = kConsoleLayer;
    DrawAlone();
    layer = raised;
}

GuiPanel* Console::KeyTarget() const {
    return input && input->firstFocus ? input->firstFocus : input;
}

void Console::DeliverKey(const std::function<void()>& deliver) {
    // A press moves FocusedPanel to whatever it hit (the knob it drags, the
    // text it selects, the button, or nothing beside the console), so that
    // the press reaches that panel; the keyboard stays with the input. The
    // pointer's focus comes back afterwards: a press not yet delivered (in
    // the frame of the press) still finds its panel.
    GuiPanel* const target = KeyTarget();
    GuiPanel* const pointerFocus = FocusedPanel;
    FocusedPanel = target;
    deliver();
    // A key that moved the focus itself (a command run by Enter) keeps its move.
    const bool pointerPanelLives =
        IsLivePanel(static_cast<System::MetaBase*>(pointerFocus)) && !pointerFocus->doomed;
    if (FocusedPanel == target && FocusedPanel != pointerFocus && pointerPanelLives) {
        FocusedPanel = pointerFocus;
    }
}

void Console::OnChar(int character) {
    if (character != kGrave && character != kTilde) {
        // Hidden, the console takes no keys: Enter in play must not submit
        // a recalled command.
        if (IsVisible()) DeliverKey([&] { GuiPanel::OnChar(character); });
        return;
    }
    // Typing into a plain text field of a layout: the key is that field's
    // business, and the console's input ignores it too.
    if (FocusedPanel && typeid(*FocusedPanel) == typeid(GuiTextField)) return;
    Toggle();
}

void Console::OnSpecialKeyDown(int key) {
    if (IsVisible()) DeliverKey([&] { GuiPanel::OnSpecialKeyDown(key); });
}

std::pair<int, int> Console::GetExtent() {
    if (!output || !title || !input) return {0, 0};
    const int outputPixels = GuiPixelsY(output->height);
    return {0, outputPixels + 3 * output->fontSize + title->fontSize + input->halfHeightOverride};
}

void Console::HandleMessage(DataNode* message, GuiPanel* sender) {
    if (!message) return;
    if (message->name == "Submit") {
        Submit();
    } else if (message->name == "FlagChange") {
        if (completion) completion->Clear();
    } else if (message->name == "KeyUp") {
        Recall(-1);
    } else if (message->name == "KeyDown") {
        Recall(1);
    } else {
        GuiPanel::HandleMessage(message, sender);
    }
}

void Console::Submit() {
    const std::string line = GetConsoleInputText();
    ConsoleWrite(":" + line + "\n");
    ExecuteCommandLine(line);
    history.push_back(System::MakeString(line));
    historyIndex = int32_t(history.size());
    SetConsoleInputText("");
}

void Console::Recall(int step) {
    const int32_t size = int32_t(history.size());
    historyIndex += step;
    if (historyIndex < 0) historyIndex = size - 1;
    if (historyIndex >= size) historyIndex = 0;
    if (size == 0) return;
    // A candidate picked before would overwrite the recalled line.
    if (completion) completion->Clear();
    const System::String& entry = history[size_t(historyIndex)];
    SetConsoleInputText(std::string_view(entry.data(), entry.size()));
}

void SetConsoleInputText(std::string_view text) {
    if (ConsoleInput) ConsoleInput->SetText(text);
}

std::string GetConsoleInputText() {
    if (!ConsoleInput) return std::string();
    return std::string(ConsoleInput->text.data(), ConsoleInput->text.size());
}

void ConsoleClear(ConsoleArgs&) {
    if (ConsoleOutput) ConsoleOutput->Clear();
}

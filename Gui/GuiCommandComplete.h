// The list beside the console input: the console entries whose names start
// with the typed word, or, once a blank is typed, the command's candidates
// for the argument being typed. Tab cycles through them and a selection
// rewrites the input.
#pragma once

#include <string>

#include "Gui/GuiPanel.h"
#include "System/Source/Console.h"

class GuiTextField;

class GuiCommandComplete : public GuiPanel {
public:
    GuiCommandComplete(int32_t width, int32_t height, float x, float y, GuiTextField* source);

    void Update() override {}
    void DrawBackground() override {}
    // Tab picks the next candidate, after the last the first.
    void OnSpecialKeyDown(int key) override;
    // Lists the candidates (the first nearest the input, the others above
    // it, as many as the console has room for) and applies the selection
    // to the input.
    void Draw() override;
    void ForgetPanel(GuiPanel* dying) override;

    // Nothing picked, nothing listed, nothing saved.
    void Clear();
    // The candidates for a full input text, as Draw lists them; sets best.
    std::vector<std::string> Candidates(const std::string& full);

    GuiTextField* source = nullptr;
    std::string savedText;
    ConsoleCommandBase* best = nullptr;
    int32_t selection = 0;
    int32_t count = 0;

private:
    // A command's candidate lists, fetched again only when the input text
    // changes (the level files are a folder listing).
    const ConsoleCandidates& CompletionsFor(const std::string& full);
    std::string cachedFor_;
    const ConsoleCommandBase* cachedEntry_ = nullptr;
    ConsoleCandidates cached_;
    int32_t font_ = -2;
};

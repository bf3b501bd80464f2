#include "Gui/GuiCommandComplete.h"

#include <algorithm>

#include "Graphics/Font.h"
#include "Graphics/Renderer.h"
#include "Gui/GuiTextField.h"

namespace {

bool Matches(std::string_view candidate, std::string_view typed) {
    return candidate.substr(0, typed.size()) == typed;
}

constexpr int32_t kRowHeight = 16;
// Pixels left free between the rows of a font whose lines are taller.
constexpr int32_t kRowGap = 2;

}  // namespace

GuiCommandComplete::GuiCommandComplete(int32_t w, int32_t h, float px, float py,
                                       GuiTextField* watched)
    : GuiPanel(w, h, px, py), source(watched) {}

void GuiCommandComplete::ForgetPanel(GuiPanel* dying) {
    if (source == dying) source = nullptr;
    GuiPanel::ForgetPanel(dying);
}

void GuiCommandComplete::OnSpecialKeyDown(int key) {
    if (key != kGuiKeyTab) return;
    ++selection;
    if (selection > count) selection = 1;
}

void GuiCommandComplete::Clear() {
    selection = 0;
    count = 0;
    savedText.clear();
}

const ConsoleCandidates& GuiCommandComplete::CompletionsFor(const std::string& full) {
    if (full != cachedFor_ || best != cachedEntry_) {
        cachedFor_ = full;
        cachedEntry_ = best;
        cached_ = GetCompletions(best);
    }
    return cached_;
}

std::vector<std::string> GuiCommandComplete::Candidates(const std::string& full) {
    std::vector<std::string> names;
    const size_t firstBlank = full.find(' ');
    if (firstBlank == std::string::npos) {
        best = nullptr;
        for (ConsoleCommandBase* e = ConsoleCommandBase::Head(); e; e = e->GetNext()) {
            if (!e->GetName() || !Matches(e->GetName(), full)) continue;
            if (!best) best = e;
            names.emplace_back(e->GetName());
        }
        return names;
    }
    // An argument is being typed: the command is the word before the first
    // blank (also after a history recall, when no word was listed before),
    // the argument the text after the last blank.
    best = FindConsoleEntry(std::string_view(full).substr(0, firstBlank));
    if (!best) return names;
    const size_t argIndex = size_t(std::count(full.begin(), full.end(), ' ')) - 1;
    const std::string typed = full.substr(full.rfind(' ') + 1);
    const ConsoleCandidates& lists = CompletionsFor(full);
    if (argIndex >= lists.size()) return names;
    for (const std::string& candidate : lists[argIndex]) {
        if (Matches(candidate, typed)) names.push_back(candidate);
    }
    return names;
}

void GuiCommandComplete::Draw() {
    if (!Active() || !IsVisible() || !source) return;
    const std::string full =
        savedText.size() >= 2 ? savedText : std::string(source->text.c_str(), source->text.size());
    if (full.empty()) return;
    const std::vector<std::string> names = Candidates(full);
    count = int32_t(names.size());

    if (selection >= 1 && selection <= count) {
        savedText = full;
        const size_t lastBlank = full.rfind(' ');
        const std::string kept = lastBlank == std::string::npos ? "" : full.substr(0, lastBlank + 1);
        source->SetText(kept + names[size_t(selection - 1)]);
    }
    if (!CurrentRenderer) return;

    if (font_ == -2) font_ = GetFont("Consola", 12);
    const Font* f = GetFontByIndex(font_);
    Renderer& r = *CurrentRenderer;
    r.SetFont(font_);
    // Rows one step apart: 16 pixels, or more when the font's lines are
    // taller, so that no row touches the next.
    const int32_t step = std::max(kRowHeight, FontLineHeight(f) + kRowGap);
    // The list's lower edge lies one row below its position, and it grows
    // upward from there, over the foot of the output: inside its parent
    // (the console) at any window size, as many rows as fit.
    const int32_t cx = GuiPixelsX(x);
    int32_t bottom = GuiPixelsY(y) + kRowHeight;
    if (parent) bottom = std::min(bottom, 2 * parent->DrawnHalfHeight());
    const size_t fit = bottom > 0 ? size_t(bottom / step) : 0;
    const size_t shown = std::min(names.size(), fit);
    if (shown == 0) return;
    // A selection beyond the rows that fit brings its row in.
    const size_t picked = selection >= 1 && selection <= count ? size_t(selection) : 0;
    const size_t first = picked > shown ? picked - shown : 0;
    const int32_t top = bottom - int32_t(shown) * step;
    // The list may lie over other panels: its own layer lifts it above
    // them, and the rows one step above the list's background.
    r.PushTranslation(0, 0, layer);
    r.PushTranslation(0, 0, 1);
    int32_t listWidth = 0;
    for (size_t i = 0; i < shown; ++i) {
        const std::string& name = names[first + i];
        listWidth = std::max(listWidth, MeasureText(f, name.c_str()) + 6);
        r.SetColor(0, 0, 0, 255);
        r.DrawText(cx + 1, bottom - int32_t(i + 1) * step, name.c_str());
    }
    r.PopTranslation();
    r.SetColor(fillColor.r, fillColor.g, fillColor.b, fillColor.a);
    if (border != 0) r.DrawRectOutline(cx, top, cx + listWidth, bottom, border);
    r.FillRect(cx, top, cx + listWidth, bottom);
    r.PopTranslation();
}

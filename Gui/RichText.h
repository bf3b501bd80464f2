// The console's output area: a text of 16-bit characters that keeps the
// newest lines within a bound, broken into lines that fit the panel, drawn
// one page at a time, scrolled by its own scroll container and the mouse
// wheel; the pointer marks a selection, drawn inverted. New text scrolls to
// the end.
#pragma once

#include <algorithm>
#include <string_view>

#include "Gui/GuiScrollBar.h"

class RichText : public GuiPanel {
public:
    RichText(float x, float y);
    ~RichText() override;

    void Update() override;
    void Draw() override;
    void OnMouseDown(int x, int y) override;
    void OnMouseUp() override;
    void OnHovering() override {}
    void OnHoverLeave() override {}
    void OnMouseMove(int x, int y) override;
    void OnMouseScroll(int state) override;
    // "ScrollBar" (from the bar): the first entry is the page's fraction.
    void HandleMessage(DataNode* message, GuiPanel* sender) override;
    void ForgetPanel(GuiPanel* dying) override;
    // The widget's own name; its class name for messages stays "GuiPanel".
    virtual const char* GetWidgetName() const { return "RichText"; }

    // Every byte becomes one character (1-255); a NUL byte is left out.
    void AddText(std::string_view text);
    // Up to the terminator.
    void AddWideText(const char16_t* text);

    // The characters the output keeps by default: 4 MiB of text (8 MiB held)
    // is some 100,000 lines, more than anyone scrolls back through.
    static constexpr size_t kHistoryLimit = size_t(4) << 20;
    // Whatever is asked, character indices stay far inside the int range.
    static constexpr size_t kLargestHistoryLimit = size_t(1) << 30;
    // The most characters kept: when more come, the oldest whole lines go,
    // a quarter of the limit at a time, so that a long history is not moved
    // for every line printed. A line longer than a quarter is cut through.
    size_t historyLimit = kHistoryLimit;
    void Clear();
    void SetFont(std::string_view name, int32_t size);

    // Brings lineStarts and linesPerPage up to date: only the text added
    // since the last call is broken, unless the width or the font changed.
    void BreakLines();
    // The character under a point in viewport pixels (the selection's ends).
    int32_t CharacterAt(int px, int py) const;
    int32_t LineHeight() const;
    int32_t LineCount() const { return int32_t(lineStarts.size()); }
    // The lines the page scrolls over: LineCount, and one more when the
    // text's last line has no line feed yet.
    int32_t ScrollLines() const;
    // The highest first line: the page then ends with the text's last line.
    int32_t LastTopLine() const { return std::max(0, ScrollLines() - linesPerPage); }
    // The text as bytes (each character's low 8 bits).
    std::string NarrowText() const;

    Color textColour{0, 0, 0, 255};
    int32_t selStart = -1;
    int32_t selEnd = -1;
    int32_t firstLine = 0;
    int32_t fontSize = 0;
    int32_t lineSpacing = 2;
    int32_t linesPerPage = 0;
    bool mouseDown = false;
    System::Vector<uint32_t> lineStarts;
    System::Vector<char16_t> text;
    int32_t font = -1;
    float pendingScroll = -1.0f;
    GuiScrollContainer* scroller = nullptr;  // owned as a child

private:
    // Where the last breaking stopped: the text before brokenUpTo keeps its
    // line starts as long as the limit and the font stay the same.
    size_t brokenUpTo = 0;
    int32_t brokenX = 0;
    int32_t brokenLimit = 0;
    int32_t brokenFont = -1;
    // The first line asked for (by the wheel, or to keep the page when the
    // lines are broken anew), set once the bar has moved; -1 = none.
    int32_t pendingLine = -1;

    // Breaks the text from brokenUpTo on (at brokenLimit).
    void BreakNewText();
    // Appends, first dropping the oldest text that the limit leaves no room for.
    template <typename Char>
    void Append(const Char* added, size_t count);
    // Drops the first `count` characters; the lines, the page and the
    // selection follow the text that stays.
    void DropFront(size_t count);
    // The first line once what is pending has moved the bar: the wheel's
    // notches of one frame add up from there.
    int32_t TargetLine() const;
    // Asks for a first line (held within the text): set with the bar at the
    // next update.
    void ScrollTo(int32_t line);
    // After the lines were broken anew or the page's height changed: a page
    // that showed the end shows the end, any other keeps its top line.
    void KeepPage(bool atEnd, size_t topCharacter);
    void DrawPiece(size_t from, size_t to, int32_t penX, int32_t penY, int32_t lineHeight);
    void SizeScroller();
};

#include "Gui/RichText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "Graphics/Font.h"
#include "Graphics/Renderer.h"
#include "Graphics/Window.h"
#include "System/Source/DataNode.h"

namespace {

// Text starts this many pixels inside the panel's top-left corner.
constexpr int32_t kInset = 4;

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

int32_t Advance(const Font* font, char16_t c) {
    if (!font || c >= 256) return 0;
    return int32_t(font->glyphs[c].advanceX);
}

}  // namespace

RichText::RichText(float px, float py) : GuiPanel(550, 600, px, py) {
    interactive = true;
    SetFont("Arial", 16);
    scroller = new GuiScrollContainer(544.0f, 300.0f);
    scroller->filled = false;
    AddChild(scroller);
    scroller->AddItem(this);
}

RichText::~RichText() = default;

void RichText::ForgetPanel(GuiPanel* dying) {
    if (scroller == dying) scroller = nullptr;
    GuiPanel::ForgetPanel(dying);
}

void RichText::AddText(std::string_view bytes) {
    Append(bytes.data(), bytes.size());
}

void RichText::AddWideText(const char16_t* wide) {
    Append(wide, wide ? std::char_traits<char16_t>::length(wide) : 0);
}

template <typename Char>
void RichText::Append(const Char* added, size_t count) {
    // Bytes widen as unsigned values, so characters above 127 are measured
    // with the glyphs they are drawn with.
    auto widen = [](Char c) { return char16_t(std::make_unsigned_t<Char>(c)); };
    const size_t limit = std::min(historyLimit, kLargestHistoryLimit);
    const size_t old = text.size();
    const size_t total = old + count;
    size_t skip = 0;  // the added characters that are dropped at once
    if (total > limit) {
        // Down to three quarters of the limit, so that the next drop comes
        // only after a quarter more was printed. The text kept begins with a
        // whole line when one begins within that quarter.
        const size_t slack = limit / 4;
        size_t cut = total - (limit - slack);
        const size_t reach = std::min(total, cut + slack);
        for (size_t i = cut - 1; i < reach; ++i) {
            if ((i < old ? text[i] : widen(added[i - old])) == 10) {
                cut = i + 1;
                break;
            }
        }
        skip = cut > old ? cut - old : 0;
        DropFront(std::min(cut, old));
    }
    const size_t start = text.size();
    text.resize(start + (count - skip));
    const auto appended = text.begin() + std::ptrdiff_t(start);
    std::transform(added + skip, added + count, appended, widen);
    // A NUL would end the drawn text early: it is left out. (Wide text ends
    // at its first.)
    if constexpr (std::is_same_v<Char, char>) {
        if (count > skip && std::memchr(added + skip, 0, count - skip)) {
            text.erase(std::remove(appended, text.end(), u'\0'), text.end());
        }
    }
    pendingScroll = 1.0f;
    pendingLine = -1;
}

void RichText::DropFront(size_t count) {
    if (count == 0) return;
    // Line k + 1 begins at lineStarts[k]: the lines that begin before the
    // cut are gone, and the one that holds the cut becomes line 0.
    const size_t gone =
        size_t(std::lower_bound(lineStarts.begin(), lineStarts.end(), count) - lineStarts.begin());
    // After a line feed a line starts at its left edge: the lines after the
    // cut break as before, only earlier in the text. Elsewhere (a line cut
    // through, or text not broken yet) the rest is broken anew.
    const bool breaksStand = count < text.size() && text[count - 1] == 10 && brokenUpTo >= count;
    text.erase(text.begin(), text.begin() + std::ptrdiff_t(count));
    if (breaksStand) {
        lineStarts.erase(lineStarts.begin(), lineStarts.begin() + std::ptrdiff_t(gone));
        for (uint32_t& lineStart : lineStarts) lineStart -= uint32_t(count);
        brokenUpTo -= count;
    } else {
        lineStarts.clear();
        brokenUpTo = 0;
        brokenX = 0;
    }
    // The page and the selection stay on the text they showed, where it is
    // still there.
    firstLine = int32_t(std::max<int64_t>(0, int64_t(firstLine) - int64_t(gone)));
    for (int32_t* end : {&selStart, &selEnd}) {
        if (*end >= 0) *end = int32_t(std::max<int64_t>(0, int64_t(*end) - int64_t(count)));
    }
}

void RichText::Clear() {
    text.clear();
    lineStarts.clear();
    brokenUpTo = 0;
    brokenX = 0;
    pendingScroll = -1.0f;
    pendingLine = -1;
    firstLine = 0;
    selStart = selEnd = -1;
}

void RichText::SetFont(std::string_view name, int32_t size) {
    font = GetFont(std::string(name), size);
    fontSize = size;
}

int32_t RichText::LineHeight() const {
    return FontLineHeight(GetFontByIndex(font));
}

std::string RichText::NarrowText() const {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) out.push_back(char(c & 0xFF));
    return out;
}

void RichText::BreakLines() {
    const int32_t limit = GuiPixelsX(width) - 10;
    // Text is only ever appended, and a line's start depends on nothing
    // after it: the lines broken before stand unless the width or the font
    // changed, so a long history costs nothing per new line.
    const bool anew = limit != brokenLimit || font != brokenFont || brokenUpTo > text.size();
    // The page as it stands, by its text: line numbers change meaning when
    // the lines are broken anew (a window switched to or from fullscreen).
    const int32_t top = TargetLine();
    const bool atEnd = top >= LastTopLine();
    const size_t topCharacter = top == 0 ? 0
                                : size_t(top) <= lineStarts.size() ? lineStarts[size_t(top) - 1]
                                                                   : text.size();
    const int32_t page = linesPerPage;
    if (anew) {
        lineStarts.clear();
        brokenUpTo = 0;
        brokenX = 0;
        brokenLimit = limit;
        brokenFont = font;
    }
    if (brokenUpTo < text.size()) BreakNewText();
    // The page is the panel's height in viewport pixels below the text's
    // top inset: the monitor's height, or the inset left out, would hide the
    // newest lines when the view shows the end.
    const int32_t step = lineSpacing + LineHeight();
    linesPerPage = step > 0 ? std::max(0, GuiPixelsY(height) - kInset) / step : 0;
    if (anew || linesPerPage != page) KeepPage(atEnd, topCharacter);
}

void RichText::KeepPage(bool atEnd, size_t topCharacter) {
    // The line that holds the character: line k + 1 begins at lineStarts[k].
    const auto holding = std::upper_bound(lineStarts.begin(), lineStarts.end(), topCharacter);
    const int32_t line = atEnd ? LastTopLine() : int32_t(holding - lineStarts.begin());
    firstLine = std::min(line, LastTopLine());
    // The knob follows (at the next update, or when a hidden output shows).
    ScrollTo(firstLine);
}

int32_t RichText::TargetLine() const {
    const int32_t last = LastTopLine();
    if (pendingLine >= 0) return std::min(pendingLine, last);
    // The bar answers a fraction with that part of the lines (new text's 1
    // is the end).
    if (pendingScroll > -1.0f) {
        return SafeDoubleToInt(std::clamp(std::trunc(double(last) * pendingScroll), 0.0, double(last)));
    }
    return std::clamp(firstLine, 0, last);
}

void RichText::ScrollTo(int32_t line) {
    const int32_t last = LastTopLine();
    line = std::clamp(line, 0, last);
    if (last == 0) {
        // Nothing to scroll: the page stays at the top.
        pendingScroll = 0.0f;
        pendingLine = -1;
    } else if (line == last) {
        // The end, where lines printed before the next update still go.
        pendingScroll = 1.0f;
        pendingLine = -1;
    } else {
        // The knob goes to the line's place on the track and the page to
        // the line itself: a fraction cannot name every line of a long text.
        pendingLine = line;
        pendingScroll = float(double(line) / double(last));
    }
}

void RichText::BreakNewText() {
    const int32_t limit = brokenLimit;
    // The advances as whole pixels, looked up once: a long print is
    // broken in a tight loop.
    const Font* f = GetFontByIndex(font);
    int32_t advances[256];
    for (int c = 0; c < 256; ++c) advances[c] = Advance(f, char16_t(c));
    int32_t lineX = brokenX;
    for (size_t i = brokenUpTo; i < text.size(); ++i) {
        const char16_t c = text[i];
        lineX += c < 256 ? advances[c] : 0;
        if (c == 10) {
            // A line feed starts the next line at its left edge.
            lineX = 0;
            lineStarts.push_back(uint32_t(i));
        } else if (lineX > limit) {
            lineX -= limit;
            lineStarts.push_back(uint32_t(i));
        }
    }
    brokenUpTo = text.size();
    brokenX = lineX;
}

int32_t RichText::ScrollLines() const {
    // A last line without its line feed (a script's Print("x")) is a line
    // to scroll to as well; one that ends in a line feed holds nothing.
    return LineCount() + (!text.empty() && text.back() != 10 ? 1 : 0);
}

void RichText::SizeScroller() {
    if (!scroller || !scroller->bar) return;
    const int32_t lines = ScrollLines();
    scroller->contentSize = lines;
    scroller->pageSize = linesPerPage;
    GuiScrollBar& bar = *scroller->bar;
    bar.trackLength = GuiPixelsY(scroller->height);
    if (lines > 0 && lines >= linesPerPage) {
        bar.height = SafeDoubleToInt(double(scroller->height) * double(linesPerPage) / double(lines));
    } else {
        bar.height = 0;
    }
}

void RichText::Update() {
    GuiPanel::Update();
    if (!Active()) return;
    // Costs nothing unless text was added or the width changed (a window
    // resized or switched to fullscreen wraps the lines anew).
    BreakLines();
    // Hidden, the bar and the page wait for the next show; the lines are
    // kept up to date so that showing costs no more than any frame.
    if (!IsVisible()) return;
    SizeScroller();
    if (pendingScroll > -1.0f && scroller) {
        DataNode* tree = MakeNodeWithFloat("MoveBar", "Percent", pendingScroll);
        pendingScroll = -1.0f;
        scroller->HandleMessage(tree, this);
        FreeNodeTree(tree);
        delete tree;
        // The bar's answer is a fraction, which cannot name every line of
        // a long text: the line asked for is set as asked (within the lines
        // there are now).
        if (pendingLine >= 0) firstLine = std::min(pendingLine, LastTopLine());
        pendingLine = -1;
    }
}

void RichText::OnMouseScroll(int state) {
    GuiPanel::OnMouseScroll(state);
    // The wheel turned in play does not scroll the hidden console's page.
    if (!IsVisible()) return;
    // Three lines a notch, however many notches come before the page moves
    // (a frame takes every notch that came since the last): each counts
    // from where the last one asked to go, in the lines as they will show.
    BreakLines();
    const int32_t notch = state == 1 ? 3 : state == 0 ? -3 : 0;
    ScrollTo(TargetLine() + notch);
}

void RichText::HandleMessage(DataNode* message, GuiPanel*) {
    if (!message || message->name != "ScrollBar") return;
    const DataNode* first = message->firstChild;
    const float p = first && first->type == kDataFloat ? first->number.f : 0.0f;
    // A fraction that is no number would leave the page nowhere.
    if (!std::isfinite(p)) return;
    // Never past the end: the knob at the bottom shows the last line at
    // the page's foot, not a page with blank lines below it.
    const double last = LastTopLine();
    firstLine = SafeDoubleToInt(std::clamp(std::trunc(last * double(p)), 0.0, last));
}

void RichText::OnMouseDown(int, int) {
    selStart = selEnd = -1;
    mouseDown = true;
}

void RichText::OnMouseUp() {
    mouseDown = false;
}

void RichText::OnMouseMove(int px, int py) {
    GuiPanel::OnMouseMove(px, py);
    if (!mouseDown || (scroller && scroller->bar && scroller->bar->dragging)) return;
    const int32_t at = CharacterAt(px, py);
    if (selStart == -1) {
        selStart = at;
    } else {
        selEnd = at;
    }
}

int32_t RichText::CharacterAt(int px, int py) const {
    // The page's lines as drawn: the first shown line at the top, each line
    // one step lower, characters from the left edge.
    const auto [ox, oy] = GetScreenOffset();
    const int32_t step = lineSpacing + LineHeight();
    const size_t n = text.size();
    if (step <= 0 || n == 0) return 0;
    const int64_t row = std::max<int64_t>(0, (int64_t(py) - oy - kInset) / step);
    const int32_t count = LineCount();
    const int32_t line = int32_t(std::clamp<int64_t>(int64_t(firstLine) + row, 0, count));
    size_t pos = line > 0 ? lineStarts[size_t(line - 1)] : 0;
    const size_t end = line < count ? lineStarts[size_t(line)] : n;
    const Font* f = GetFontByIndex(font);
    int64_t penX = int64_t(ox) + kInset;
    for (; pos < end; ++pos) {
        const int32_t advance = Advance(f, text[pos]);
        if (px <= penX + advance) break;
        penX += advance;
    }
    // The text never holds more than kLargestHistoryLimit characters.
    return int32_t(pos);
}

void RichText::DrawPiece(size_t from, size_t to, int32_t penX, int32_t penY, int32_t lineHeight) {
    Renderer& r = *CurrentRenderer;
    const Font* f = GetFontByIndex(font);
    int32_t pieceWidth = 0;
    std::string bytes;
    for (size_t i = from; i < to; ++i) {
        pieceWidth += Advance(f, text[i]);
        bytes.push_back(char(text[i] & 0xFF));
    }
    const int32_t low = std::min(selStart, selEnd);
    const int32_t high = std::max(selStart, selEnd);
    if (low >= 0 && from >= size_t(low) && from < size_t(high)) {
        r.SetColor(0, 0, 0, 255);
        r.FillRect(penX, penY, penX + pieceWidth, penY + lineHeight);
        r.SetColor(255, 255, 255, 255);
    } else {
        r.SetColor(textColour.r, textColour.g, textColour.b, textColour.a);
    }
    if (textColour.a != 0) r.DrawText(penX, penY, bytes.c_str());
}

void RichText::Draw() {
    if (!Active() || !IsVisible() || !CurrentRenderer) return;
    const int32_t x0 = GuiPixelsX(x) - GuiPixelsX(width / 2) + kInset;
    const int32_t y0 = GuiPixelsY(y) - GuiPixelsY(height / 2) + kInset;
    const int32_t lineHeight = LineHeight();
    const int32_t bottom = GuiPixelsY(y) + GuiPixelsY(height / 2);
    Renderer& r = *CurrentRenderer;
    r.SetTextFlag(false);
    r.SetFont(font);

    const size_t n = text.size();
    const int32_t count = LineCount();
    int32_t line = std::clamp(firstLine, 0, count);
    size_t pos = line > 0 ? lineStarts[size_t(line - 1)] : 0;
    int32_t penY = y0;
    // Lines below the panel's bottom are never drawn: the walk ends there.
    while (pos < n && penY + lineHeight <= bottom) {
        if (line < count && lineStarts[size_t(line)] <= pos) {
            ++line;
            penY += lineSpacing + lineHeight;
            // A wrapped line does not begin with blanks; the skip stops at
            // the next line's start, so a piece never runs backwards.
            const size_t limit = line < count ? lineStarts[size_t(line)] : n;
            if (pos > 0 && text[pos - 1] != 10 && text[pos - 1] != 13) {
                while (pos < limit && text[pos] == ' ') ++pos;
            }
        }
        size_t end = line < count ? std::min<size_t>(lineStarts[size_t(line)], n) : n;
        if (pos < end && IsControl(text[pos])) ++pos;
        for (size_t k = pos; k < end; ++k) {
            if (IsControl(text[k])) {
                end = k;
                break;
            }
        }
        if (end > pos && penY + lineHeight <= bottom) DrawPiece(pos, end, x0, penY, lineHeight);
        pos = std::max(pos, end);
    }
    GuiPanel::Draw();
}

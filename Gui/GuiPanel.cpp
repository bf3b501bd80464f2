#include "Gui/GuiPanel.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "Graphics/Camera.h"
#include "Graphics/Renderer.h"
#include "Graphics/TextureAtlas.h"
#include "Graphics/Window.h"
#include "Gui/GuiManager.h"
#include "System/Source/DataNode.h"
#include "System/Source/FrameState.h"

GuiPanel* FocusedPanel = nullptr;
GuiPanel* GuiRoot = nullptr;

namespace {

// The live panels by address. On the ordinary heap rather than in the pool:
// it lives for the whole process, across the pools that tests make and end.
std::unordered_set<const void*>& LivePanels() {
    static std::unordered_set<const void*> panels;
    return panels;
}

int g_walkDepth = 0;
// Panels deleted during a walk, deleted when the outermost walk ends.
std::vector<GuiPanel*>& DoomedPanels() {
    static std::vector<GuiPanel*> panels;
    return panels;
}

GuiSoundHook g_soundHook = nullptr;

// The frame inside a focused panel that lights up under the pointer.
constexpr Color kFocusFrameColor{255, 200, 40, 255};
constexpr int32_t kFocusFrameInset = 5;
constexpr int32_t kFocusFrameThickness = 4;

void DetachFromParent(GuiPanel* panel) {
    GuiPanel* parent = panel->parent;
    if (!parent) return;
    auto& siblings = parent->children;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (*it == panel) {
            siblings.erase(it);
            break;
        }
    }
    panel->parent = nullptr;
}

void LeaveRegistry(GuiPanel* panel) {
    LivePanels().erase(static_cast<System::MetaBase*>(panel));
    System::MetaBase::NoteDeath();
    for (GuiPanel* child : panel->children) LeaveRegistry(child);
}

int32_t SaturateToInt(int64_t value) {
    return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void DeleteDoomedPanels() {
    // Deleting one may doom no other (no walk runs), but its destructor may
    // reach panels further down the list: take them one at a time.
    auto& doomed = DoomedPanels();
    while (!doomed.empty()) {
        GuiPanel* panel = doomed.back();
        doomed.pop_back();
        DetachFromParent(panel);
        delete panel;
    }
}

}  // namespace

int32_t GuiPixels(double thousandths, int32_t size) {
    double whole = std::trunc(thousandths);
    return SafeDoubleToInt(whole / 1000.0 * double(size) + 0.5);
}

float ClampGuiPosition(double thousandths) {
    if (std::isnan(thousandths)) return 0.0f;
    return float(std::clamp(thousandths, -kGuiExtent, kGuiExtent));
}

int32_t ClampGuiLength(double value) {
    if (std::isnan(value)) return 0;
    return int32_t(std::clamp(std::trunc(value), -kGuiExtent, kGuiExtent));
}

int32_t GuiPixelsX(double thousandths) {
    return GuiPixels(thousandths, GetViewportWidth());
}

int32_t GuiPixelsY(double thousandths) {
    return GuiPixels(thousandths, GetViewportHeight());
}

bool IsLivePanel(const void* object) {
    return object && LivePanels().count(object) != 0;
}

GuiPanel* LivePanelOrNull(void* object) {
    if (!IsLivePanel(object)) return nullptr;
    // The registry holds each panel as its reflection base, the pointer
    // that messages and Lua carry.
    return static_cast<GuiPanel*>(static_cast<System::MetaBase*>(object));
}

void ForEachLivePanel(const std::function<void(GuiPanel*)>& visit) {
    for (const void* entry : LivePanels()) {
        visit(static_cast<GuiPanel*>(static_cast<System::MetaBase*>(const_cast<void*>(entry))));
    }
}

void DeletePanel(GuiPanel* panel) {
    if (!panel || !IsLivePanel(static_cast<System::MetaBase*>(panel))) return;
    if (GuiWalk::Active()) {
        if (panel->doomed) return;
        panel->doomed = true;
        DoomedPanels().push_back(panel);
        return;
    }
    DetachFromParent(panel);
    delete panel;
}

void DeletePanelsTogether(const System::Vector<GuiPanel*>& panels) {
    System::Vector<GuiPanel*> tops;
    for (GuiPanel* panel : panels) {
        if (panel && !panel->parent && IsLivePanel(static_cast<System::MetaBase*>(panel))) {
            LeaveRegistry(panel);
            tops.push_back(panel);
        }
    }
    for (GuiPanel* panel : tops) delete panel;
}

GuiWalk::GuiWalk() {
    ++g_walkDepth;
}

GuiWalk::~GuiWalk() {
    if (--g_walkDepth == 0) DeleteDoomedPanels();
}

bool GuiWalk::Active() {
    return g_walkDepth > 0;
}

void SetGuiSoundHook(GuiSoundHook hook) {
    g_soundHook = hook;
}

void PlayGuiSound(const char* name) {
    if (g_soundHook) g_soundHook(name);
}

// ---- Construction and destruction.

GuiPanel::GuiPanel(int32_t w, int32_t h, float px, float py)
    : width(w), height(h), name(System::MakeString("GuiPanel")), x(px), y(py) {
    LivePanels().insert(static_cast<System::MetaBase*>(this));
    if (Gui && !Gui->HasEvents()) RegisterGuiEvents();
}

GuiPanel::~GuiPanel() {
    if (FocusedPanel == this) FocusedPanel = nullptr;
    // The whole subtree leaves the registry first: its panels need not
    // clear their pointers to each other, so deleting a tree costs its
    // size times the panels that stay, not its size squared.
    LeaveRegistry(this);
    // Children first, each through its own destructor.
    System::Vector<GuiPanel*> owned;
    owned.swap(children);
    for (GuiPanel* child : owned) {
        child->parent = nullptr;
        delete child;
    }
    items.clear();
    // Every pointer to this panel held by another panel goes.
    ForEachLivePanel([this](GuiPanel* other) { other->ForgetPanel(this); });
    if (GuiRoot == this) GuiRoot = nullptr;
    // A doomed panel deleted by its parent before the walk ended.
    auto& doomed = DoomedPanels();
    for (auto it = doomed.begin(); it != doomed.end(); ++it) {
        if (*it == this) {
            doomed.erase(it);
            break;
        }
    }
}

void GuiPanel::ForgetPanel(GuiPanel* dying) {
    if (parent == dying) parent = nullptr;
    if (nextFocus == dying) nextFocus = nullptr;
    if (prevFocus == dying) prevFocus = nullptr;
    if (firstFocus == dying) firstFocus = nullptr;
    if (savedPanel == dying) savedPanel = nullptr;
    if (mirrorWidth == dying) mirrorWidth = nullptr;
    if (mirrorHeight == dying) mirrorHeight = nullptr;
    std::erase(items, dying);
    std::erase(children, dying);
}

const char* GuiPanel::GetTypeName() const {
    return System::TypeName<GuiPanel>::name;
}

System::LivenessTest GuiPanel::GetLivenessTest() const {
    return [](const System::MetaBase* object) { return IsLivePanel(object); };
}

const char* GuiPanel::GetClassName() const {
    return "GuiPanel";
}

// ---- Tree.

void GuiPanel::AddChild(GuiPanel* child) {
    if (!child || child == this) return;
    child->parent = this;
    children.push_back(child);
}

void GuiPanel::RemoveChildByName(std::string_view childName) {
    System::Vector<GuiPanel*> matches;
    for (GuiPanel* child : children) {
        if (child->name == childName) matches.push_back(child);
    }
    for (GuiPanel* child : matches) DeletePanel(child);
}

bool GuiPanel::IsVisible() const {
    for (const GuiPanel* panel = this; panel; panel = panel->parent) {
        if (!panel->visible) return false;
    }
    return true;
}

// Sums over the ancestors run in 64 bits and saturate: a tree of any depth
// cannot overflow them.
int32_t GuiPanel::GetEffectiveLayer() const {
    int64_t sum = 0;
    for (const GuiPanel* panel = this; panel; panel = panel->parent) sum += panel->layer;
    return SaturateToInt(sum);
}

std::pair<int32_t, int32_t> GuiPanel::GetScreenOffset() const {
    int64_t ox = 0, oy = 0;
    for (const GuiPanel* panel = this; panel; panel = panel->parent) {
        ox += int64_t(GuiPixelsX(panel->x)) - GuiPixelsX(panel->width) / 2;
        oy += int64_t(GuiPixelsY(panel->y)) - GuiPixelsY(panel->height) / 2;
    }
    return {SaturateToInt(ox), SaturateToInt(oy)};
}

// ---- Per-frame update.

void GuiPanel::Update() {
    if (!Active()) return;
    updated = true;
    PullMessages();
    if (mirrorWidth) width = mirrorWidth->width;
    if (mirrorHeight) height = mirrorHeight->height;
    // By index: a handler may add children meanwhile. A panel deleted by a
    // handler meanwhile stops updating its subtree.
    for (size_t i = 0; i < children.size() && !doomed; ++i) {
        GuiPanel* child = children[i];
        if (child->updateFlag && !child->doomed) child->Update();
    }
}

void GuiPanel::UpdateRoot() {
    GuiWalk walk;
    for (size_t i = 0; i < children.size(); ++i) {
        GuiPanel* child = children[i];
        if (child->updateFlag && !child->doomed) child->Update();
    }
    FlushMessages();
    int cx = 0, cy = 0;
    GetGuiCursor(cx, cy);
    if (IsVisible()) {
        OnMouseMove(cx, cy);
        OnHover(cx, cy);
    }
}

// ---- Drawing.

void GuiPanel::PushFrame(Renderer& r) const {
    r.PushTranslation(GuiPixelsX(x) - GuiPixelsX(width / 2), GuiPixelsY(y) - GuiPixelsY(height / 2),
                      layer);
}

void GuiPanel::DrawInParentFrame(Renderer& r) {
    r.PushTranslation(0, 0, -1);
    DrawBackground();
    r.PopTranslation();
    Draw();
}

void GuiPanel::Draw() {
    if (!Active() || !IsVisible() || !CurrentRenderer) return;
    Renderer& r = *CurrentRenderer;
    PushFrame(r);
    for (size_t i = 0; i < children.size(); ++i) {
        GuiPanel* child = children[i];
        if (child->doomed || child->drawnOnTop || !child->IsVisible()) continue;
        child->DrawInParentFrame(r);
    }
    r.PopTranslation();
}

void GuiPanel::DrawAlone() {
    if (!CurrentRenderer || doomed || !IsVisible()) return;
    int ancestors = 0;
    for (const GuiPanel* above = parent; above; above = above->parent, ++ancestors) {
        if (!above->Active()) return;
    }
    Renderer& r = *CurrentRenderer;
    if (parent) parent->PushFramesFromRoot(r);
    DrawInParentFrame(r);
    while (ancestors-- > 0) r.PopTranslation();
}

void GuiPanel::PushFramesFromRoot(Renderer& r) const {
    if (parent) parent->PushFramesFromRoot(r);
    PushFrame(r);
}

void GuiPanel::DrawImage(int left, int top, int right, int bottom) {
    Renderer& r = *CurrentRenderer;
    if (fillColor.a != 0) {
        r.SetColor(fillColor.r, fillColor.g, fillColor.b, fillColor.a);
        r.SetColorFill(true);
    }
    r.SetTexture(image.texture);
    r.DrawTextureRegion(left, top, right, bottom, image.u, image.v + image.dv, image.u + image.du,
                        image.v);
    r.SetColorFill(false);
}

void GuiPanel::DrawBackground() {
    if (!IsVisible() || !CurrentRenderer) return;
    Renderer& r = *CurrentRenderer;
    const int32_t cx = GuiPixelsX(x);
    const int32_t cy = GuiPixelsY(y);
    const int32_t hw = GuiPixelsX(width / 2);
    const int32_t hh = DrawnHalfHeight();
    r.PushTranslation(0, 0, layer);
    // The pointer lights a panel up; the keyboard focus has a frame of its
    // own (below), so that the two are told apart.
    const Color colour = hoverFill && hovered ? hoverColor : fillColor;
    r.SetColor(colour.r, colour.g, colour.b, colour.a);
    if (image.texture == 0) {
        if (filled) r.FillRect(cx - hw, cy - hh, cx + hw, cy + hh);
    } else {
        DrawImage(cx - hw, cy - hh, cx + hw, cy + hh);
    }
    if (border != 0) {
        r.SetColor(borderColor.r, borderColor.g, borderColor.b, borderColor.a);
        r.DrawRectOutline(cx - hw, cy - hh, cx + hw, cy + hh, border);
    }
    if (hoverFill && FocusedPanel == this) {
        const int32_t inset = border + kFocusFrameInset;
        r.SetColor(kFocusFrameColor.r, kFocusFrameColor.g, kFocusFrameColor.b, kFocusFrameColor.a);
        r.DrawRectOutline(cx - hw + inset, cy - hh + inset, cx + hw - inset, cy + hh - inset,
                          kFocusFrameThickness);
    }
    r.PopTranslation();
}

// ---- Input.

void GuiPanel::OnMouseDown(int, int) {}
void GuiPanel::OnMouseUp() {}
void GuiPanel::OnHoverEnter() {}
void GuiPanel::OnHovering() {}
void GuiPanel::OnHoverLeave() {}

void GuiPanel::OnMouseMove(int px, int py) {
    if (!Active()) return;
    for (size_t i = 0; i < children.size(); ++i) {
        if (!children[i]->doomed) children[i]->OnMouseMove(px, py);
    }
}

void GuiPanel::OnMouseScroll(int state) {
    if (!Active()) return;
    for (size_t i = 0; i < children.size(); ++i) {
        if (!children[i]->doomed) children[i]->OnMouseScroll(state);
    }
}

bool GuiPanel::Contains(float px, float py) {
    auto [ox, oy] = GetScreenOffset();
    const float lx = px - float(ox);
    const float ly = py - float(oy);
    return lx >= 0.0f && lx <= float(GuiPixelsX(width)) && ly >= 0.0f &&
           ly <= float(GuiPixelsY(height));
}

void GuiPanel::HitTest(int px, int py) {
    if (!Active()) return;
    for (size_t i = children.size(); i-- > 0;) {
        if (i >= children.size()) continue;  // a handler may have shrunk the list
        GuiPanel* child = children[i];
        if (child->doomed || !child->IsVisible() || !child->Contains(float(px), float(py))) {
            continue;
        }
        if (!FocusedPanel) {
            FocusedPanel = child;
        } else if (child->interactive) {
            const int32_t focusedParent =
                FocusedPanel->parent ? FocusedPanel->parent->GetEffectiveLayer() : 0;
            if (int64_t(child->layer) + GetEffectiveLayer() >=
                int64_t(FocusedPanel->layer) + focusedParent) {
                FocusedPanel = child;
            }
        }
        child->HitTest(px, py);
    }
}

void GuiPanel::OnClick(int px, int py) {
    if (!Active()) return;
    for (size_t i = 0; i < children.size(); ++i) {
        GuiPanel* child = children[i];
        if (child->doomed || !child->IsVisible() || FocusedPanel != child) continue;
        if (child->Contains(float(px), float(py))) child->OnMouseDown(px, py);
    }
}

void GuiPanel::OnHover(int px, int py) {
    if (!Active()) return;
    for (size_t i = 0; i < children.size(); ++i) {
        GuiPanel* child = children[i];
        if (child->doomed) continue;
        if (child->IsVisible() && child->Contains(float(px), float(py))) {
            if (!child->hovered) child->OnHoverEnter();
            child->hovered = true;
            child->OnHovering();
            child->OnHover(px, py);
        } else {
            child->OnHoverLeave();
            child->hovered = false;
        }
    }
}

void GuiPanel::OnChar(int character) {
    if (!Active() || children.empty()) return;
    for (size_t i = 0; i < children.size(); ++i) {
        if (!children[i]->doomed) children[i]->OnChar(character);
    }
}

void GuiPanel::OnSpecialKeyDown(int key) {
    if (!Active() || children.empty()) return;
    for (size_t i = 0; i < children.size(); ++i) {
        if (!children[i]->doomed) children[i]->OnSpecialKeyDown(key);
    }
}

void GuiPanel::OnKey(int a, int b, int c, int d) {
    for (size_t i = 0; i < children.size(); ++i) {
        if (!children[i]->doomed) children[i]->OnKey(a, b, c, d);
    }
}

void GuiPanel::OnRelease() {
    OnMouseUp();
    for (size_t i = 0; i < children.size(); ++i) {
        if (!children[i]->doomed) children[i]->OnMouseUp();
    }
}

void GuiPanel::AddItem(GuiPanel* item) {
    if (item) items.push_back(item);
}

std::pair<int, int> GuiPanel::GetExtent() {
    return {0, 0};
}

// ---- Properties.

void GuiPanel::SetProperty(std::string_view key, DataNode* value) {
    // Whichever numeric type the value has: a layout gives ints and floats,
    // a script's message doubles.
    if (key == "xPos" || key == "SetX") {
        x = ClampGuiPosition(GetNodeNumber("", value));
    } else if (key == "yPos" || key == "SetY") {
        y = ClampGuiPosition(GetNodeNumber("", value));
    } else if (key == "width") {
        width = ClampGuiLength(GetNodeNumber("", value));
    } else if (key == "height") {
        height = ClampGuiLength(GetNodeNumber("", value));
    } else if (key == "name") {
        name = GetNodeString("", value);
    } else if (key == "color") {
        fillColor = GetNodeColor("", value);
    } else if (key == "border") {
        border = ClampGuiLength(GetNodeNumber("", value));
    } else if (key == "fill") {
        filled = GetNodeBool("", value);
    } else if (key == "ToggleUpdate") {
        updateFlag = !updateFlag;
    } else if (key == "layer") {
        layer = ClampGuiLength(GetNodeNumber("", value));
    }
    // "texture" is recognised and has no effect; other keys do nothing.
}

// ---- Accessors.

void GuiPanel::SetMirror(GuiPanel* panel) {
    mirrorWidth = mirrorHeight = panel;
}
void GuiPanel::SetNextFocus(GuiPanel* panel) {
    nextFocus = panel;
}
void GuiPanel::SetPrevFocus(GuiPanel* panel) {
    prevFocus = panel;
}
void GuiPanel::SetFirstFocus(GuiPanel* panel) {
    firstFocus = panel;
}

void GuiPanel::LoadTexture(const char* fileName) {
    if (!GlobalTextureAtlas || !fileName) return;
    image = GlobalTextureAtlas->GetImage(fileName);
}

int32_t GuiPanel::GetGameX() const {
    const Camera* camera = CurrentCamera;
    const double viewport = GetViewportWidth();
    const int32_t px = SafeDoubleToInt((std::trunc(x) + 10.0) / 1000.0 * viewport + 0.5);
    const float cameraX = camera ? camera->position.x : 0.0f;
    const float cameraWidth = camera ? camera->width : 1920.0f;
    const float window = WindowWidth != 0 ? float(WindowWidth) : 1.0f;
    return SafeDoubleToInt(cameraX - cameraWidth * 0.5f + (float(px) / window) * cameraWidth);
}

int32_t GuiPanel::GetGameY() const {
    return GuiToWorldY(std::trunc(y) + 50.0f);
}

// ---- Focus moves.

void FocusNext() {
    if (!IsPauseMenuShown() || !FocusedPanel) return;
    FocusedPanel = FocusedPanel->nextFocus;
    PlayGuiSound("MenuClick");
}

void FocusPrev() {
    if (!FocusedPanel) return;
    FocusedPanel = FocusedPanel->prevFocus;
    PlayGuiSound("MenuClick");
}

GuiPanel* GuiPanel::Create() {
    return new GuiPanel(0, 0, 0.0f, 0.0f);
}

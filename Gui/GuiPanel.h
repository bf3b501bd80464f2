// The base of every widget: a rectangle with an optional fill, texture and
// border, its child panels, a focus chain for pad navigation and the virtual
// operations that input events, GUI messages and the per-frame update reach.
//
// Units: a panel's position is its centre in thousandths of the letterboxed
// viewport (x of its width, y of its height), measured from the top-left
// corner of its parent; width and height are thousandths as well. Pixels
// come from GuiPixels, with the viewport size read anew at every use.
//
// Ownership: a parent owns its children. Panels point at each other without
// owning (focus links, savedPanel, mirrors, items); every live panel is in a
// registry, and a dying panel clears every such pointer to itself
// (ForgetPanel). Pointers that arrive from outside (a message, a layout
// file, Lua) are checked with IsLivePanel before use.
//
// Panels live in the engine's pool: every panel must be deleted before the
// pool ends (GuiShutdown deletes the tree and the panels scripts made and
// never attached, in one batch), or the registry would keep addresses of
// freed memory.
//
// Deleting: never `delete` a panel that may be in the tree while the GUI is
// walking it (a handler removing its own menu); call DeletePanel, which
// detaches the panel and deletes it at once, or, during a walk, when the
// walk is over.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>

#include "Graphics/TextureInfo.h"
#include "System/Source/Color.h"
#include "System/Source/Components/Meta.h"

class DataNode;
class Renderer;

// P(v, S) = trunc(trunc(v) / 1000 x S + 0.5), in double precision: the
// position is truncated to an integer first.
int32_t GuiPixels(double thousandths, int32_t size);
// P against the viewport width and height (read at each call).
int32_t GuiPixelsX(double thousandths);
int32_t GuiPixelsY(double thousandths);

// Positions, sizes, borders and layers are held within a thousand screens
// of the origin when they are set (from Lua, layouts, messages and menus):
// far beyond anything on screen, yet so far inside the int range that no
// pixel sum over them can overflow. NaN reads as 0.
constexpr double kGuiExtent = 1000000.0;
// A position in thousandths, clamped (the fraction is kept).
float ClampGuiPosition(double thousandths);
// A size in thousandths, a border in pixels or a layer: truncated toward
// zero, then clamped.
int32_t ClampGuiLength(double value);

class GuiPanel : public System::MetaData<GuiPanel> {
public:
    GuiPanel(int32_t width, int32_t height, float x, float y);
    GuiPanel(const GuiPanel&) = delete;
    GuiPanel& operator=(const GuiPanel&) = delete;

    // ---- Virtual operations, in slot order. Widgets override what they
    // need and hand the rest to these.
    ~GuiPanel() override;
    const char* GetTypeName() const override;
    // Scripts keep panels after the GUI deleted them (IsLivePanel).
    System::LivenessTest GetLivenessTest() const override;
    // The class name that messages and layout groups match ("GuiPanel").
    virtual const char* GetClassName() const;
    virtual void Reserved4() {}
    // Per-frame update, called by the parent while updateFlag is set.
    virtual void Update();
    // Per-frame update of the tree root (GuiRoot only).
    virtual void UpdateRoot();
    // Draws the children (each child's background, then its content).
    virtual void Draw();
    // Fill, texture and border, under the parent's translation.
    virtual void DrawBackground();
    virtual void Reserved9() {}
    virtual void OnMouseDown(int x, int y);
    virtual void OnMouseUp();
    virtual void OnHoverEnter();
    virtual void OnHovering();
    virtual void OnHoverLeave();
    virtual void OnMouseMove(int x, int y);
    virtual void OnMouseScroll(int state);
    // Viewport pixels; both ends inclusive.
    virtual bool Contains(float x, float y);
    virtual void OnClick(int x, int y);
    virtual void OnHover(int x, int y);
    virtual void OnChar(int character);
    virtual void Reserved21(int) {}
    virtual void Reserved22(int) {}
    virtual void OnSpecialKeyDown(int key);
    virtual void OnKey(int a, int b, int c, int d);
    virtual void AddItem(GuiPanel* item);
    virtual std::pair<int, int> GetExtent();
    // Applies one property; unknown keys do nothing.
    virtual void SetProperty(std::string_view key, DataNode* value);
    // `message` is the first entry of a message tree (its siblings are the
    // other entries); `sender` is a live panel or null.
    virtual void HandleMessage(DataNode* message, GuiPanel* sender);
    virtual void OnRelease();
    // Called on every live panel when `dying` is about to be deleted:
    // clears each pointer to it. Widgets with pointers of their own clear
    // them and call this.
    virtual void ForgetPanel(GuiPanel* dying);

    // ---- Tree.
    // The child's parent becomes this panel; it is appended to children.
    void AddChild(GuiPanel* child);
    // Deletes (through DeletePanel) every child whose name equals `name`.
    void RemoveChildByName(std::string_view name);
    // Own visible flag and every ancestor's.
    bool IsVisible() const;
    // Own layer plus the parent's effective layer.
    int32_t GetEffectiveLayer() const;
    // Top-left corner in viewport pixels, summed over the ancestors.
    std::pair<int32_t, int32_t> GetScreenOffset() const;
    // Mouse press: picks FocusedPanel among the panels under (x, y).
    void HitTest(int x, int y);
    // Draws this panel (background, then content) where its parent's Draw
    // would, under the translations of all its ancestors: for a panel that
    // its parent leaves out (drawnOnTop).
    void DrawAlone();

    // ---- Messages (see GuiManager.h).
    // Handles this frame's messages addressed to this panel.
    void PullMessages();
    // Delivers `tree` (its root is the command) to every panel of items,
    // then frees it.
    void SendToItems(DataNode* tree);

    // ---- Layout file: applies a settings group to this panel's subtree.
    // `depth` is the group's nesting in its file (1 at the top). Nested
    // groups deeper than kMaxLayoutDepth are skipped with their content;
    // false when any was.
    static constexpr int kMaxLayoutDepth = 64;
    bool ApplyLayout(DataNode* group, int depth = 1);

    // ---- Plain accessors.
    const System::String& GetName() const { return name; }
    void StoreFillColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
        fillColor = Color(r, g, b, a);
    }
    void StoreBorderColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
        borderColor = Color(r, g, b, a);
    }
    void SetMirror(GuiPanel* panel);
    void SetNextFocus(GuiPanel* panel);
    void SetPrevFocus(GuiPanel* panel);
    void SetFirstFocus(GuiPanel* panel);
    // The texture atlas's image of that file (the atlas keeps the texture).
    void LoadTexture(const char* fileName);
    // The panel's position in world units through the current camera.
    int32_t GetGameX() const;
    int32_t GetGameY() const;

    // ---- Lua.
    static void RegisterMethods();
    // "new" of the class table: a 0 x 0 panel at (0, 0) that belongs to no
    // tree until a script or a menu attaches it.
    static int LuaNew(struct lua_State* L);
    // The factory's row: a 0 x 0 panel at (0, 0).
    static GuiPanel* Create();

    // ---- Fields, in order.
    bool updated = false;
    int32_t width;
    int32_t height;
    System::String name;
    float x;
    float y;
    GuiPanel* parent = nullptr;
    bool visible = true;
    int32_t border = 0;
    bool filled = false;
    static constexpr int32_t kNoHalfHeightOverride = 0x7FFFFFFF;
    int32_t halfHeightOverride = kNoHalfHeightOverride;
    // Half the height of the background as drawn, in pixels.
    int32_t DrawnHalfHeight() const {
        return halfHeightOverride != kNoHalfHeightOverride ? halfHeightOverride
                                                           : GuiPixelsY(height / 2);
    }
    int32_t layer = 0;
    GuiPanel* nextFocus = nullptr;
    GuiPanel* prevFocus = nullptr;
    GuiPanel* firstFocus = nullptr;
    GuiPanel* savedPanel = nullptr;
    GuiPanel* mirrorWidth = nullptr;
    GuiPanel* mirrorHeight = nullptr;
    TextureInfo image;
    bool interactive = false;
    bool hovered = false;
    Color fillColor{0, 0, 0, 0};
    Color borderColor{0, 0, 0, 255};
    bool hoverFill = false;
    Color hoverColor{0, 0, 0, 0};
    System::Vector<GuiPanel*> children;
    System::Vector<GuiPanel*> items;
    bool updateFlag = true;
    bool disabled = false;

    // Waiting for deletion at the end of the walk: skipped by every walk.
    bool doomed = false;
    // Left out of its parent's Draw: drawn by DrawAlone in a pass of its
    // own, over the whole GUI (the open console).
    bool drawnOnTop = false;
    // Made by a script's "new": freed at GUI shutdown if never attached.
    bool madeByScript = false;

protected:
    // The panel's image, v-flipped, in the given pixels, tinted by the fill
    // colour when it has one.
    void DrawImage(int left, int top, int right, int bottom);
    // True when this panel takes part in walks (not disabled, not doomed).
    bool Active() const { return !disabled && !doomed; }

private:
    // The translation to the panel's top-left corner, at its layer, under
    // which its children are drawn.
    void PushFrame(Renderer& r) const;
    // The frames of this panel's ancestors and its own, the root's first.
    void PushFramesFromRoot(Renderer& r) const;
    // A child's background one depth step below the frame, then its content.
    void DrawInParentFrame(Renderer& r);
};

// The focused panel; not owning.
extern GuiPanel* FocusedPanel;
// The root of the tree: made by GuiStartup, deleted by GuiShutdown.
extern GuiPanel* GuiRoot;

// Whether `object` is a panel that is alive now (a registry lookup by
// address; the pointer is never dereferenced).
bool IsLivePanel(const void* object);
// The panel if it is alive, else null.
GuiPanel* LivePanelOrNull(void* object);
// Calls `visit` on every live panel (in no particular order); `visit` must
// not make or delete panels.
void ForEachLivePanel(const std::function<void(GuiPanel*)>& visit);
// Deletes a panel: detached from its parent and deleted now, or, while a
// walk of the tree runs, hidden from every walk and deleted when the walk
// ends. Null is ignored; a panel already waiting is not queued twice.
void DeletePanel(GuiPanel* panel);

// Deletes panels that die together (the GUI's end): each must have no
// parent. All leave the registry first, so that none clears its pointers
// in the others: each death costs the panels that stay, and deleting n
// panels costs n, not n squared.
void DeletePanelsTogether(const System::Vector<GuiPanel*>& panels);

// Marks a walk of the tree (update, draw, input delivery): panels deleted
// meanwhile wait until the outermost walk ends.
class GuiWalk {
public:
    GuiWalk();
    ~GuiWalk();
    GuiWalk(const GuiWalk&) = delete;
    GuiWalk& operator=(const GuiWalk&) = delete;
    static bool Active();
};

// The pause-menu focus moves (pad and keyboard navigation).
void FocusNext();
void FocusPrev();

// How the GUI plays its click sound ("MenuClick"); installed by the engine
// so that the GUI does not depend on the audio layer. Null: silent.
using GuiSoundHook = void (*)(const char* name);
void SetGuiSoundHook(GuiSoundHook hook);
void PlayGuiSound(const char* name);

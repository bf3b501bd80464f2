#include "Gui/FastPanel.h"

#include <algorithm>
#include <unordered_set>

#include "Graphics/Renderer.h"
#include "Gui/GuiPanel.h"
#include "System/Source/Components/LuaBinding.h"

FastPanelList* ScaledPanelList = nullptr;

namespace {

// On the ordinary heap: it lives for the whole process, across the pools
// that tests make and end.
std::unordered_set<FastPanel*>& ScriptFastPanels() {
    static std::unordered_set<FastPanel*> panels;
    return panels;
}

}  // namespace

FastPanel::FastPanel(float px, float py, int32_t w, int32_t h)
    : width(w), height(h), x(px), y(py) {}

FastPanel::~FastPanel() {
    // TextureInfo deletes its texture when it owns it.
    ForgetFastPanel(this);
    ScriptFastPanels().erase(this);
}

void FastPanel::Draw() {
    if (!CurrentRenderer) return;
    const int32_t cx = GuiPixelsX(x);
    const int32_t cy = GuiPixelsY(y);
    const int32_t hw = GuiPixelsX(width / 2);
    const int32_t hh = GuiPixelsY(height / 2);
    Renderer& r = *CurrentRenderer;
    r.SetTexture(image.texture);
    r.DrawTextureRegion(cx - hw, cy - hh, cx + hw, cy + hh, image.u, image.v + image.dv,
                        image.u + image.du, image.v);
}

int FastPanel::LuaNew(lua_State* L) {
    System::CheckNewArguments(L);
    PushUserdata(L, TrackScriptFastPanel(new FastPanel(0.0f, 0.0f, 0, 0)));
    return 1;
}

void ForgetFastPanel(FastPanel* panel) {
    if (!ScaledPanelList) return;
    std::erase(*ScaledPanelList, panel);
}

FastPanel* TrackScriptFastPanel(FastPanel* panel) {
    if (panel) ScriptFastPanels().insert(panel);
    return panel;
}

void DeleteScriptFastPanels() {
    std::unordered_set<FastPanel*> panels;
    panels.swap(ScriptFastPanels());
    for (FastPanel* panel : panels) delete panel;
}

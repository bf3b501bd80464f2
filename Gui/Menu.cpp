#include "Gui/Menu.h"

#include <algorithm>
#include <lua.hpp>
#include <unordered_set>

#include "Gui/FastPanel.h"
#include "Gui/GuiButton.h"
#include "Gui/GuiFans.h"
#include "Gui/GuiScrollBar.h"
#include "Gui/GuiTextField.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/LuaState.h"

MenuListType* MenuList = nullptr;
MenuListType* HudMenuList = nullptr;

namespace {

// On the ordinary heap: it lives for the whole process, across the pools
// that tests make and end.
std::unordered_set<const void*>& LiveMenus() {
    static std::unordered_set<const void*> menus;
    return menus;
}

void EraseFrom(MenuListType* list, const Menu* menu) {
    if (list) std::erase(*list, menu);
}

// Whether a live menu owns `panel` as its root panel.
bool IsMenuPanel(const GuiPanel* panel) {
    for (const void* entry : LiveMenus()) {
        const auto* menu = static_cast<const Menu*>(static_cast<const System::MetaBase*>(entry));
        if (menu->GetPanel() == panel) return true;
    }
    return false;
}

}  // namespace

bool IsLiveMenu(const void* object) {
    return object && LiveMenus().count(object) != 0;
}

Menu::Menu() {
    LiveMenus().insert(static_cast<System::MetaBase*>(this));
    panel_ = new GuiPanel(1000, 1000, 500.0f, 500.0f);
    if (panel_) {
        panel_->name = System::MakeString("Menu");
        panel_->layer = 1;
        if (GuiRoot) GuiRoot->AddChild(panel_);
    }
    if (MenuList) MenuList->push_back(this);
}

Menu::~Menu() {
    LiveMenus().erase(static_cast<System::MetaBase*>(this));
    NoteDeath();
    // The panel may be gone already (the whole tree deleted at shutdown).
    DeletePanel(GetPanel());
    panel_ = nullptr;
}

const char* Menu::GetTypeName() const {
    return System::TypeName<Menu>::name;
}

System::LivenessTest Menu::GetLivenessTest() const {
    return [](const System::MetaBase* object) { return IsLiveMenu(object); };
}

GuiPanel* Menu::GetPanel() const {
    return panel_ ? LivePanelOrNull(static_cast<System::MetaBase*>(panel_)) : nullptr;
}

GuiPanel* Menu::Adopt(GuiPanel* widget) {
    if (!widget) return nullptr;
    if (GuiPanel* root = GetPanel()) {
        root->AddChild(widget);
    } else {
        // No panel to hang it under: a script made it, the GUI frees it.
        widget->madeByScript = true;
    }
    return widget;
}

FastPanel* Menu::CreateLightPanel(float px, float py, int h, int w) {
    FastPanel* light = TrackScriptFastPanel(new FastPanel(px, py, w, h));
    if (!light) return nullptr;
    if (ScaledPanelList) ScaledPanelList->push_back(light);
    return light;
}

void Menu::PushToHud() {
    EraseFrom(MenuList, this);
    // Listed once: shutdown deletes every entry.
    if (HudMenuList &&
        std::find(HudMenuList->begin(), HudMenuList->end(), this) == HudMenuList->end()) {
        HudMenuList->push_back(this);
    }
}

void Menu::RemoveElement(GuiPanel* widget) {
    GuiPanel* root = GetPanel();
    if (!widget || !root || widget->parent != root) return;
    DeletePanel(widget);
}

void Menu::RemoveByName(std::string_view name) {
    if (HudMenuList) {
        Menu* match = nullptr;
        for (Menu* menu : *HudMenuList) {
            GuiPanel* root = menu ? menu->GetPanel() : nullptr;
            if (root && root->name == name) match = menu;
        }
        if (match) {
            EraseFrom(HudMenuList, match);
            delete match;
        }
    }
    if (!GuiRoot) return;
    // Then the root's other children of that name (layout widgets, the
    // profiler's graph), but no panel that a menu owns: deleting it would
    // leave that menu alive without its panel. So one name removes one menu
    // at most, and another menu of that name stays whole.
    System::Vector<GuiPanel*> doomed;
    for (GuiPanel* child : GuiRoot->children) {
        if (child->name == name && !IsMenuPanel(child)) doomed.push_back(child);
    }
    for (GuiPanel* child : doomed) DeletePanel(child);
}

// ---- Lua.

namespace {

using System::GetArgument;
using System::MetaArgs;

float Coordinate(const MetaArgs& a, unsigned i) {
    return ClampGuiPosition(GetArgument(a, i).ToDouble());
}
int Size(const MetaArgs& a, unsigned i) {
    return ClampGuiLength(GetArgument(a, i).ToDouble());
}

// (x, y, height, width): the widget of that kind, under the menu's panel.
template <class W>
MetaValue CreateWidget(Menu& m, MetaArgs& a) {
    W* widget = new W(Size(a, 3), Size(a, 2), Coordinate(a, 0), Coordinate(a, 1));
    return MetaValue(static_cast<GuiPanel*>(m.Adopt(widget)));
}

MetaValue LuaCreateFanPanel(Menu& m, MetaArgs& a) {
    // The one whose third number is the width.
    GuiFans* fans = new GuiFans(Size(a, 2), Size(a, 3), Coordinate(a, 0), Coordinate(a, 1));
    return MetaValue(static_cast<GuiPanel*>(m.Adopt(fans)));
}

MetaValue LuaCreateLightPanel(Menu& m, MetaArgs& a) {
    return MetaValue(
        m.CreateLightPanel(Coordinate(a, 0), Coordinate(a, 1), Size(a, 2), Size(a, 3)));
}

MetaValue LuaCreateScrollBar(Menu& m, MetaArgs& a) {
    auto* bar = new GuiScrollBar(Size(a, 3), Size(a, 2), Coordinate(a, 0), Coordinate(a, 1));
    if (bar) {
        // The bar's constructor already put it one layer above the default.
        bar->dragging = false;
        bar->interactive = true;
    }
    return MetaValue(static_cast<GuiPanel*>(m.Adopt(bar)));
}

MetaValue LuaGetPanel(Menu& m, MetaArgs&) {
    return MetaValue(m.GetPanel());
}

MetaValue LuaPushToHud(Menu& m, MetaArgs&) {
    m.PushToHud();
    return MetaValue::None();
}

MetaValue LuaRemoveElement(Menu& m, MetaArgs& a) {
    System::MetaBase* object = GetArgument(a, 0).ToObjectBase();
    m.RemoveElement(object ? LivePanelOrNull(object) : nullptr);
    return MetaValue::None();
}

}  // namespace

void Menu::RegisterMethods() {
    using Meta = System::MetaData<Menu>;
    Meta::AddMethod("CreateButton", System::Method<Menu, CreateWidget<GuiButton>>);
    Meta::AddMethod("CreateDraggable", System::Method<Menu, CreateWidget<GuiDraggableElement>>);
    Meta::AddMethod("CreateLabel", System::Method<Menu, CreateWidget<GuiLabel>>);
    Meta::AddMethod("CreateFanPanel", System::Method<Menu, LuaCreateFanPanel>);
    Meta::AddMethod("CreateLightPanel", System::Method<Menu, LuaCreateLightPanel>);
    Meta::AddMethod("CreatePanel", System::Method<Menu, CreateWidget<GuiPanel>>);
    Meta::AddMethod("CreateScrollBar", System::Method<Menu, LuaCreateScrollBar>);
    Meta::AddMethod("CreateTextField", System::Method<Menu, CreateWidget<GuiTextField>>);
    Meta::AddMethod("GetPanel", System::Method<Menu, LuaGetPanel>);
    Meta::AddMethod("PushToHud", System::Method<Menu, LuaPushToHud>);
    Meta::AddMethod("RemoveElement", System::Method<Menu, LuaRemoveElement>);
}

int Menu::LuaNew(lua_State* L) {
    System::CheckNewArguments(L);
    PushUserdata(L, new Menu());
    return 1;
}

int LuaRemoveMenuByName(lua_State* L) {
    const int top = lua_gettop(L);
    const char* name = LuaTextArgument(L, 1);
    if (!name) name = "";
    Menu::RemoveByName(name);
    lua_settop(L, top);
    return 0;
}

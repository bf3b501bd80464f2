// Lua-built menus. A menu owns one full-screen root panel under GuiRoot and
// offers scripts one factory method per widget kind; each created widget
// hangs under that panel and goes with it. MenuList holds the menus of the
// current level (deleted at every level change), HudMenuList the menus
// moved there by PushToHud (kept until RemoveMenuByName or shutdown).
#pragma once

#include <string_view>

#include "System/Source/Components/Meta.h"

class GuiPanel;
class FastPanel;

class Menu : public System::MetaData<Menu> {
public:
    // The root panel (1000 x 1000 at 500, 500, named "Menu", layer 1) at
    // the end of GuiRoot's children; the menu at the end of MenuList.
    Menu();
    // Deletes the root panel with every widget under it (after the GUI walk
    // when one runs). The menu does not leave the lists: callers do that.
    ~Menu() override;
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    const char* GetTypeName() const override;
    // Menus die at level changes while scripts still hold them.
    System::LivenessTest GetLivenessTest() const override;

    // The root panel, or null once something else deleted it.
    GuiPanel* GetPanel() const;
    // Every widget but the light panel hangs under the root panel.
    GuiPanel* Adopt(GuiPanel* widget);
    FastPanel* CreateLightPanel(float x, float y, int height, int width);
    // Out of MenuList, into HudMenuList (once).
    void PushToHud();
    // Deletes the widget when it is a child of this menu's root panel.
    void RemoveElement(GuiPanel* widget);

    // The last HUD menu whose root panel bears the name is deleted, then
    // every direct child of GuiRoot of that name that is no menu's root
    // panel. Other menus of that name, HUD or level, stay whole.
    static void RemoveByName(std::string_view name);

    static void RegisterMethods();
    static int LuaNew(struct lua_State* L);

private:
    GuiPanel* panel_ = nullptr;
};

using MenuListType = System::Vector<Menu*>;
extern MenuListType* MenuList;
extern MenuListType* HudMenuList;

// Whether `object` is a menu that is alive now (an address lookup; the
// pointer is never dereferenced).
bool IsLiveMenu(const void* object);

// Lua global RemoveMenuByName(name); no results.
int LuaRemoveMenuByName(struct lua_State* L);

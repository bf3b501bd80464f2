// STAND-IN for the parts of the GUI not built yet: menus are empty records.
// The menus replace this file.
#include "Gui/GuiManager.h"

MenuListType* MenuList = nullptr;
MenuListType* HudMenuList = nullptr;

Menu::Menu() {
    if (MenuList) MenuList->push_back(this);
}
Menu::~Menu() = default;


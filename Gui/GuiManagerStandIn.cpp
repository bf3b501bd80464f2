// STAND-IN for the parts of the GUI not built yet: menus are empty records
// and the console has no panel to empty. The menus and the console panel
// replace this file.
#include "Gui/ConsoleArgs.h"
#include "Gui/GuiManager.h"

MenuListType* MenuList = nullptr;
MenuListType* HudMenuList = nullptr;

Menu::Menu() {
    if (MenuList) MenuList->push_back(this);
}
Menu::~Menu() = default;

// The console's output is standard output until the console panel exists:
// there is nothing to empty.
void ConsoleClear(ConsoleArgs&) {}

// STAND-IN for the GUI subsystem: messages are dropped, menus are empty
// records. The GUI manager, panels and menus replace this file.
#include "Gui/ConsoleArgs.h"
#include "Gui/GuiManager.h"
#include "System/Source/DataNode.h"

GuiManager* Gui = nullptr;
MenuListType* MenuList = nullptr;
MenuListType* HudMenuList = nullptr;

GuiManager::GuiManager() = default;
GuiManager::~GuiManager() = default;

void PostGuiMessage(DataNode* message) {
    if (!message) return;
    FreeNodeTree(message);
    delete message;
}

void ApplyLayoutToRoot(DataNode*) {}

void GuiHandleChar(unsigned) {}
void GuiHandleKey(int) {}
void GuiHandleMouseMove(int, int) {}
void GuiHandleMouseDown(int, int) {}
void GuiFocusNext() {}
void GuiFocusPrev() {}

Menu::Menu() {
    if (MenuList) MenuList->push_back(this);
}
Menu::~Menu() = default;

// The console's output is standard output until the console panel exists:
// there is nothing to empty.
void ConsoleClear(ConsoleArgs&) {}

void GuiStartup() {}
void DrawGui() {}

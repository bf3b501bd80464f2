// The GUI manager, GUI messages and the Lua-built menus.
#pragma once

#include "System/Source/Components/Meta.h"
#include "System/Source/PoolAllocator.h"

struct DataNode;

class GuiManager : public System::PoolObject {
public:
    GuiManager();
    ~GuiManager();
};
extern GuiManager* Gui;

// Queues a message tree for the GUI, which then owns it.
void PostGuiMessage(DataNode* message);
// Applies a settings tree to the panels named by its name.
void ApplyLayoutToRoot(DataNode* settings);

// A Lua-built menu.
class Menu : public System::MetaData<Menu> {
public:
    Menu();
    ~Menu() override;
};

using MenuListType = System::Vector<Menu*>;
extern MenuListType* MenuList;
extern MenuListType* HudMenuList;

class ConsoleArgs;
// The console command "Clear": empties the console output.
void ConsoleClear(ConsoleArgs& args);

// GUI start-up (root, console, layout file) and the per-frame drawing of the
// fast panels and the GUI root.
void GuiStartup();
void DrawGui();

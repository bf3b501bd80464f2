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

// Input handed to the GUI root by the input module: a typed character, a
// newly pressed key (code 0-423), the cursor and a left-button press (GUI
// pixels; the press clears the focus, then hit-tests), and the pause-menu
// focus moves.
void GuiHandleChar(unsigned ch);
void GuiHandleKey(int key);
void GuiHandleMouseMove(int x, int y);
void GuiHandleMouseDown(int x, int y);
void GuiFocusNext();
void GuiFocusPrev();

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

// The GUI manager and GUI messages, the GUI's entry points for input, the
// frame and start-up, and the Lua-built menus.
//
// A GUI message is a DataNode tree posted to the manager. The root's name
// is the target: a widget class name (every panel of that class), a panel
// name, or "GLOBAL" (every panel). An event message holds "Function" (the
// event's name) and its arguments ("x", "y", "state", "key"); a command
// message holds, as its first entry, a command ("ToggleVisible",
// "SaveValue", "ToggleValue", "SetValueFocus") or a property key. Posting
// appends "From", the sending panel.
//
// Timing: each panel pulls the messages addressed to it during its own
// update (the root never pulls); the root's update frees them all after the
// walk. Messages posted by a handler during the walk wait for the next
// frame; messages posted between frames are seen in the next walk.
#pragma once

#include <string_view>
#include <variant>

#include "Gui/Menu.h"
#include "System/Source/Components/Meta.h"
#include "System/Source/PoolAllocator.h"

class DataNode;
class GuiPanel;

// The panel operation an event calls, by its arguments.
using GuiOperation0 = void (GuiPanel::*)();
using GuiOperationInt = void (GuiPanel::*)(int);
using GuiOperationFloat = void (GuiPanel::*)(float);
using GuiOperationPointer = void (GuiPanel::*)(void*);
using GuiOperationIntInt = void (GuiPanel::*)(int, int);
using GuiOperationTextFloat = void (GuiPanel::*)(const char*, float);
using GuiOperation = std::variant<GuiOperation0, GuiOperationInt, GuiOperationFloat,
                                  GuiOperationPointer, GuiOperationIntInt, GuiOperationTextFloat>;

// One named event: the operation, its argument count (0-2), the DataNode
// type codes and the entry names of its arguments.
struct GuiEventCallback {
    System::String name;
    GuiOperation operation;
    int argumentCount = 0;
    int firstType = 0;
    int secondType = 0;
    const char* firstName = "";
    const char* secondName = "";
};

class GuiManager : public System::PoolObject {
public:
    GuiManager();
    // Frees every message tree it still holds.
    ~GuiManager();
    GuiManager(const GuiManager&) = delete;
    GuiManager& operator=(const GuiManager&) = delete;

    // A name already present is replaced.
    void AddCallback(const GuiEventCallback& callback);
    // The event of that name, or null.
    const GuiEventCallback* FindCallback(std::string_view name) const;
    bool HasEvents() const { return !events_.empty(); }

    // Takes over the tree: into pending while the messages are walked,
    // else into this frame's messages.
    void QueueMessage(DataNode* tree);
    // Frees this frame's messages, moves the pending ones in, ends the walk.
    void FlushMessages();

    const System::Vector<DataNode*>& Messages() const { return messages_; }
    const System::Vector<DataNode*>& Pending() const { return pending_; }
    bool IsIterating() const { return iterating_; }
    void SetIterating(bool iterating) { iterating_ = iterating; }

private:
    System::Map<System::String, GuiEventCallback, std::less<>> events_;
    System::Vector<DataNode*> messages_;
    System::Vector<DataNode*> pending_;
    bool iterating_ = false;
};
extern GuiManager* Gui;

// Builds an event record and adds it to the manager.
void RegisterEventCallback(std::string_view name, GuiOperation operation, int argumentCount,
                           int firstType, int secondType, const char* firstName,
                           const char* secondName);
// The six events the panels answer ("OnMouseMove", "OnMouseScroll",
// "OnClick", "OnHover", "OnSpecialKeyDown", "OnRelease"); run by the first
// panel made while the manager has none.
void RegisterGuiEvents();

// Appends "From" = sender (a pointer entry, even when one is there
// already) and queues the tree; the GUI owns it from then on. Without a
// manager the tree is freed.
void PostGuiMessage(GuiPanel* sender, DataNode* tree);
// The same, sent by GuiRoot (the input layer's and the engine's posts).
void PostGuiMessage(DataNode* tree);
// Frees this frame's messages (see GuiManager::FlushMessages).
void FlushMessages();
// Frees a whole message tree, root included.
void FreeMessageTree(DataNode* tree);

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
// The name of the pause menu's root panel: it shows while the game is
// paused for it (IsPauseMenuShown).
constexpr const char* kPauseMenuName = "PauseMenu";
// Whether the console is open: it then takes every typed character and key
// press, and the game sees no key go down.
bool GuiHoldsKeyboard();
// The last cursor position the input module reported, in GUI pixels.
void GetGuiCursor(int& x, int& y);

// Applies a settings tree to the panels named by its name (the FPS text).
void ApplyLayoutToRoot(DataNode* settings);

class ConsoleArgs;
// The console command "Clear": empties the console output.
void ConsoleClear(ConsoleArgs& args);

// GUI start-up (root, console, layout file), the per-frame update and
// drawing of the fast panels and the GUI root, and the shutdown (messages
// freed, the tree and the fast-panel list deleted).
void GuiStartup();
void DrawGui();
void GuiShutdown();

// The clickable widget: a label that, when activated, plays "MenuEnter",
// runs its console command lines and posts its message trees. A mouse
// press on it, character 13 while it holds the focus, its watched input
// action, and the Lua method ExcecuteAction activate it.
#pragma once

#include "Gui/GuiLabel.h"

class DataNode;

class GuiButton : public GuiLabel {
public:
    GuiButton(int32_t width, int32_t height, float x, float y);
    // Frees every stored message tree.
    ~GuiButton() override;

    const char* GetTypeName() const override;
    const char* GetClassName() const override;
    // The panel update, then the watched action of players 0 to 3.
    void Update() override;
    void OnMouseDown(int x, int y) override;
    void OnHoverEnter() override;
    // Character 13 activates the button while it is FocusedPanel.
    void OnChar(int character) override;

    void Activate();
    void SetCommand(std::string_view line);
    // Takes over a message tree (its root names the target).
    void AddMessage(DataNode* tree);
    void SetActionKey(std::string_view action);

    static void RegisterMethods();
    static int LuaNew(struct lua_State* L);
    // The factory's row: a 0 x 0 button at (0, 0).
    static GuiPanel* Create();

    System::Vector<System::String> commands;
    System::Vector<DataNode*> messages;
    System::String actionName;
};

// How a button asks whether its action fired this frame for a player (the
// input layer's triggered test). Installed by the engine so that the GUI
// does not depend on the input layer; null: actions never fire.
using GuiActionHook = float (*)(int player, const char* action);
void SetGuiActionHook(GuiActionHook hook);

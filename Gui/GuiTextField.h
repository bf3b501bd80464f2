// One-line text input that edits at a cursor while it has the keyboard
// focus (FocusedPanel), and the console's input line, which also turns
// Enter, typing and the up and down keys into signals for its listeners.
#pragma once

#include <string_view>

#include "Gui/GuiPanel.h"

class GuiTextField : public GuiPanel {
public:
    GuiTextField(int32_t width, int32_t height, float x, float y);

    const char* GetClassName() const override;
    // The visible tail of the text and a 2-pixel cursor bar under it.
    void Draw() override;
    // While focused: character 10 deletes before the cursor (at the start,
    // the first character), any other is inserted at the cursor.
    void OnChar(int character) override;
    // While focused: Left and Right move the cursor.
    void OnSpecialKeyDown(int key) override;

    // Replaces the text; the cursor goes to its end.
    void SetText(std::string_view newText);
    // How many leading characters do not fit and are not drawn.
    size_t HiddenLeadingCharacters() const;

    static GuiPanel* Create();

    System::String text;
    Color textColour{0, 0, 0, 255};
    int32_t cursor = 0;
    Color cursorColour{0, 0, 0, 255};
    int32_t font = -1;

protected:
    bool HasFocus() const { return FocusedPanel == this; }
    void Edit(int character);
    void MoveCursor(int key);
};

// Enter sends "Submit" then "FlagChange" and is not inserted; any other
// character sends "FlagChange" and is then edited in; Up and Down send
// "KeyUp" and "KeyDown". Signals go to the items at once, focused or not.
class TabCatchTextField : public GuiTextField {
public:
    using GuiTextField::GuiTextField;

    void OnChar(int character) override;
    void OnSpecialKeyDown(int key) override;

private:
    void Signal(const char* name);
};

// GLFW key codes and typed characters the widgets use.
inline constexpr int kGuiKeyTab = 258;
inline constexpr int kGuiKeyRight = 262;
inline constexpr int kGuiKeyLeft = 263;
inline constexpr int kGuiKeyDown = 264;
inline constexpr int kGuiKeyUp = 265;
inline constexpr int kGuiCharDelete = 10;
inline constexpr int kGuiCharEnter = 13;

// The widget factory (a widget from its class name) and the layout file
// whose groups become widgets and whose entries become their properties.
#pragma once

#include <string_view>

class GuiPanel;
class DataNode;

// One static row of the factory: linked at the head, so the list runs from
// the last registration to the first. Rows must be constant-initialised
// (`constinit`): they are linked before dynamic initialisation is over.
struct GuiFactoryNode {
    GuiFactoryNode* next = nullptr;
    const char* className = nullptr;
    GuiPanel* (*create)() = nullptr;
};
extern GuiFactoryNode* g_guiFactoryHead;

// Links `node` at the head of the list (once; a node already linked is
// left alone).
void RegisterGuiType(GuiFactoryNode& node, const char* className, GuiPanel* (*create)());

namespace GuiFactory {
// A new widget of the first row whose name equals `className` exactly;
// null when none does.
GuiPanel* Create(std::string_view className);
}  // namespace GuiFactory

// The layout file read at start-up.
inline constexpr const char* kGuiLayoutFile = "Resources/Config/guiTest.txt";

// Reads a layout file: each top-level group named by a widget class makes
// that widget under GuiRoot and applies the group to it. A missing file or
// an unknown class name adds nothing.
void LoadGuiLayout(std::string_view path);

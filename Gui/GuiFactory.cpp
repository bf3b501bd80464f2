#include "Gui/GuiFactory.h"

#include <cstring>

#include "Gui/GuiPanel.h"
#include "System/Source/DataNode.h"

// Null until the first registration; constant-initialised, so no dynamic
// initialiser can reset it after rows were linked.
constinit GuiFactoryNode* g_guiFactoryHead = nullptr;

void RegisterGuiType(GuiFactoryNode& node, const char* className, GuiPanel* (*create)()) {
    for (GuiFactoryNode* row = g_guiFactoryHead; row; row = row->next) {
        if (row == &node) return;
    }
    node.className = className;
    node.create = create;
    node.next = g_guiFactoryHead;
    g_guiFactoryHead = &node;
}

GuiPanel* GuiFactory::Create(std::string_view className) {
    for (GuiFactoryNode* row = g_guiFactoryHead; row; row = row->next) {
        if (row->className && row->create && className == row->className) return row->create();
    }
    return nullptr;
}

namespace {

std::string_view NameOf(const DataNode* node) {
    return std::string_view(node->name.data(), node->name.size());
}

bool Selects(const GuiPanel& panel, std::string_view selector) {
    return selector == "All" || selector == panel.GetClassName() ||
           selector == std::string_view(panel.name.data(), panel.name.size());
}

// Step b of a leaf: each child of `panel` that the selector takes, then
// its own children, depth first.
void ApplyToDescendants(GuiPanel& panel, std::string_view selector, DataNode* leaf) {
    for (size_t i = 0; i < panel.children.size(); ++i) {
        GuiPanel* child = panel.children[i];
        if (Selects(*child, selector)) child->SetProperty(NameOf(leaf), leaf);
        if (!child->children.empty()) ApplyToDescendants(*child, selector, leaf);
    }
}

}  // namespace

void GuiPanel::ApplyLayout(DataNode* group) {
    if (!group) return;
    const std::string_view selector = NameOf(group);
    for (DataNode* entry = group->firstChild; entry; entry = entry->nextSibling) {
        if (entry->firstChild) {
            // A nested group: a child widget of that class, made where it
            // stands; an unknown class skips the group with its content.
            GuiPanel* widget = GuiFactory::Create(NameOf(entry));
            if (!widget) continue;
            AddChild(widget);
            widget->ApplyLayout(entry);
            continue;
        }
        if (Selects(*this, selector)) SetProperty(NameOf(entry), entry);
        ApplyToDescendants(*this, selector, entry);
    }
}

void LoadGuiLayout(std::string_view path) {
    DataNode* tree = ReadDataFile(path);
    if (!tree) return;
    for (DataNode* node = tree; node; node = node->nextSibling) {
        if (!GuiRoot) break;
        GuiPanel* widget = GuiFactory::Create(NameOf(node));
        if (!widget) continue;
        GuiRoot->AddChild(widget);
        widget->ApplyLayout(node);
    }
    FreeNodeTree(tree);
    delete tree;
}

#include "Gui/GuiFactory.h"

#include <cstdio>
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

bool GuiPanel::ApplyLayout(DataNode* group, int depth) {
    if (!group) return true;
    bool complete = true;
    const std::string_view selector = NameOf(group);
    for (DataNode* entry = group->firstChild; entry; entry = entry->nextSibling) {
        if (entry->firstChild) {
            // A nested group: a child widget of that class, made where it
            // stands; an unknown class skips the group with its content. A
            // bound on the nesting keeps the stack and the drawing (which
            // looks up every ancestor of every panel) within reach.
            if (depth >= kMaxLayoutDepth) {
                complete = false;
                continue;
            }
            GuiPanel* widget = GuiFactory::Create(NameOf(entry));
            if (!widget) continue;
            AddChild(widget);
            complete = widget->ApplyLayout(entry, depth + 1) && complete;
            continue;
        }
        if (Selects(*this, selector)) SetProperty(NameOf(entry), entry);
        ApplyToDescendants(*this, selector, entry);
    }
    return complete;
}

void LoadGuiLayout(std::string_view path) {
    DataNode* tree = ReadDataFile(path);
    if (!tree) return;
    bool complete = true;
    for (DataNode* node = tree; node; node = node->nextSibling) {
        if (!GuiRoot) break;
        GuiPanel* widget = GuiFactory::Create(NameOf(node));
        if (!widget) continue;
        GuiRoot->AddChild(widget);
        complete = widget->ApplyLayout(node) && complete;
    }
    if (!complete) {
        std::printf("Layout file %.*s: groups nested more than %d deep were skipped\n",
                    int(path.size()), path.data(), GuiPanel::kMaxLayoutDepth);
    }
    FreeNodeTree(tree);
    delete tree;
}

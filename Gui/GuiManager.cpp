#include "Gui/GuiManager.h"

#include "Gui/GuiPanel.h"
#include "System/Source/DataNode.h"

GuiManager* Gui = nullptr;

// ---- The manager.

GuiManager::GuiManager() = default;

GuiManager::~GuiManager() {
    events_.clear();
    for (DataNode* tree : messages_) FreeMessageTree(tree);
    for (DataNode* tree : pending_) FreeMessageTree(tree);
    messages_.clear();
    pending_.clear();
}

void GuiManager::AddCallback(const GuiEventCallback& callback) {
    events_.insert_or_assign(callback.name, callback);
}

const GuiEventCallback* GuiManager::FindCallback(std::string_view name) const {
    auto it = events_.find(name);
    return it == events_.end() ? nullptr : &it->second;
}

void GuiManager::QueueMessage(DataNode* tree) {
    if (!tree) return;
    (iterating_ ? pending_ : messages_).push_back(tree);
}

void GuiManager::FlushMessages() {
    for (DataNode* tree : messages_) FreeMessageTree(tree);
    messages_.clear();
    messages_.swap(pending_);
    iterating_ = false;
}

void FreeMessageTree(DataNode* tree) {
    if (!tree) return;
    FreeNodeTree(tree);
    delete tree;
}

void RegisterEventCallback(std::string_view name, GuiOperation operation, int argumentCount,
                           int firstType, int secondType, const char* firstName,
                           const char* secondName) {
    if (!Gui) return;
    GuiEventCallback callback;
    callback.name = System::MakeString(name);
    callback.operation = operation;
    callback.argumentCount = argumentCount;
    callback.firstType = firstType;
    callback.secondType = secondType;
    callback.firstName = firstName ? firstName : "";
    callback.secondName = secondName ? secondName : "";
    Gui->AddCallback(callback);
}

void RegisterGuiEvents() {
    RegisterEventCallback("OnMouseMove", GuiOperationIntInt(&GuiPanel::OnMouseMove), 2, kDataInt,
                          kDataInt, "x", "y");
    RegisterEventCallback("OnMouseScroll", GuiOperationInt(&GuiPanel::OnMouseScroll), 1, kDataInt,
                          kDataInt, "state", "");
    RegisterEventCallback("OnClick", GuiOperationIntInt(&GuiPanel::OnClick), 2, kDataInt,
                          kDataInt, "x", "y");
    RegisterEventCallback("OnHover", GuiOperationIntInt(&GuiPanel::OnHover), 2, kDataInt,
                          kDataInt, "x", "y");
    RegisterEventCallback("OnSpecialKeyDown", GuiOperationInt(&GuiPanel::OnSpecialKeyDown), 1,
                          kDataInt, kDataInt, "key", "");
    RegisterEventCallback("OnRelease", GuiOperation0(&GuiPanel::OnRelease), 0, kDataInt, kDataInt,
                          "", "");
}

namespace {

// "From" = sender, appended as a new last child even when the tree has one
// already. The panel travels as its reflection base, as in Lua.
void AppendFrom(DataNode* tree, GuiPanel* sender) {
    DataNode* from = CreateNode(tree, "From", GetLastChild(tree));
    if (!from) return;
    from->type = kDataPointer;
    from->number.ptr = sender ? static_cast<System::MetaBase*>(sender) : nullptr;
}

}  // namespace

void PostGuiMessage(GuiPanel* sender, DataNode* tree) {
    if (!tree) return;
    if (!Gui) {
        FreeMessageTree(tree);
        return;
    }
    AppendFrom(tree, sender);
    Gui->QueueMessage(tree);
}

void PostGuiMessage(DataNode* tree) {
    PostGuiMessage(GuiRoot, tree);
}

void FlushMessages() {
    if (Gui) Gui->FlushMessages();
}

// ---- Pulling and handling.

namespace {

// The pointer value of the entry named `key` among `start` and its
// siblings, when it is a pointer to a live panel.
GuiPanel* PanelEntry(std::string_view key, const DataNode* start) {
    const DataNode* node = FindNode(const_cast<DataNode*>(start), key, false);
    if (!node || node->type != kDataPointer) return nullptr;
    return LivePanelOrNull(node->number.ptr);
}

// The built-in commands; false when `command` is none of them.
bool RunBuiltIn(GuiPanel& panel, std::string_view command, DataNode* entry) {
    if (command == "ToggleVisible") {
        panel.visible = !panel.visible;
        panel.updated = false;
        if (panel.visible) {
            FocusedPanel = panel.firstFocus ? panel.firstFocus : &panel;
        } else {
            FocusedPanel = nullptr;
        }
        return true;
    }
    if (command == "SaveValue") {
        // A pointer from a message or a layout file is only taken when it
        // names a live panel.
        panel.savedPanel = PanelEntry("", entry);
        return true;
    }
    if (command == "ToggleValue") {
        GuiPanel* saved = panel.savedPanel;
        if (!saved) return true;  // nothing saved: the message is ignored
        saved->visible = !saved->visible;
        saved->updated = false;
        if (saved->visible) {
            FocusedPanel = panel.firstFocus ? panel.firstFocus : &panel;
        } else {
            FocusedPanel = nullptr;
        }
        return true;
    }
    if (command == "SetValueFocus") {
        GuiPanel* saved = panel.savedPanel;
        if (!saved) return true;  // nothing saved: the message is ignored
        const int n = GetNodeWholeNumber("", entry);
        if (n <= 0 || saved->children.empty()) {
            FocusedPanel = nullptr;
        } else if (size_t(n) > saved->children.size()) {
            FocusedPanel = saved->children.back();
        } else {
            FocusedPanel = saved->children[size_t(n) - 1];
        }
        return true;
    }
    return false;
}

void CallEvent(GuiPanel& panel, const GuiEventCallback& event, const DataNode* entries) {
    const GuiOperation& op = event.operation;
    switch (event.argumentCount) {
        case 0:
            if (auto* call = std::get_if<GuiOperation0>(&op)) (panel.**call)();
            break;
        case 1:
            if (event.firstType == kDataInt) {
                if (auto* call = std::get_if<GuiOperationInt>(&op)) {
                    (panel.**call)(GetNodeWholeNumber(event.firstName, entries));
                }
            } else if (event.firstType == kDataFloat) {
                if (auto* call = std::get_if<GuiOperationFloat>(&op)) {
                    (panel.**call)(SafeDoubleToFloat(GetNodeNumber(event.firstName, entries)));
                }
            } else if (event.firstType == kDataPointer) {
                if (auto* call = std::get_if<GuiOperationPointer>(&op)) {
                    (panel.**call)(GetNodePointer(event.firstName, entries));
                }
            }
            break;
        case 2:
            if (event.firstType == kDataInt && event.secondType == kDataInt) {
                if (auto* call = std::get_if<GuiOperationIntInt>(&op)) {
                    (panel.**call)(GetNodeWholeNumber(event.firstName, entries),
                                   GetNodeWholeNumber(event.secondName, entries));
                }
            } else if (event.firstType == kDataString && event.secondType == kDataFloat) {
                if (auto* call = std::get_if<GuiOperationTextFloat>(&op)) {
                    System::String text = GetNodeString(event.firstName, entries);
                    (panel.**call)(text.c_str(),
                                   SafeDoubleToFloat(GetNodeNumber(event.secondName, entries)));
                }
            }
            break;
        default:
            break;
    }
}

}  // namespace

void GuiPanel::PullMessages() {
    if (!Gui) return;
    Gui->SetIterating(true);
    // Posts made by the handlers go to pending, so this list stays as it is
    // during the walk.
    for (size_t i = 0; i < Gui->Messages().size(); ++i) {
        DataNode* tree = Gui->Messages()[i];
        const std::string_view target(tree->name.data(), tree->name.size());
        if (target != GetClassName() && target != std::string_view(name.data(), name.size()) &&
            target != "GLOBAL") {
            continue;
        }
        GuiPanel* sender = PanelEntry("From", tree->firstChild);
        HandleMessage(tree->firstChild, sender);
        if (doomed) break;  // deleted by its own handler: it handles no more
    }
}

void GuiPanel::HandleMessage(DataNode* message, GuiPanel*) {
    if (!message) return;
    const System::String function = GetNodeString("Function", message);
    const std::string_view functionName(function.data(), function.size());
    if (Gui) {
        if (const GuiEventCallback* event = Gui->FindCallback(functionName)) {
            CallEvent(*this, *event, message);
            return;
        }
    }
    const std::string_view command(message->name.data(), message->name.size());
    if (RunBuiltIn(*this, command, message)) return;
    // A button's message {"Function" = "ToggleVisible"} names a built-in
    // through "Function": run it, as the button's author meant.
    if (command == "Function" && RunBuiltIn(*this, functionName, message)) return;
    SetProperty(command, message);
}

void GuiPanel::SendToItems(DataNode* tree) {
    if (!tree) return;
    AppendFrom(tree, this);
    SetNodeBool(tree, "ActionSignal", true);
    GuiWalk walk;
    // A listener may die while an earlier one handles the tree.
    System::Vector<GuiPanel*> listeners = items;
    for (GuiPanel* item : listeners) {
        if (IsLivePanel(static_cast<System::MetaBase*>(item)) && !item->doomed) {
            item->HandleMessage(tree, this);
        }
    }
    FreeMessageTree(tree);
}

#include "Gui/GuiButton.h"

#include <lua.hpp>
#include <string>

#include "Gui/GuiManager.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/Console.h"
#include "System/Source/DataNode.h"

namespace {

GuiActionHook g_actionHook = nullptr;
constexpr int kPlayerCount = 4;

// A node like `source` (name, type and value; text copied), without links.
DataNode* CopyEntry(const DataNode* source, DataNode* parent) {
    DataNode* copy = CreateNode(parent, std::string_view(source->name.data(), source->name.size()),
                                parent ? GetLastChild(parent) : nullptr);
    if (!copy) return nullptr;
    copy->type = source->type;
    copy->number = source->number;
    copy->color = source->color;
    copy->text = source->text;
    return copy;
}

// The posted copy of a stored tree: the root's name and its direct
// children; deeper levels stay behind. Siblings of the root are copied the
// same way and hung under the first copy.
DataNode* CopyMessage(const DataNode* stored) {
    DataNode* root = MakeNode(std::string_view(stored->name.data(), stored->name.size()));
    if (!root) return nullptr;
    for (const DataNode* child = stored->firstChild; child; child = child->nextSibling) {
        CopyEntry(child, root);
    }
    for (const DataNode* sibling = stored->nextSibling; sibling; sibling = sibling->nextSibling) {
        DataNode* copy = CopyEntry(sibling, root);
        if (!copy) continue;
        for (const DataNode* child = sibling->firstChild; child; child = child->nextSibling) {
            CopyEntry(child, copy);
        }
    }
    return root;
}

}  // namespace

void SetGuiActionHook(GuiActionHook hook) {
    g_actionHook = hook;
}

GuiButton::GuiButton(int32_t w, int32_t h, float px, float py) : GuiLabel(w, h, px, py) {
    interactive = true;
    hoverFill = true;
    hoverColor = Color(255, 255, 255, 255);
    SetCenter(true);
}

GuiButton::~GuiButton() {
    for (DataNode* tree : messages) FreeMessageTree(tree);
    messages.clear();
}

const char* GuiButton::GetTypeName() const {
    return System::TypeName<GuiButton>::name;
}

const char* GuiButton::GetClassName() const {
    return "GuiButton";
}

void GuiButton::Update() {
    GuiPanel::Update();
    if (actionName.empty() || !g_actionHook) return;
    // Every player is asked: two players firing in one frame activate the
    // button twice. A handler of the first activation may hide or delete it.
    for (int player = 0; player < kPlayerCount; ++player) {
        if (doomed || !IsVisible()) return;
        if (g_actionHook(player, actionName.c_str()) != 0.0f) Activate();
    }
}

void GuiButton::OnMouseDown(int, int) {
    Activate();
}

void GuiButton::OnHoverEnter() {
    PlayGuiSound("MenuClick");
}

void GuiButton::OnChar(int character) {
    if (FocusedPanel == this && character == 13) Activate();
}

void GuiButton::Activate() {
    PlayGuiSound("MenuEnter");
    // Copies: a command may delete this button (its menu, a level change
    // run at once), and its lists with it. Deletion itself waits for the
    // end of the GUI walk when one runs; this keeps the lists safe outside
    // a walk too (ExcecuteAction called from a script).
    const System::Vector<System::String> lines = commands;
    System::Vector<DataNode*> posts;
    for (const DataNode* tree : messages) {
        if (DataNode* copy = CopyMessage(tree)) posts.push_back(copy);
    }
    for (const System::String& line : lines) {
        if (!line.empty()) ExecuteCommandLine(std::string_view(line.data(), line.size()));
    }
    for (DataNode* copy : posts) PostGuiMessage(GuiRoot, copy);
}

void GuiButton::SetCommand(std::string_view line) {
    commands.push_back(System::MakeString(line));
}

void GuiButton::AddMessage(DataNode* tree) {
    if (tree) messages.push_back(tree);
}

void GuiButton::SetActionKey(std::string_view action) {
    actionName = System::MakeString(action);
}

GuiPanel* GuiButton::Create() {
    return new GuiButton(0, 0, 0.0f, 0.0f);
}

// ---- Lua.

namespace {

using System::GetArgument;
using System::MetaArgs;

MetaValue LuaSetCommand(GuiButton& b, MetaArgs& a) {
    b.SetCommand(GetArgument(a, 0).ToString());
    return MetaValue::None();
}

// (target, key, value, key, value, ...). Numbers become double entries,
// text text entries, Lua booleans (which reach methods as ints) boolean
// entries, anything else an object-pointer entry (null unless it is an
// engine object, so no stray pointer is ever stored). A key that is not
// text is skipped with its value; a key without a value is ignored.
MetaValue LuaSetMessage(GuiButton& b, MetaArgs& a) {
    DataNode* root = MakeNode(GetArgument(a, 0).ToString());
    if (!root) return MetaValue::None();
    for (size_t i = 1; i + 1 < a.size(); i += 2) {
        const MetaValue& key = a[i];
        const MetaValue& value = a[i + 1];
        if (!key.IsText()) continue;
        const char* keyText = key.ToString();
        // An empty key would find the first entry: it always gets its own.
        DataNode* entry = keyText[0] ? FindNode(root->firstChild, keyText, false) : nullptr;
        if (!entry) entry = CreateNode(root, keyText, GetLastChild(root));
        if (!entry) continue;
        if (value.IsType<double>()) {
            SetNodeDouble(entry, "", value.ToDouble());
        } else if (value.IsText()) {
            SetNodeString(entry, "", value.ToString());
        } else if (value.IsType<int>() || value.IsType<bool>()) {
            SetNodeBool(entry, "", value.ToBool());
        } else {
            SetNodePointer(entry, "", value.ToObjectBase());
        }
    }
    b.AddMessage(root);
    return MetaValue::None();
}

MetaValue LuaExcecuteAction(GuiButton& b, MetaArgs&) {
    b.Activate();
    return MetaValue::None();
}

MetaValue LuaSetActionKey(GuiButton& b, MetaArgs& a) {
    b.SetActionKey(GetArgument(a, 0).ToString());
    return MetaValue::None();
}

}  // namespace

void GuiButton::RegisterMethods() {
    System::MetaData<GuiButton>::SetParent<GuiLabel>();
    System::MetaData<GuiButton>::AddMethod("SetCommand", System::Method<GuiButton, LuaSetCommand>);
    System::MetaData<GuiButton>::AddMethod("SetMessage", System::Method<GuiButton, LuaSetMessage>);
    // Spelled so: scripts call it by this name.
    System::MetaData<GuiButton>::AddMethod("ExcecuteAction",
                                           System::Method<GuiButton, LuaExcecuteAction>);
    System::MetaData<GuiButton>::AddMethod("SetActionKey",
                                           System::Method<GuiButton, LuaSetActionKey>);
}

int GuiButton::LuaNew(lua_State* L) {
    System::CheckNewArguments(L);
    GuiButton* button = new GuiButton(0, 0, 0.0f, 0.0f);
    if (button) button->madeByScript = true;
    PushUserdata(L, button);
    return 1;
}

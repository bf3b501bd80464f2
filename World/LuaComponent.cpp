#include "World/LuaComponent.h"

#include <cstdio>
#include <string>

#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/LuaGuard.h"
#include "System/Source/LuaState.h"
#include "System/Source/ScriptRegistry.h"

namespace {

constexpr char kName[] = "LuaComponent";
constexpr char kScriptFolder[] = "Resources/Lua/";

const char* TextArg(const System::MetaArgs& args, unsigned index) {
    return System::GetArgument(args, index).ToString();
}

MetaValue SetInitScriptMethod(LuaComponent& self, System::MetaArgs& args) {
    self.SetInitScript(TextArg(args, 0));
    return MetaValue::None();
}
MetaValue SetUpdateScriptMethod(LuaComponent& self, System::MetaArgs& args) {
    self.SetUpdateScript(TextArg(args, 0));
    return MetaValue::None();
}
MetaValue SetMessageScriptMethod(LuaComponent& self, System::MetaArgs& args) {
    self.SetMessageScript(TextArg(args, 0));
    return MetaValue::None();
}

}  // namespace

const char* LuaComponent::GetTypeName() const {
    return System::TypeName<LuaComponent>::name;
}

int LuaComponent::Register(const char* name) {
    if (!name || !*name) return kNoScript;
    const std::string path = std::string(kScriptFolder) + name;
    const int index = LoadScript(path.c_str());
    if (index < 0) return kNoScript;
    ReloadScript(index);
    return index;
}

void LuaComponent::SetInitScript(const char* name) {
    initScript_ = Register(name);
    RunInitScript();
}

void LuaComponent::SetUpdateScript(const char* name) {
    updateScript_ = Register(name);
}

void LuaComponent::SetMessageScript(const char* name) {
    messageScript_ = Register(name);
}

void LuaComponent::RunInitScript() {
    RunScript(initScript_);
}

void LuaComponent::RunScript(int index) {
    if (index != kNoScript) RunScriptChunk(index, GetOwner());
}

void LuaComponent::RunMessageScript() {
    // The queue is taken before anything runs, so that nothing the script
    // does can change the list being passed.
    System::Vector<MessagePayload> messages;
    messages.swap(queue_);
    if (messageScript_ == kNoScript) return;

    RunLuaScript(GetLuaState(), [this, &messages](lua_State* L) {
        if (!PushScriptChunk(L, messageScript_)) return -1;
        const int base = lua_gettop(L);
        PushUserdata(L, GetOwner());
        lua_pushnumber(L, static_cast<lua_Number>(messages.size()));
        for (const MessagePayload& message : messages) {
            const System::MetaArgs& values = message.Args();
            const int count = values.empty() ? 0 : static_cast<int>(values.size()) - 1;
            if (!lua_checkstack(L, count + 1)) {
                std::printf("Lua Error: too many message values for the message script\n");
                return -1;
            }
            lua_pushnumber(L, count);
            for (int i = 1; i <= count; ++i) PushLuaValue(L, values[static_cast<std::size_t>(i)]);
        }
        return lua_gettop(L) - base;
    });
}

bool LuaComponent::HandleMessage(const MessagePayload& payload) {
    // A message without a number says nothing.
    if (payload.Empty()) return false;
    const System::MetaArgs& args = payload.Args();
    switch (System::GetArgument(args, 0).ToInt()) {
        case 1:
            SetInitScript(TextArg(args, 1));
            return true;
        case 2:
            SetUpdateScript(TextArg(args, 1));
            return true;
        case 3:
            RunInitScript();
            return true;
        case 6:
            queue_.push_back(payload);
            return true;
        case 7:
            SetMessageScript(TextArg(args, 1));
            return true;
        default:
            return false;
    }
}

void LuaComponent::Update(float) {
    if (!queue_.empty()) RunMessageScript();
    RunScript(updateScript_);
}

System::GenericComponent* LuaComponent::Create() {
    LuaComponent* component = new LuaComponent();
    if (component) component->SetComponentName(kName);
    return component;
}

void LuaComponent::RegisterMethods() {
    using Meta = System::MetaData<LuaComponent>;
    Meta::AddMethod("SetInitScript", System::Method<LuaComponent, SetInitScriptMethod>);
    Meta::AddMethod("SetUpdateScript", System::Method<LuaComponent, SetUpdateScriptMethod>);
    Meta::AddMethod("SetMessageScript", System::Method<LuaComponent, SetMessageScriptMethod>);
}

int LuaComponent::LuaNew(lua_State* L) {
    return System::LuaNewDefault<LuaComponent>(L);
}

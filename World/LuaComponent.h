// Gives a game object its behaviour in Lua: an init script run when it is
// set, an update script run every frame and a message script run once per
// frame with every message queued for the object since the frame before.
// Each script is a whole file, run as a chunk with the owner object as its
// first argument.
#pragma once

#include <lua.hpp>

#include "System/Source/Components/GenericComponent.h"

class LuaComponent : public System::GenericComponent {
public:
    // A script slot without a script.
    static constexpr int kNoScript = -1;

    LuaComponent() = default;

    const char* GetTypeName() const override;
    // 1: set the init script (and run it), 2: set the update script,
    // 3: run the init script again, 6: queue the message for the message
    // script, 7: set the message script. False for anything else.
    bool HandleMessage(const MessagePayload& payload) override;
    // The message script with the queued messages (the queue is emptied
    // either way), then the update script.
    void Update(float dt) override;

    // Names are relative to "Resources/Lua/"; an empty (or null) name
    // clears the slot and runs nothing.
    void SetInitScript(const char* name);
    void SetUpdateScript(const char* name);
    void SetMessageScript(const char* name);
    void RunInitScript();

    // Script registry indices, kNoScript for none.
    int GetInitScript() const { return initScript_; }
    int GetUpdateScript() const { return updateScript_; }
    int GetMessageScript() const { return messageScript_; }
    std::size_t QueuedMessages() const { return queue_.size(); }

    static System::GenericComponent* Create();
    static void RegisterMethods();
    static int LuaNew(lua_State* L);

private:
    static int Register(const char* name);
    // Runs the script with the owner object as its one argument.
    void RunScript(int index);
    void RunMessageScript();

    int initScript_ = kNoScript;
    int updateScript_ = kNoScript;
    int messageScript_ = kNoScript;
    System::Vector<MessagePayload> queue_;
};

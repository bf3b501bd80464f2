// The base of every component.
#pragma once

#include "System/Source/Components/Meta.h"
#include "System/Source/MessageQueue.h"

namespace System {

class GenericGameObject;

// Whether `object` is a component not yet deleted (one only disabled still
// is). Reads nothing behind the pointer: scripts keep components past the
// state change that deletes them.
bool IsLiveComponent(const MetaBase* object);

class GenericComponent : public MetaData<GenericComponent> {
public:
    // Installed by a component that wants messages without overriding
    // HandleMessage; returns whether the message was handled.
    using MessageCallback = bool (*)(const MessagePayload& payload);

    // Takes the next component id and joins the ComponentTable (its
    // insertion target; not appended while no table is installed).
    GenericComponent();
    ~GenericComponent() override;
    LivenessTest GetLivenessTest() const override { return IsLiveComponent; }

    // The base passes the message to the callback when one is set.
    virtual bool HandleMessage(const MessagePayload& payload);
    virtual void Update(float dt) = 0;
    virtual void Draw() {}
    virtual void OnEnable() {}
    virtual void OnDisable() {}

    // Each returns false when the flag already had the asked value; the
    // flag is written before the hook runs.
    bool Enable();
    bool Disable();

    bool IsActive() const { return active_; }
    int GetId() const { return id_; }
    const char* GetComponentName() const { return componentName_; }
    // The name must outlive the component (factory names and literals do);
    // null reads as "".
    void SetComponentName(const char* name) { componentName_ = name ? name : ""; }
    int GetOwnerId() const { return ownerId_; }
    void SetOwnerId(int id) { ownerId_ = id; }
    // The owning object (alive or dead); null when the component belongs to
    // nobody or the id is outside the ObjectTable.
    GenericGameObject* GetOwner() const;

    MessageCallback GetMessageCallback() const { return messageCallback_; }
    void SetMessageCallback(MessageCallback callback) { messageCallback_ = callback; }

    // A small list of ids: Add refuses an id already present, otherwise
    // reuses the first 0 entry or appends; Remove sets the match to 0.
    bool AddToIdList(int id);
    bool RemoveFromIdList(int id);
    const Vector<int>* GetIdList() const { return idList_; }

private:
    bool active_ = true;
    int id_ = 0;
    int ownerId_ = -1;
    Vector<int>* idList_ = nullptr;
    const char* componentName_ = "";
    MessageCallback messageCallback_ = nullptr;
};

}  // namespace System

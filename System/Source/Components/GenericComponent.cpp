#include "System/Source/Components/GenericComponent.h"

#include "System/Source/Components/LiveRegistry.h"

#include "System/Source/Components/ObjectTables.h"

namespace System {

namespace {
// The next component id; every destructor gives its id back, so after the
// state change has deleted every component it is 0 again.
int g_nextComponentId = 0;
}  // namespace

bool IsLiveComponent(const MetaBase* object) {
    return LiveRegistry::Of<GenericComponent>().Has(object);
}

GenericComponent::GenericComponent() {
    id_ = g_nextComponentId++;
    active_ = true;
    idList_ = NewPooled<Vector<int>>();
    messageCallback_ = nullptr;
    if (ComponentVector* target = GetComponentTableInsertTarget()) target->push_back(this);
    LiveRegistry::Of<GenericComponent>().Join(this);
}

GenericComponent::~GenericComponent() {
    LiveRegistry::Of<GenericComponent>().Leave(this);
    --g_nextComponentId;
    ForgetComponent(this, id_);
    DeletePooled(idList_);
    idList_ = nullptr;
}

bool GenericComponent::HandleMessage(const MessagePayload& payload) {
    return messageCallback_ ? messageCallback_(payload) : false;
}

bool GenericComponent::Enable() {
    if (active_) return false;
    active_ = true;
    OnEnable();
    return true;
}

bool GenericComponent::Disable() {
    if (!active_) return false;
    active_ = false;
    OnDisable();
    return true;
}

GenericGameObject* GenericComponent::GetOwner() const {
    return GetObjectEntry(ownerId_);
}

bool GenericComponent::AddToIdList(int id) {
    if (!idList_) return false;
    Vector<int>& list = *idList_;
    for (int entry : list) {
        if (entry == id) return false;
    }
    for (int& entry : list) {
        if (entry == 0) {
            entry = id;
            return true;
        }
    }
    list.push_back(id);
    return true;
}

bool GenericComponent::RemoveFromIdList(int id) {
    if (!idList_) return false;
    for (int& entry : *idList_) {
        if (entry == id) {
            entry = 0;
            return true;
        }
    }
    return false;
}

}  // namespace System

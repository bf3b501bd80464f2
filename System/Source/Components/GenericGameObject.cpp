#include "System/Source/Components/GenericGameObject.h"

#include <cstring>

#include "System/Source/Components/Factories.h"
#include "System/Source/Components/GenericComponent.h"
#include "System/Source/Components/LiveRegistry.h"
#include "System/Source/Components/ObjectTables.h"

namespace System {

namespace {
// The next object id; every destructor gives its id back.
int g_nextObjectId = 0;

constexpr int kGoOn = 2;
const char kGraphicsComponent[] = "GraphicsComponent";
const char kTransform[] = "Transform";

bool IsVisibleWhenPresent(GenericComponent* transform) {
    return transform != nullptr;
}

bool NameIs(const GenericComponent& component, const char* className) {
    return std::strcmp(component.GetComponentName(), className) == 0;
}
}  // namespace

bool IsLiveGameObject(const MetaBase* object) {
    return LiveRegistry::Of<GenericGameObject>().Has(object);
}

bool (*g_isTransformVisible)(GenericComponent* transform) = IsVisibleWhenPresent;

void DestroyComponents(const Vector<int>& componentIds) {
    // By index: a hook may add components and so grow the list.
    for (std::size_t i = 0; i < componentIds.size(); ++i) {
        GenericComponent* component = GetComponentById(componentIds[i]);
        if (component) component->Disable();
    }
}

GenericGameObject::GenericGameObject() {
    id_ = g_nextObjectId++;
    alive_ = true;
    graphicsComponentId_ = -1;
    componentIds_ = NewPooled<Vector<int>>();
    if (ObjectVector* target = GetObjectTableInsertTarget()) target->push_back(this);
    LiveRegistry::Of<GenericGameObject>().Join(this);
}

GenericGameObject::~GenericGameObject() {
    LiveRegistry::Of<GenericGameObject>().Leave(this);
    --g_nextObjectId;
    ForgetObject(this, id_);
    DeletePooled(componentIds_);
    componentIds_ = nullptr;
}

void GenericGameObject::SetName(const char* name) {
    name_ = name ? name : "";
}

int GenericGameObject::ForEachComponent(const ComponentVisitor& visitor) {
    int result = kGoOn;
    if (!visitor || !componentIds_) return result;
    // By index: a hook run by the visitor may add components to this object.
    for (std::size_t i = 0; i < componentIds_->size(); ++i) {
        GenericComponent* component = GetComponentById((*componentIds_)[i]);
        if (!component) continue;
        result = visitor(*component);
        if (result != kGoOn) break;
    }
    return result;
}

bool GenericGameObject::AddComponent(const char* className) {
    if (!className || !componentIds_) return false;
    const bool isGraphics = std::strcmp(className, kGraphicsComponent) == 0;
    int foundId = -1;
    const int result = ForEachComponent([&](GenericComponent& component) {
        if (!NameIs(component, className)) return kGoOn;
        foundId = component.GetId();
        return component.Enable() ? 1 : 0;
    });
    if (result == kGoOn) {
        GenericComponent* created = CreateComponent(className);
        if (!created) return false;
        componentIds_->push_back(created->GetId());
        if (isGraphics) graphicsComponentId_ = created->GetId();
        created->SetOwnerId(id_);
        return true;
    }
    if (result == 1 && isGraphics) graphicsComponentId_ = foundId;
    return result == 1;
}

bool GenericGameObject::HasComponent(const char* className) {
    if (!className) return false;
    return ForEachComponent([&](GenericComponent& component) {
               return NameIs(component, className) ? 1 : kGoOn;
           }) == 1;
}

bool GenericGameObject::RemoveComponent(const char* className) {
    if (!className) return false;
    if (std::strcmp(className, kGraphicsComponent) == 0) graphicsComponentId_ = -1;
    return ForEachComponent([&](GenericComponent& component) {
               if (!NameIs(component, className)) return kGoOn;
               return component.Disable() ? 1 : 0;
           }) == 1;
}

GenericComponent* GenericGameObject::GetComponent(const char* className) {
    if (!className) return nullptr;
    GenericComponent* found = nullptr;
    ForEachComponent([&](GenericComponent& component) {
        if (!NameIs(component, className)) return kGoOn;
        if (!component.IsActive()) return 0;
        found = &component;
        return 1;
    });
    return found;
}

bool GenericGameObject::HasComponentId(int componentId) {
    return ForEachComponent([&](GenericComponent& component) {
               return component.GetId() == componentId ? 1 : kGoOn;
           }) == 1;
}

void GenericGameObject::Destroy() {
    if (componentIds_) DestroyComponents(*componentIds_);
    alive_ = false;
}

void GenericGameObject::Draw() {
    if (graphicsComponentId_ <= -1) return;
    GenericComponent* transform = GetComponent(kTransform);
    if (!transform) return;
    if (g_isTransformVisible && !g_isTransformVisible(transform)) return;
    if (GenericComponent* graphics = GetComponentById(graphicsComponentId_)) graphics->Draw();
}

}  // namespace System

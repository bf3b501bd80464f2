// The base of every game object: an alive flag, the id of its graphics
// component, its id, the ids of its components and a name.
#pragma once

#include <functional>

#include "System/Source/Components/Meta.h"

namespace System {

class GenericComponent;

// Decides whether an object whose Transform is `transform` is in view. The
// graphics subsystem installs the camera test; until then an object is
// visible when it has an active Transform.
extern bool (*g_isTransformVisible)(GenericComponent* transform);

// Disables every active component of the list (flag first, then OnDisable);
// ids that name no component are skipped.
void DestroyComponents(const Vector<int>& componentIds);

// Whether `object` is a game object not yet deleted (one only marked dead
// still is). Reads nothing behind the pointer: scripts keep objects past
// the state change that deletes them.
bool IsLiveGameObject(const MetaBase* object);

class GenericGameObject : public MetaData<GenericGameObject> {
public:
    // The per-component step of a walk: 2 goes on, anything else stops.
    using ComponentVisitor = std::function<int(GenericComponent& component)>;

    // Takes the next object id and joins the ObjectTable (not appended while
    // no table is installed).
    GenericGameObject();
    ~GenericGameObject() override;
    LivenessTest GetLivenessTest() const override { return IsLiveGameObject; }

    virtual void EmptyHook(int) {}

    int GetId() const { return id_; }
    bool IsAlive() const { return alive_; }
    // Null reads as "".
    void SetName(const char* name);
    const char* GetName() const { return name_.c_str(); }
    int GetGraphicsComponentId() const { return graphicsComponentId_; }
    const Vector<int>* GetComponentIds() const { return componentIds_; }

    // Class names are compared byte for byte (case-sensitive) with each
    // component's name; only the first component of a class is looked at.
    // Re-enables the object's component of that class, or creates one
    // through the ComponentFactory. False when it was already active or no
    // factory knows the name.
    bool AddComponent(const char* className);
    // Whether the object holds a component of that class, enabled or not.
    bool HasComponent(const char* className);
    // Disables the component of that class; false when none was active.
    bool RemoveComponent(const char* className);
    // The active component of that class, or null.
    GenericComponent* GetComponent(const char* className);
    bool HasComponentId(int componentId);
    // Calls `visitor` on each component in the order they were added until
    // it returns something other than 2; returns the last result (2 when
    // every component was visited or there is none).
    int ForEachComponent(const ComponentVisitor& visitor);

    // Disables every active component, then marks the object dead.
    void Destroy();
    // Draws the graphics component when there is one and the Transform is
    // in view.
    void Draw();

private:
    bool alive_ = true;
    int graphicsComponentId_ = -1;
    int id_ = 0;
    Vector<int>* componentIds_ = nullptr;
    String name_;
};

}  // namespace System

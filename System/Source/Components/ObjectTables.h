// The two engine-wide id tables that own every game object and component.
//
// An id is a position: the object (component) with id n stands at position n
// of its table (for components: in `main` followed by `pending`). Nothing is
// deleted while a level runs; the state change deletes everything at once
// with DeleteAllObjectsAndComponents, after which ids start again at 0.
#pragma once

#include <new>
#include <utility>

#include "System/Source/PoolAllocator.h"

namespace System {
class GenericGameObject;
class GenericComponent;

// Allocates and constructs a T through the pool (the heap while there is
// none); null when the allocation fails.
template <class T, class... Args>
T* NewPooled(Args&&... args) {
    void* memory = PoolNew(sizeof(T));
    if (!memory) return nullptr;
    return new (memory) T(std::forward<Args>(args)...);
}
template <class T>
void DeletePooled(T* object) {
    if (!object) return;
    object->~T();
    PoolDelete(object);
}
}  // namespace System

using ComponentVector = System::Vector<System::GenericComponent*>;
using ObjectVector = System::Vector<System::GenericGameObject*>;

// Every component by id. While a walk of the table is in progress
// (`iterating`), new components go to `pending` so that `main` never grows
// under the walk; the end of the walk moves them to the end of `main`.
struct ComponentTable {
    bool iterating = false;
    ComponentVector* pending = nullptr;
    ComponentVector* main = nullptr;
    ComponentVector* insertTarget = nullptr;
};

// Every game object by id. Objects are never walked under the guard, so
// `insertTarget` is always `main` and `pending` stays empty.
struct ObjectTable {
    ObjectVector* pending = nullptr;
    ObjectVector* main = nullptr;
    ObjectVector* insertTarget = nullptr;
};

ComponentTable& GetComponentTable();
ObjectTable& GetObjectTable();

// Install `table` as the table's main vector and insertion target, replace
// the pending vector with a new empty one and return `table`. Null
// uninstalls the table (and frees its pending vector). The previous main
// vector is not freed: it belongs to whoever installed it.
ComponentVector* InitComponentTable(ComponentVector* table);
ObjectVector* InitObjectTable(ObjectVector* table);

ComponentVector* GetComponentTableMain();
ComponentVector* GetComponentTableInsertTarget();
ObjectVector* GetObjectTableMain();
ObjectVector* GetObjectTableInsertTarget();

// Component `id` in `main` followed by `pending`; null outside both.
System::GenericComponent* GetComponentById(int id);
// Number of components in `main` and `pending` together.
int GetComponentCount();
// The alive object `id`; null for an id outside the table or a dead object.
System::GenericGameObject* GetObjectById(int id);
// The table's entry at `id`, alive or dead; null outside the table.
System::GenericGameObject* GetObjectEntry(int id);
int GetObjectCount();

// The walk guard: Begin routes new components to `pending` (false when a
// walk is already in progress); End moves them to `main` in their order
// (false when no walk is in progress).
bool BeginComponentIteration();
bool EndComponentIteration();

// The state change: deletes every object, then every component, and empties
// both tables. Objects go first so that their destructors can still reach
// their components by id.
void DeleteAllObjectsAndComponents();

// Called by the destructors: a component or object deleted on its own
// leaves no dangling pointer behind in its table.
void ForgetComponent(System::GenericComponent* component, int id);
void ForgetObject(System::GenericGameObject* object, int id);

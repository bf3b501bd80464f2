#include "System/Source/Components/ObjectTables.h"

#include <initializer_list>

#include "System/Source/Components/GenericComponent.h"
#include "System/Source/Components/GenericGameObject.h"

namespace {
ComponentTable g_componentTable;
ObjectTable g_objectTable;

template <class Table, class Vec>
Vec* InstallTable(Table& table, Vec* installed) {
    System::DeletePooled(table.pending);
    table.pending = installed ? System::NewPooled<Vec>() : nullptr;
    table.main = installed;
    table.insertTarget = installed;
    return installed;
}

// The slot of component `id` in `main` followed by `pending`; null outside.
System::GenericComponent** ComponentSlot(int id) {
    if (id < 0) return nullptr;
    std::size_t index = static_cast<std::size_t>(id);
    for (ComponentVector* vector : {g_componentTable.main, g_componentTable.pending}) {
        if (!vector) continue;
        if (index < vector->size()) return &(*vector)[index];
        index -= vector->size();
    }
    return nullptr;
}

System::GenericGameObject** ObjectSlot(int id) {
    ObjectVector* vector = g_objectTable.main;
    if (id < 0 || !vector || static_cast<std::size_t>(id) >= vector->size()) return nullptr;
    return &(*vector)[static_cast<std::size_t>(id)];
}

// Deletes every entry of `vector` in order (nulling each slot first, so
// that lookups made by a destructor see no half-destroyed entry) and
// empties it. By index: a destructor must not invalidate the walk.
template <class T>
void DeleteEntries(System::Vector<T*>* vector) {
    if (!vector) return;
    for (std::size_t i = 0; i < vector->size(); ++i) {
        T* entry = (*vector)[i];
        (*vector)[i] = nullptr;
        delete entry;
    }
    vector->clear();
}

}  // namespace

ComponentTable& GetComponentTable() {
    return g_componentTable;
}
ObjectTable& GetObjectTable() {
    return g_objectTable;
}

ComponentVector* InitComponentTable(ComponentVector* table) {
    g_componentTable.iterating = false;
    return InstallTable(g_componentTable, table);
}

ObjectVector* InitObjectTable(ObjectVector* table) {
    return InstallTable(g_objectTable, table);
}

ComponentVector* GetComponentTableMain() {
    return g_componentTable.main;
}
ComponentVector* GetComponentTableInsertTarget() {
    return g_componentTable.insertTarget;
}
ObjectVector* GetObjectTableMain() {
    return g_objectTable.main;
}
ObjectVector* GetObjectTableInsertTarget() {
    return g_objectTable.insertTarget;
}

System::GenericComponent* GetComponentById(int id) {
    System::GenericComponent** slot = ComponentSlot(id);
    return slot ? *slot : nullptr;
}

int GetComponentCount() {
    std::size_t count = 0;
    if (g_componentTable.main) count += g_componentTable.main->size();
    if (g_componentTable.pending) count += g_componentTable.pending->size();
    return static_cast<int>(count);
}

System::GenericGameObject* GetObjectEntry(int id) {
    System::GenericGameObject** slot = ObjectSlot(id);
    return slot ? *slot : nullptr;
}

System::GenericGameObject* GetObjectById(int id) {
    System::GenericGameObject* object = GetObjectEntry(id);
    return object && object->IsAlive() ? object : nullptr;
}

int GetObjectCount() {
    return g_objectTable.main ? static_cast<int>(g_objectTable.main->size()) : 0;
}

bool BeginComponentIteration() {
    if (g_componentTable.iterating) return false;
    g_componentTable.iterating = true;
    g_componentTable.insertTarget = g_componentTable.pending;
    return true;
}

bool EndComponentIteration() {
    if (!g_componentTable.iterating) return false;
    g_componentTable.insertTarget = g_componentTable.main;
    g_componentTable.iterating = false;
    if (g_componentTable.pending) {
        if (g_componentTable.main) {
            g_componentTable.main->insert(g_componentTable.main->end(),
                                          g_componentTable.pending->begin(),
                                          g_componentTable.pending->end());
        }
        g_componentTable.pending->clear();
    }
    return true;
}

void DeleteAllObjectsAndComponents() {
    DeleteEntries(g_objectTable.main);
    DeleteEntries(g_objectTable.pending);
    DeleteEntries(g_componentTable.main);
    DeleteEntries(g_componentTable.pending);
    g_componentTable.iterating = false;
    g_componentTable.insertTarget = g_componentTable.main;
    g_objectTable.insertTarget = g_objectTable.main;
}

void ForgetComponent(System::GenericComponent* component, int id) {
    System::GenericComponent** slot = ComponentSlot(id);
    if (slot && *slot == component) *slot = nullptr;
}

void ForgetObject(System::GenericGameObject* object, int id) {
    System::GenericGameObject** slot = ObjectSlot(id);
    if (slot && *slot == object) *slot = nullptr;
}

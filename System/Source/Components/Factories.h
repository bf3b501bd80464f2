// The registries of component and game-object constructors by class name.
//
// Each is a singly linked list of statically allocated nodes reached from a
// head pointer that is null before the first registration. Registration
// links a node in front, so a lookup (the first exact match from the head)
// finds the latest registration of a name. Registration runs from static
// initialisers in other files, so a node must be ready before its own file
// is initialised: it holds only constant-initialised fields, and its name
// points at text that lives as long as the registration (a literal).
#pragma once

#include <string>
#include <string_view>

namespace System {
class GenericComponent;
class GenericGameObject;
}  // namespace System

struct ComponentFactoryNode {
    using Creator = System::GenericComponent* (*)();
    const char* name = "";
    Creator creator = nullptr;
    ComponentFactoryNode* next = nullptr;
};

struct ObjectFactoryNode {
    using Creator = System::GenericGameObject* (*)();
    const char* name = "";
    Creator creator = nullptr;
    ObjectFactoryNode* next = nullptr;
};

// The list heads (null before the first registration).
extern ComponentFactoryNode* g_componentFactoryHead;
extern ObjectFactoryNode* g_objectFactoryHead;

// Copies the name into the node, stores the creator and makes the node the
// new head. Registering a node that is already in its list moves it to the
// head instead of linking it twice.
void RegisterComponentType(ComponentFactoryNode& node, const char* name,
                           ComponentFactoryNode::Creator creator);
void RegisterObjectType(ObjectFactoryNode& node, const char* name,
                        ObjectFactoryNode::Creator creator);

// Calls the creator of the first node whose name equals `name` (same length,
// same bytes); null when no node matches.
System::GenericComponent* CreateComponent(std::string_view name);
System::GenericGameObject* CreateObject(std::string_view name);

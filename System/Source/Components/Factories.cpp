#include "System/Source/Components/Factories.h"

// Constant-initialised, so registrations from any static initialiser find
// them ready.
ComponentFactoryNode* g_componentFactoryHead = nullptr;
ObjectFactoryNode* g_objectFactoryHead = nullptr;

namespace {

template <class Node>
void LinkAtHead(Node*& head, Node& node, const char* name, typename Node::Creator creator) {
    // A node linked a second time would make the list a cycle: unlink first.
    for (Node** link = &head; *link; link = &(*link)->next) {
        if (*link == &node) {
            *link = node.next;
            break;
        }
    }
    node.name = name ? name : "";
    node.creator = creator;
    node.next = head;
    head = &node;
}

template <class Node>
auto CreateByName(Node* head, std::string_view name) -> decltype(head->creator()) {
    for (Node* node = head; node; node = node->next) {
        if (std::string_view(node->name) == name) return node->creator ? node->creator() : nullptr;
    }
    return nullptr;
}

}  // namespace

void RegisterComponentType(ComponentFactoryNode& node, const char* name,
                           ComponentFactoryNode::Creator creator) {
    LinkAtHead(g_componentFactoryHead, node, name, creator);
}

void RegisterObjectType(ObjectFactoryNode& node, const char* name,
                        ObjectFactoryNode::Creator creator) {
    LinkAtHead(g_objectFactoryHead, node, name, creator);
}

System::GenericComponent* CreateComponent(std::string_view name) {
    return CreateByName(g_componentFactoryHead, name);
}

System::GenericGameObject* CreateObject(std::string_view name) {
    return CreateByName(g_objectFactoryHead, name);
}

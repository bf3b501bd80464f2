#include "System/Source/MessageQueue.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <lua.hpp>
#include <memory>
#include <string>

#include "System/Source/Components/GenericComponent.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/ObjectTables.h"

// ---------------------------------------------------------------------------
// MessagePayload

MessagePayload::MessagePayload(const MessagePayload& other) {
    args_.reserve(other.args_.size());
    for (const MetaValue& value : other.args_) Add(value);
}

MessagePayload& MessagePayload::operator=(const MessagePayload& other) {
    if (this != &other) {
        MessagePayload copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void MessagePayload::AddNumber(double value) {
    args_.push_back(MetaValue(value));
}

void MessagePayload::AddText(const char* text) {
    AddText(std::string_view(text ? text : ""));
}

void MessagePayload::AddText(std::string_view text) {
    AddOwnedText(text, System::TypeName<const char*>::name, System::TypeName<const char>::name);
}

void MessagePayload::Add(const MetaValue& value) {
    if (value.IsText()) {
        AddOwnedText(value.ToString(), value.typeName, value.referredName);
    } else {
        args_.push_back(value);
    }
}

void MessagePayload::AddOwnedText(std::string_view text, const char* typeName,
                                  const char* referredName) {
    texts_.emplace_back(text.data(), text.size());
    args_.push_back(MetaValue::Pointer(texts_.back().data(), typeName, referredName));
}

// ---------------------------------------------------------------------------
// The queue

namespace {
MessageQueue* g_messageQueue = nullptr;
// Set while DeliverAllMessages runs, so that a handler cannot start a
// second delivery over the same messages.
bool g_delivering = false;

void FreePayload(ObjectMessage& message) {
    delete message.payload;
    message.payload = nullptr;
}
}  // namespace

MessageQueue* GetMessageQueue() {
    return g_messageQueue;
}

void CreateMessageQueue() {
    if (!g_messageQueue) g_messageQueue = System::NewPooled<MessageQueue>();
}

bool EnqueueMessage(MessagePayload* payload, int target) {
    std::unique_ptr<MessagePayload> owned(payload);
    if (!g_messageQueue || !owned) return false;
    g_messageQueue->push_back(ObjectMessage{owned.get(), target});
    owned.release();
    return true;
}

void DeliverMessage(ObjectMessage message) {
    std::unique_ptr<MessagePayload> payload(message.payload);
    if (!payload) return;
    if (message.target < 0) {
        // By index over the components that exist now: a handler may create
        // components, which grows the table under the walk.
        const int count = GetComponentCount();
        for (int id = 0; id < count; ++id) {
            System::GenericComponent* component = GetComponentById(id);
            if (component && component->IsActive()) component->HandleMessage(*payload);
        }
    } else if (System::GenericComponent* component = GetComponentById(message.target)) {
        component->HandleMessage(*payload);
    }
}

void DispatchMessages(std::size_t first, std::size_t count) {
    // By index, and the queue is looked up afresh each time: a handler may
    // append to it (moving its storage) or clear it.
    for (std::size_t i = first; i < first + count; ++i) {
        if (!g_messageQueue || i >= g_messageQueue->size()) break;
        ObjectMessage message = (*g_messageQueue)[i];
        (*g_messageQueue)[i].payload = nullptr;  // the delivery owns it now
        DeliverMessage(message);
    }
}

void ClearMessages(std::size_t first, std::size_t count) {
    if (!g_messageQueue) return;
    const std::size_t end = std::min(first + count, g_messageQueue->size());
    for (std::size_t i = first; i < end; ++i) FreePayload((*g_messageQueue)[i]);
}

void ClearAllMessages() {
    if (!g_messageQueue) return;
    ClearMessages(0, g_messageQueue->size());
    g_messageQueue->clear();
}

void DeliverAllMessages() {
    if (!g_messageQueue || g_delivering) return;
    g_delivering = true;
    const std::size_t count = g_messageQueue->size();
    DispatchMessages(0, count);
    g_delivering = false;
    if (!g_messageQueue) return;
    // Remove the delivered messages (their payloads are gone); anything a
    // handler queued meanwhile stays, in order, for the next delivery.
    auto end = g_messageQueue->begin() +
               static_cast<std::ptrdiff_t>(std::min(count, g_messageQueue->size()));
    auto kept = std::remove_if(g_messageQueue->begin(), end,
                               [](const ObjectMessage& m) { return m.payload == nullptr; });
    g_messageQueue->erase(kept, end);
}

void DestroyMessageQueue() {
    ClearAllMessages();
    System::DeletePooled(g_messageQueue);
    g_messageQueue = nullptr;
}

// ---------------------------------------------------------------------------
// Lua

int LuaSendObjectMessage(lua_State* L) {
    const int top = lua_gettop(L);
    std::unique_ptr<MessagePayload> payload(new MessagePayload());
    if (!payload) return 0;
    // A numeric string names an object as its number would, as Lua converts
    // such strings elsewhere; anything else (NaN included) names none.
    int objectId = -1;
    if (top >= 1 && lua_isnumber(L, 1)) {
        const double number = lua_tonumber(L, 1);
        if (!std::isnan(number)) objectId = SafeDoubleToInt(number);
    }
    std::string className;
    bool haveClassName = false;
    for (int index = 2; index <= top; ++index) {
        const int type = lua_type(L, index);
        switch (type) {
            case LUA_TBOOLEAN:
                break;
            case LUA_TNUMBER:
                payload->AddNumber(lua_tonumber(L, index));
                break;
            case LUA_TSTRING: {
                std::size_t length = 0;
                const char* text = lua_tolstring(L, index, &length);
                if (!haveClassName) {
                    className.assign(text, length);
                    haveClassName = true;
                } else {
                    payload->AddText(std::string_view(text, length));
                }
                break;
            }
            default:
                std::printf("~~~~ SendObjectMessage Error, type encountered: %s ~~~~\n",
                            lua_typename(L, type));
                break;
        }
    }
    lua_settop(L, top);
    // The object is used whether it is alive or not; an id outside the
    // table names nothing.
    System::GenericGameObject* object = GetObjectEntry(objectId);
    if (!object || !haveClassName) return 0;
    System::GenericComponent* component = object->GetComponent(className.c_str());
    if (!component) return 0;
    EnqueueMessage(payload.release(), component->GetId());
    return 0;
}

// Messages between components: a queue of ObjectMessages delivered once per
// frame, in queue order, to each target component's HandleMessage.
#pragma once

#include <cstddef>
#include <string_view>

#include "System/Source/Components/Meta.h"

struct lua_State;

// A message's values. By convention the first is a number saying what the
// message is. The payload owns a copy of every text it holds, so a text
// value stays readable for as long as the payload (or a copy of it) lives.
class MessagePayload : public System::PoolObject {
public:
    MessagePayload() = default;
    MessagePayload(const MessagePayload& other);
    MessagePayload& operator=(const MessagePayload& other);
    // Moving keeps the texts where they are, so the values stay valid.
    MessagePayload(MessagePayload&& other) noexcept = default;
    MessagePayload& operator=(MessagePayload&& other) noexcept = default;

    // Appends a number (a double value).
    void AddNumber(double value);
    // Appends a copy of the text ("char const *" / "char"); null reads as "".
    void AddText(const char* text);
    void AddText(std::string_view text);
    // Appends a value; a text value's text is copied.
    void Add(const MetaValue& value);

    const System::MetaArgs& Args() const { return args_; }
    std::size_t Size() const { return args_.size(); }
    bool Empty() const { return args_.empty(); }

private:
    void AddOwnedText(std::string_view text, const char* typeName, const char* referredName);

    System::MetaArgs args_;
    // A list, so that a text never moves while values point into it.
    System::List<System::String> texts_;
};

// A queued message: the payload (owned by the queue until delivered or
// cleared) and the id of the receiving component; a negative id means every
// active component.
struct ObjectMessage {
    MessagePayload* payload = nullptr;
    int target = -1;
};

using MessageQueue = System::Vector<ObjectMessage>;

// The queue; null before CreateMessageQueue and after DestroyMessageQueue.
MessageQueue* GetMessageQueue();
// Creates the empty queue; does nothing when one exists.
void CreateMessageQueue();
// Appends a message at the end of the queue; the queue takes the payload
// (a payload allocated with new). Without a queue the payload is freed at
// once and false is returned.
bool EnqueueMessage(MessagePayload* payload, int target);

// Delivers one message and frees its payload: a negative target reaches
// every active component in table order (components created by a handler
// are not visited by that broadcast); otherwise the component with that id,
// active or not. A target that names no component is ignored.
void DeliverMessage(ObjectMessage message);
// Delivers the messages at positions [first, first + count) in queue order.
// A handler may queue more messages: they stay queued.
void DispatchMessages(std::size_t first, std::size_t count);
// Frees the payloads at positions [first, first + count) undelivered.
void ClearMessages(std::size_t first, std::size_t count);
// Frees every payload undelivered and empties the queue.
void ClearAllMessages();
// Delivers the messages that the queue holds now and removes them;
// messages queued meanwhile by handlers arrive at the next delivery.
void DeliverAllMessages();
// Clears the queue and frees it.
void DestroyMessageQueue();

// The owner whose destruction clears and frees the queue at shutdown.
class MessageQueueOwner : public System::PoolObject {
public:
    MessageQueueOwner() = default;
    MessageQueueOwner(const MessageQueueOwner&) = delete;
    MessageQueueOwner& operator=(const MessageQueueOwner&) = delete;
    ~MessageQueueOwner() { DestroyMessageQueue(); }
};

// Lua: SendObjectMessage(objectId, ...): numbers become number values, the
// first string names the receiving component's class and later strings
// become text values; booleans are skipped and any other type is reported
// and skipped. The message is queued for the object's active component of
// that class, if it has one. No results.
int LuaSendObjectMessage(lua_State* L);

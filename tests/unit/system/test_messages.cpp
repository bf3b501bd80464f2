#include <gtest/gtest.h>

#include <lua.hpp>
#include <string>
#include <vector>

#include "object_fixture.h"
#include "support/TestSupport.h"

using namespace ObjectTest;
using System::GenericComponent;
using System::GenericGameObject;

namespace {

class Messages : public ObjectTablesFixture {
protected:
    void SetUp() override {
        ObjectTablesFixture::SetUp();
        TestComponent::deliveryLog = &log_;
    }

    static MessagePayload* Numbers(std::initializer_list<double> values) {
        auto* payload = new MessagePayload();
        for (double v : values) payload->AddNumber(v);
        return payload;
    }

    std::vector<int> log_;
};

TEST_F(Messages, BroadcastReachesActiveComponentsInTableOrder) {
    GenericGameObject* a = MakeObject({kTest, kOther});
    GenericGameObject* b = MakeObject({kTest});
    a->RemoveComponent(kOther);
    ASSERT_TRUE(EnqueueMessage(Numbers({4}), -1));
    DeliverAllMessages();
    EXPECT_EQ(log_, (std::vector<int>{0, 2}));
    EXPECT_TRUE(GetMessageQueue()->empty());
    EXPECT_EQ(AsTest(b->GetComponent(kTest))->received.at(0).Args()[0].ToInt(), 4);
}

TEST_F(Messages, TargetedMessageReachesADisabledComponent) {
    GenericGameObject* object = MakeObject({kTest, kOther});
    TestComponent* other = AsTest(GetComponentById(1));
    object->RemoveComponent(kOther);
    EnqueueMessage(Numbers({1}), 1);
    EnqueueMessage(Numbers({2}), 1000);  // names no component: ignored
    DeliverAllMessages();
    EXPECT_EQ(log_, (std::vector<int>{1}));
    EXPECT_EQ(other->received.size(), 1u);
}

TEST_F(Messages, MessagesArriveInQueueOrder) {
    MakeObject({kTest});
    for (double n : {1.0, 2.0, 3.0}) EnqueueMessage(Numbers({n, n * 10}), 0);
    DeliverAllMessages();
    TestComponent* component = AsTest(GetComponentById(0));
    ASSERT_EQ(component->received.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(component->received[i].Args()[0].ToInt(), i + 1);
        EXPECT_EQ(component->received[i].Args()[1].ToDouble(), (i + 1) * 10.0);
    }
}

TEST_F(Messages, MessagesQueuedByAHandlerArriveAtTheNextDelivery) {
    MakeObject({kTest, kOther});
    TestComponent* sender = AsTest(GetComponentById(0));
    sender->onMessage = [](TestComponent&, const MessagePayload& payload) {
        if (payload.Args()[0].ToInt() != 1) return;
        // Enough to move the queue's storage while it is being delivered.
        for (int i = 0; i < 100; ++i) EnqueueMessage(Numbers({2}), 1);
    };
    EnqueueMessage(Numbers({1}), 0);
    EnqueueMessage(Numbers({3}), 1);
    DeliverAllMessages();
    EXPECT_EQ(log_, (std::vector<int>{0, 1}));
    EXPECT_EQ(GetMessageQueue()->size(), 100u);

    DeliverAllMessages();
    EXPECT_EQ(AsTest(GetComponentById(1))->received.size(), 101u);
    EXPECT_TRUE(GetMessageQueue()->empty());
}

TEST_F(Messages, ComponentsMadeByABroadcastHandlerAreNotVisited) {
    GenericGameObject* object = MakeObject({kTest});
    AsTest(GetComponentById(0))->onMessage = [object](TestComponent&, const MessagePayload&) {
        for (const char* name : {kOther, kTransform, kGraphics}) object->AddComponent(name);
    };
    EnqueueMessage(Numbers({0}), -1);
    DeliverAllMessages();
    EXPECT_EQ(log_, (std::vector<int>{0}));
    EXPECT_EQ(GetComponentCount(), 4);
}

TEST_F(Messages, HandlersThatClearOrDeliverTheQueueDoNoHarm) {
    MakeObject({kTest});
    AsTest(GetComponentById(0))->onMessage = [](TestComponent&, const MessagePayload& payload) {
        if (payload.Args()[0].ToInt() == 1) DeliverAllMessages();  // refused: already delivering
        if (payload.Args()[0].ToInt() == 2) ClearAllMessages();
    };
    EnqueueMessage(Numbers({1}), 0);
    EnqueueMessage(Numbers({2}), 0);
    EnqueueMessage(Numbers({3}), 0);
    DeliverAllMessages();
    EXPECT_EQ(log_, (std::vector<int>{0, 0}));
    EXPECT_TRUE(GetMessageQueue()->empty());

    AsTest(GetComponentById(0))->onMessage = [](TestComponent&, const MessagePayload&) {
        DestroyMessageQueue();
    };
    EnqueueMessage(Numbers({1}), 0);
    EnqueueMessage(Numbers({2}), 0);
    DeliverAllMessages();
    EXPECT_EQ(GetMessageQueue(), nullptr);
    EXPECT_FALSE(EnqueueMessage(Numbers({1}), 0));  // freed, not queued
}

TEST_F(Messages, ClearAllFreesWithoutDelivering) {
    MakeObject({kTest});
    EnqueueMessage(Numbers({1}), 0);
    EnqueueMessage(Numbers({2}), -1);
    MessageQueue* queue = GetMessageQueue();
    CreateMessageQueue();  // one exists: kept with its messages
    EXPECT_EQ(GetMessageQueue(), queue);
    ClearAllMessages();
    EXPECT_TRUE(queue->empty());
    DeliverAllMessages();
    EXPECT_TRUE(log_.empty());
}

TEST_F(Messages, PayloadOwnsItsTexts) {
    MessagePayload* copy = nullptr;
    {
        MessagePayload original;
        std::string text = "a text long enough to live outside any small buffer";
        original.AddText(text.c_str());
        original.Add(MetaValue(static_cast<const char*>("literal")));
        original.Add(MetaValue(2.5));
        original.AddText(static_cast<const char*>(nullptr));
        text.assign(text.size(), 'x');
        MessagePayload assigned;
        assigned = original;
        copy = new MessagePayload(std::move(assigned));
    }
    const System::MetaArgs& args = copy->Args();
    ASSERT_EQ(args.size(), 4u);
    EXPECT_STREQ(args[0].ToString(), "a text long enough to live outside any small buffer");
    EXPECT_STREQ(args[0].typeName, "char const *");
    EXPECT_STREQ(args[0].referredName, "char");
    EXPECT_STREQ(args[1].ToString(), "literal");
    EXPECT_EQ(args[2].ToDouble(), 2.5);
    EXPECT_STREQ(args[3].ToString(), "");
    delete copy;
}

// ---------------------------------------------------------------------------
// SendObjectMessage from a real Lua state

class SendObjectMessage : public Messages {
protected:
    void SetUp() override {
        Messages::SetUp();
        L_ = luaL_newstate();
        luaL_openlibs(L_);
        lua_register(L_, "SendObjectMessage", LuaSendObjectMessage);
    }
    void TearDown() override {
        lua_close(L_);
        Messages::TearDown();
    }
    // Runs a chunk; returns the error text, or "" on success.
    std::string Run(const std::string& code) {
        const int top = lua_gettop(L_);
        std::string error;
        if (luaL_loadstring(L_, code.c_str()) != 0 || lua_pcall(L_, 0, 0, 0) != 0) {
            error = lua_tostring(L_, -1);
        }
        lua_settop(L_, top);
        return error;
    }
    std::size_t Queued() const { return GetMessageQueue()->size(); }

    lua_State* L_ = nullptr;
};

TEST_F(SendObjectMessage, QueuesNumbersAndTextsForTheNamedComponent) {
    GenericGameObject* object = MakeObject({kOther, kTest});
    EXPECT_EQ(Run("local t = 'te' .. 'xt' .. tostring(7)\n"
                  "n = select('#', SendObjectMessage(0, 'TestComponent', 3, true, t))\n"
                  "t = nil\n"),
              "");
    lua_getglobal(L_, "n");
    EXPECT_EQ(lua_tonumber(L_, -1), 0);  // no results
    lua_pop(L_, 1);
    ASSERT_EQ(Queued(), 1u);
    EXPECT_EQ((*GetMessageQueue())[0].target, object->GetComponent(kTest)->GetId());

    Run("collectgarbage() collectgarbage()");
    DeliverAllMessages();
    TestComponent* component = AsTest(object->GetComponent(kTest));
    ASSERT_EQ(component->received.size(), 1u);
    const System::MetaArgs& args = component->received[0].Args();
    ASSERT_EQ(args.size(), 2u);
    EXPECT_STREQ(args[0].typeName, "double");
    EXPECT_EQ(args[0].ToDouble(), 3.0);
    EXPECT_STREQ(args[1].typeName, "char const *");
    EXPECT_STREQ(args[1].ToString(), "text7");
}

TEST_F(SendObjectMessage, OtherTypesAreReportedAndSkipped) {
    MakeObject({kTest});
    std::string out = TestSupport::CaptureStdout([&] {
        EXPECT_EQ(Run("SendObjectMessage(0, {}, 'TestComponent', 1, nil, print, 'x')"), "");
    });
    EXPECT_EQ(out,
              "~~~~ SendObjectMessage Error, type encountered: table ~~~~\n"
              "~~~~ SendObjectMessage Error, type encountered: nil ~~~~\n"
              "~~~~ SendObjectMessage Error, type encountered: function ~~~~\n");
    ASSERT_EQ(Queued(), 1u);
    const System::MetaArgs& args = (*GetMessageQueue())[0].payload->Args();
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[0].ToDouble(), 1.0);
    EXPECT_STREQ(args[1].ToString(), "x");
}

TEST_F(SendObjectMessage, NothingIsQueuedWithoutAMatchingActiveComponent) {
    GenericGameObject* object = MakeObject({kTest, kOther});
    object->RemoveComponent(kOther);
    std::string out = TestSupport::CaptureStdout([&] {
        EXPECT_EQ(Run("SendObjectMessage(0, 'Transform', 1)\n"       // class it lacks
                      "SendObjectMessage(0, 'TestOther', 1)\n"       // disabled
                      "SendObjectMessage(0, 1, 2)\n"                 // no class name
                      "SendObjectMessage(-5, 'TestComponent', 1)\n"  // outside the table
                      "SendObjectMessage(1000, 'TestComponent', 1)\n"
                      "SendObjectMessage(1e300, 'TestComponent', 1)\n"
                      "SendObjectMessage(0/0, 'TestComponent', 1)\n"
                      "SendObjectMessage('zero', 'TestComponent', 1)\n"  // not a number
                      "SendObjectMessage('0/0', 'TestComponent', 1)\n"
                      "SendObjectMessage(nil, 'TestComponent')\n"
                      "SendObjectMessage({}, 'TestComponent')\n"
                      "SendObjectMessage()\n"),
                  "");
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(Queued(), 0u);

    // 0.9 truncates to object 0; a dead object still counts.
    object->Destroy();
    object->AddComponent(kTest);
    EXPECT_EQ(Run("SendObjectMessage(0.9, 'TestComponent')"), "");
    EXPECT_EQ(Queued(), 1u);
    // A numeric string is the number it spells, as everywhere in Lua.
    EXPECT_EQ(Run("SendObjectMessage('0', 'TestComponent', 6, 'x')\n"
                  "SendObjectMessage(' 0x0 ', 'TestComponent')"),
              "");
    ASSERT_EQ(Queued(), 3u);
    EXPECT_EQ((*GetMessageQueue())[1].payload->Args()[0].ToDouble(), 6.0);
}

}  // namespace

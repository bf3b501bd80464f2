// The input module without a window: fake pads behind the pad layer, the
// GUI's entry points recorded, and events fed to the callbacks during the
// update's poll.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Game/GameHooks.h"
#include "Game/StateManager.h"
#include "Graphics/Window.h"
#include "Input/InputLua.h"
#include "Input/InputManager.h"
#include "Platform/XInput.h"
#include "System/Source/DataNode.h"

struct FakePads {
    static inline bool connected[4] = {};
    static inline XINPUT_GAMEPAD pads[4] = {};
    static inline XINPUT_VIBRATION motors[4] = {};
    static inline int setCalls = 0;

    static uint32_t Get(uint32_t pad, XINPUT_STATE* state) {
        if (!connected[pad]) return XINPUT_NOT_CONNECTED;
        state->Gamepad = pads[pad];
        return XINPUT_SUCCESS;
    }
    static uint32_t Set(uint32_t pad, XINPUT_VIBRATION* vibration) {
        if (!connected[pad]) return XINPUT_NOT_CONNECTED;
        motors[pad] = *vibration;
        ++setCalls;
        return XINPUT_SUCCESS;
    }
    static void Reset() {
        for (int i = 0; i < 4; ++i) {
            connected[i] = false;
            pads[i] = XINPUT_GAMEPAD();
            motors[i] = XINPUT_VIBRATION();
        }
        setCalls = 0;
    }
};

// The unit tests never reach real devices: without a test's own pads, no
// pad is connected (set up for every test by an environment in test_input.cpp).
struct NoPads {
    static uint32_t Get(uint32_t, XINPUT_STATE*) { return XINPUT_NOT_CONNECTED; }
    static uint32_t Set(uint32_t, XINPUT_VIBRATION*) { return XINPUT_NOT_CONNECTED; }
    static inline const XInputBackend backend{Get, Set};
};

// What reached the GUI.
struct GuiLog {
    static inline std::vector<unsigned> chars;
    static inline std::vector<int> keys;
    static inline std::vector<std::string> events;  // "move x y", "down x y", "next", "prev"
    // Posted trees as "name: child=value child=value".
    static inline std::vector<std::string> messages;

    static void Post(DataNode* message) {
        std::string text = std::string(message->name.c_str()) + ":";
        for (DataNode* child = message->firstChild; child; child = child->nextSibling) {
            text += " " + std::string(child->name.c_str()) + "=";
            text += child->type == kDataString ? std::string(child->text.c_str())
                                               : std::to_string(child->number.i);
        }
        messages.push_back(text);
        FreeNodeTree(message);
        delete message;
    }
    static void Clear() {
        chars.clear();
        keys.clear();
        events.clear();
        messages.clear();
    }
};

// Sets the input module up for a test and restores it afterwards.
class InputHarness {
public:
    void Begin() {
        using namespace InputManager;
        std::memset(KeyState, 0, sizeof(KeyState));
        std::memset(PreviousKeyState, 0, sizeof(PreviousKeyState));
        std::memset(TypedChars, 0, sizeof(TypedChars));
        std::memset(PadState, 0, sizeof(PadState));
        std::memset(PreviousPadState, 0, sizeof(PreviousPadState));
        ZeroRememberedVibration();
        FakePads::Reset();
        GuiLog::Clear();
        XInputSetBackend(&backend);
        InstallGameHooks();
        GuiHooks& hooks = GetGuiHooks();
        hooks.onChar = [](unsigned c) { GuiLog::chars.push_back(c); };
        hooks.onSpecialKeyDown = [](int k) { GuiLog::keys.push_back(k); };
        hooks.onMouseMove = [](int x, int y) {
            GuiLog::events.push_back("move " + std::to_string(x) + " " + std::to_string(y));
        };
        hooks.onMouseDown = [](int x, int y) {
            GuiLog::events.push_back("down " + std::to_string(x) + " " + std::to_string(y));
        };
        hooks.focusNext = [] { GuiLog::events.push_back("next"); };
        hooks.focusPrev = [] { GuiLog::events.push_back("prev"); };
        hooks.post = GuiLog::Post;
        PollEvents = RunPendingEvents;
        WindowFocused = true;
        GetStateManager().pauseMenuShown = false;
        Init();
    }

    void End() {
        InputManager::Shutdown();
        InputManager::GetGuiHooks() = GuiInputHooks();
        InputManager::PollEvents = savedPoll;
        XInputSetBackend(&NoPads::backend);
        WindowFocused = false;
        GetStateManager().pauseMenuShown = false;
        pending().clear();
    }

    // Events for the next poll.
    static void Queue(std::function<void()> events) { pending().push_back(std::move(events)); }

    static void Key(int key, int action) { InputManager::KeyCallback(nullptr, key, 0, action, 0); }

private:
    static std::vector<std::function<void()>>& pending() {
        static std::vector<std::function<void()>> events;
        return events;
    }
    static void RunPendingEvents() {
        for (auto& event : pending()) event();
        pending().clear();
    }

    XInputBackend backend{FakePads::Get, FakePads::Set};
    void (*savedPoll)() = InputManager::PollEvents;
};

class InputTest : public ::testing::Test {
protected:
    void SetUp() override { harness.Begin(); }
    void TearDown() override { harness.End(); }

    // One update whose poll delivers `events`.
    void Frame(std::function<void()> events = nullptr) {
        if (events) InputHarness::Queue(std::move(events));
        InputManager::Update();
    }
    static void Key(int key, int action) { InputHarness::Key(key, action); }

    InputHarness harness;
};

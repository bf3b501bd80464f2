// The GUI without a window: the engine's registrations in a fresh Lua
// state, a GUI manager, a root panel over a 1920 x 1080 viewport and the
// recording renderer, in a temporary working directory.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Game/Registration.h"
#include "Graphics/Window.h"
#include "Gui/GuiLabel.h"
#include "Gui/GuiManager.h"
#include "System/Source/Console.h"
#include "System/Source/DataNode.h"
#include "System/Source/MemoryPool.h"
#include "components_fixture.h"
#include "support/SavedConsole.h"
#include "test_lua_support.h"

// The recording renderer, with text.
class GuiRecorder : public ComponentTest::RecordingRenderer {
public:
    void DrawText(int x, int y, const char* text) override { Log("DrawText", x, y, text); }
};

// The first argument of each run of the console command "record" (a
// button's command, say) since the last StartRecordingCommands().
inline std::vector<std::string>& RecordedCommands() {
    static std::vector<std::string> recorded;
    return recorded;
}
// The command goes with the fixture's console.
inline void StartRecordingCommands() {
    static ConsoleCommand record;
    record.Register("record", "", [](ConsoleArgs& args) {
        RecordedCommands().push_back(args.Count() > 0 ? args.GetArg(0) : "");
    }, nullptr);
    RecordedCommands().clear();
}

class GuiFixture : public LuaFixture {
protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
        oldCwd_ = cwd;
        ASSERT_EQ(chdir(dir.Path().c_str()), 0);
        System::CreateEnginePool(System::ParseMemorySize("16m"));
        // A fresh state that the registrations fill (they run again only
        // for a state they have not seen).
        StopScriptWatcher();
        CloseLua();
        RunStaticRegistration();
        L = GetLuaState();
        savedWidth_ = WindowWidth;
        savedHeight_ = WindowHeight;
        WindowWidth = 1920;
        WindowHeight = 1080;
        Gui = new GuiManager();
        GuiRoot = new GuiPanel(1000, 1000, 500.0f, 500.0f);
        FocusedPanel = nullptr;
        CurrentRenderer = &renderer;
    }

    void TearDown() override {
        GuiShutdown();
        delete Gui;
        Gui = nullptr;
        CurrentRenderer = nullptr;
        WindowWidth = savedWidth_;
        WindowHeight = savedHeight_;
        LuaFixture::TearDown();
        System::ShutdownEnginePool();
        EXPECT_EQ(chdir(oldCwd_.c_str()), 0);
    }

    // A panel of that size and place, named, under `parent` (the root by
    // default).
    template <class T = GuiPanel>
    T* Add(const char* name, int w, int h, float x, float y, GuiPanel* parent = nullptr) {
        T* panel = new T(w, h, x, y);
        panel->name = System::MakeString(name);
        (parent ? parent : GuiRoot)->AddChild(panel);
        return panel;
    }

    // One frame of the GUI: the root's update, then its drawing.
    void Frame() { DrawGui(); }

    // A message {target: key = 0} posted by the root.
    static void Post(const char* target, const char* key) {
        PostGuiMessage(MakeNodeWithInt(target, key));
    }
    // An event message {target: "Function" = event, ints...}.
    static DataNode* Event(const char* target, const char* event) {
        return MakeNodeWithString(target, "Function", event);
    }
    // Makes `object` the Lua global `name`.
    void Expose(const char* name, System::MetaBase* object) {
        PushUserdata(L, object);
        lua_setglobal(L, name);
    }

    GuiRecorder renderer;
    TestSupport::TempDir dir;
    TestSupport::SavedConsole savedConsole;

private:
    std::string oldCwd_;
    int32_t savedWidth_ = 0;
    int32_t savedHeight_ = 0;
};

// A panel that counts what reaches it and can run an action from its own
// message handler.
class ProbePanel : public GuiPanel {
public:
    using GuiPanel::GuiPanel;
    void OnMouseScroll(int state) override {
        scrolls += 1;
        lastScroll = state;
        GuiPanel::OnMouseScroll(state);
    }
    void OnMouseUp() override { ups += 1; }
    void OnMouseDown(int, int) override { downs += 1; }
    void OnHoverEnter() override { enters += 1; }
    void OnHoverLeave() override { leaves += 1; }
    void HandleMessage(DataNode* message, GuiPanel* sender) override {
        handled += 1;
        lastSender = sender;
        if (onMessage) onMessage(message);
        GuiPanel::HandleMessage(message, sender);
    }
    int scrolls = 0, lastScroll = 0, ups = 0, downs = 0, enters = 0, leaves = 0, handled = 0;
    GuiPanel* lastSender = nullptr;
    std::function<void(DataNode*)> onMessage;
};

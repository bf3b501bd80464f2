#include <SDL2/SDL.h>

#include "input_fixture.h"
#include "support/TestSupport.h"

using namespace InputManager;

namespace {

constexpr int kEscape = 256, kDown = 264, kUp = 265, kBackspace = 259, kEnter = 257;

float& Pad(int player, int code) {
    return PadState[(code - kFirstPadCode) + kPadCodeCount * player];
}

class NoPadsEnvironment : public ::testing::Environment {
public:
    void SetUp() override { XInputSetBackend(&NoPads::backend); }
    void TearDown() override { XInputSetBackend(nullptr); }
};
const ::testing::Environment* const g_noPads =
    ::testing::AddGlobalTestEnvironment(new NoPadsEnvironment);

}  // namespace

TEST_F(InputTest, KeysGoDownStayHeldAndGoUpForOneFrameEach) {
    Frame([] { Key('W', 1); });
    EXPECT_EQ(KeyState['W'], 1);
    EXPECT_EQ(GetActionTriggered(0, "GUIMoveUp"), 1.0f);
    EXPECT_EQ(GetActionPressed(0, "GUIMoveUp"), 1.0f);
    EXPECT_TRUE(AnyInputFlag);

    Frame([] { Key('W', 2); });  // a repeat changes nothing
    EXPECT_EQ(GetActionTriggered(0, "GUIMoveUp"), 0.0f);
    EXPECT_EQ(GetActionPressed(0, "GUIMoveUp"), 1.0f);
    EXPECT_TRUE(AnyInputFlag);

    Frame();
    EXPECT_FALSE(AnyInputFlag);
    Frame([] { Key('W', 0); });
    EXPECT_EQ(GetActionReleased(0, "GUIMoveUp"), 1.0f);
    Frame();
    EXPECT_EQ(GetActionReleased(0, "GUIMoveUp"), 0.0f);

    // Down and up within one poll (a tap, or a key sent by a tool): pressed
    // and triggered in that frame, released in the next.
    auto tap = [] {
        Key('S', 1);
        Key('S', 0);
    };
    Frame(tap);
    EXPECT_EQ(GetActionTriggered(0, "GUIMoveDown"), 1.0f);
    Frame(tap);  // a second tap at once is pressed again
    EXPECT_EQ(KeyState['S'], 1);
    Frame();
    EXPECT_EQ(GetActionReleased(0, "GUIMoveDown"), 1.0f);
}

TEST_F(InputTest, CodesOutsideTheKeyboardAndUnusualActionsAreHarmless) {
    Frame([] {
        Key(-1, 1);
        Key(400, 1);
        Key(5000, 1);
        Key(-7, 0);
        Key('A', 7);  // an unknown action value
    });
    EXPECT_TRUE(AnyInputFlag);
    EXPECT_EQ(KeyState[400], 0);
    EXPECT_EQ(KeyState['A'], 0);
    for (int c = 0; c < kCharCount; ++c) EXPECT_EQ(TypedChars[c], 0) << c;
}

TEST_F(InputTest, TypedCharactersAndEditingKeysReachTheGuiInOrder) {
    Frame([] {
        InputManager::CharCallback(nullptr, 'b');
        InputManager::CharCallback(nullptr, 'a');
        InputManager::CharCallback(nullptr, 300);  // beyond the table: dropped
        Key(kBackspace, 1);
        Key(kEnter, 1);
        InputManager::CharCallback(nullptr, 'l');
        InputManager::CharCallback(nullptr, 'l');
    });
    // A word typed within one frame arrives as typed, repeats included.
    EXPECT_EQ(GuiLog::chars, (std::vector<unsigned>{'b', 'a', 10, 13, 'l', 'l'}));
    EXPECT_EQ(GuiLog::keys, (std::vector<int>{kBackspace, kEnter}));

    // Two presses of one key within a frame are two presses for the GUI.
    GuiLog::Clear();
    Frame([] {
        Key(kUp, 1);
        Key(kUp, 0);
        Key(kUp, 1);
        Key(kUp, 0);
        Key(kDown, 1);
    });
    EXPECT_EQ(GuiLog::keys, (std::vector<int>{kUp, kUp, kDown}));

    // Holding Backspace repeats its character but not its key-down.
    GuiLog::Clear();
    Frame([] { Key(kBackspace, 2); });
    EXPECT_EQ(GuiLog::chars, (std::vector<unsigned>{10}));
    EXPECT_TRUE(GuiLog::keys.empty());

    // Characters alone are not "any input".
    Frame([] { InputManager::CharCallback(nullptr, 'x'); });
    EXPECT_FALSE(AnyInputFlag);
}

// A poll that brings more than a frame takes (a tool typing into a slow
// frame): each frame hands the GUI 256 of each kind, the rest come in the
// next frames in order, before anything that came later; past 16384 waiting
// the newest are dropped, said in one line.
TEST_F(InputTest, WhatAFrameCannotTakeComesInTheNextFrames) {
    for (const bool keys : {false, true}) {
        const unsigned first = keys ? 'A' : 'a';
        auto arrive = [&](int from, int to) {
            for (int i = from; i < to; ++i) {
                const unsigned code = first + unsigned(i) % 26;
                if (!keys) InputManager::CharCallback(nullptr, code);
                if (keys) Key(int(code), 1), Key(int(code), 0);
            }
        };
        auto inOrder = [&](size_t count) {
            const std::vector<unsigned> got =
                keys ? std::vector<unsigned>(GuiLog::keys.begin(), GuiLog::keys.end()) : GuiLog::chars;
            bool ordered = got.size() == count;
            for (size_t i = 0; i < got.size(); ++i) ordered = ordered && got[i] == first + i % 26;
            return ordered;
        };
        GuiLog::Clear();
        Frame([&] { arrive(0, 300); });
        EXPECT_TRUE(inOrder(256)) << first;
        Frame([&] { arrive(300, 310); });
        EXPECT_TRUE(inOrder(310)) << first;
        GuiLog::Clear();
        const std::string said = TestSupport::CaptureStdout([&] {
            Frame([&] { arrive(0, 16384 + 500); });
            for (int frame = 0; frame < 100; ++frame) Frame();
        });
        EXPECT_TRUE(inOrder(16384)) << first;
        EXPECT_EQ(said, "Input comes faster than frames take it: past 16384 waiting characters or "
                        "key presses, the newest are dropped\n");
    }
}

// While the GUI holds the keyboard (the console is open), keys and typed
// characters reach only the GUI: no key goes down for the game, its actions
// or the pause menu's focus moves; pads work as ever.
bool g_guiHoldsKeys = false;

TEST_F(InputTest, TheOpenConsoleTakesTheKeyboardFromTheGame) {
    GetGuiHooks().ownsKeyboard = [] { return g_guiHoldsKeys; };
    GetStateManager().pauseMenuShown = true;
    BindAction(0, "Right", 262);
    BindAction(0, "CloseConsole", 290);  // F1
    Frame([] { Key(262, 1); });
    EXPECT_EQ(GetActionPressed(0, "Right"), 1.0f);

    // The console opens: the held key is let go for the game.
    g_guiHoldsKeys = true;
    Frame();
    EXPECT_EQ(KeyState[262], 0);
    EXPECT_EQ(GetActionReleased(0, "Right"), 1.0f);

    GuiLog::Clear();
    FakePads::connected[1] = true;
    FakePads::pads[1].wButtons = XINPUT_GAMEPAD_DPAD_DOWN;
    Frame([] {
        Key('S', 1);
        InputManager::CharCallback(nullptr, 's');
        Key(kEscape, 1);
        Key(kEnter, 1);
    });
    EXPECT_EQ(GuiLog::chars, (std::vector<unsigned>{'s', 13}));
    EXPECT_EQ(GuiLog::keys, (std::vector<int>{'S', kEscape, kEnter}));
    for (int k = 0; k < kKeyCodeCount; ++k) EXPECT_EQ(KeyState[k], 0) << k;
    EXPECT_EQ(GetActionTriggered(0, "Pause_Game"), 0.0f);
    EXPECT_TRUE(AnyInputFlag);  // the pad's button
    // The pad's move is the only one: S is the console's.
    EXPECT_EQ(GuiLog::events, (std::vector<std::string>{"next"}));
    FakePads::pads[1].wButtons = 0;
    Frame([] { Key('A', 1); });
    EXPECT_FALSE(AnyInputFlag) << "typing in the console is input for the game";
    Frame([] { InputManager::MouseButtonCallback(nullptr, 0, 1, 0); });
    EXPECT_TRUE(AnyInputFlag);

    // A key bound to "CloseConsole" still closes it.
    GuiLog::Clear();
    Frame([] { Key(290, 1); });
    EXPECT_EQ(GuiLog::chars, (std::vector<unsigned>{'`'}));

    // Closed again: the keyboard is the game's.
    g_guiHoldsKeys = false;
    Frame([] {
        Key(290, 0);
        Key('S', 0);
        Key(kEscape, 0);
        Key(kEnter, 0);
    });
    GuiLog::Clear();
    Frame([] { Key('S', 1); });
    EXPECT_EQ(KeyState['S'], 1);
    EXPECT_EQ(GuiLog::events, (std::vector<std::string>{"next"}));
}

TEST_F(InputTest, F3TogglesTheStatisticsPanelsAndPrintScreenIsHeld) {
    Frame([] {
        Key(292, 1);
        Key(292, 2);
    });
    EXPECT_EQ(GuiLog::messages, (std::vector<std::string>{"FPS: ToggleVisible=0",
                                                          "PerformanceGraph: ToggleVisible=0"}));
    EXPECT_EQ(KeyState[292], 1);
    Frame([] { Key(283, 1); });
    EXPECT_EQ(KeyState[283], 1);
}

TEST_F(InputTest, MouseEventsUseLetterboxedCoordinates) {
    const int32_t oldW = WindowWidth, oldH = WindowHeight;
    const int32_t oldX = LetterboxOffsetX, oldY = LetterboxOffsetY;
    WindowWidth = 2000;
    WindowHeight = 1080;
    LetterboxOffsetX = 40;  // bars of 40 pixels left and right
    LetterboxOffsetY = 0;

    Frame([] {
        InputManager::CursorPosCallback(nullptr, 140.9, 10.5);
        InputManager::MouseButtonCallback(nullptr, 0, 1, 0);
    });
    EXPECT_EQ(GuiLog::events, (std::vector<std::string>{"move 100 10", "down 100 10"}));
    EXPECT_EQ(GuiLog::messages, (std::vector<std::string>{"GLOBAL: Function=OnClick x=100 y=10"}));
    EXPECT_EQ(ClickX, -1);  // a press is not a click yet
    int32_t x = 0, y = 0;
    GetCursorPosition(x, y);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 10);

    GuiLog::Clear();
    Frame([] {
        InputManager::CursorPosCallback(nullptr, 10.0, 20.0);  // on the bar: left of the area
        InputManager::MouseButtonCallback(nullptr, 0, 0, 0);
        InputManager::MouseButtonCallback(nullptr, 1, 1, 0);  // right button: nothing
        InputManager::ScrollCallback(nullptr, 0.0, -1.0);
        InputManager::ScrollCallback(nullptr, 3.0, 2.0);
    });
    EXPECT_EQ(ClickX, -30);
    EXPECT_EQ(ClickY, 20);
    EXPECT_EQ(GuiLog::messages,
              (std::vector<std::string>{"GLOBAL: Function=OnRelease",
                                        "GLOBAL: Function=OnMouseScroll state=1",
                                        "GLOBAL: Function=OnMouseScroll state=0"}));
    Frame();
    EXPECT_EQ(ClickX, -1);

    // A click within one poll: the release and its position come a frame
    // after the press.
    Frame([] {
        InputManager::MouseButtonCallback(nullptr, 0, 1, 0);
        InputManager::MouseButtonCallback(nullptr, 0, 0, 0);
    });
    EXPECT_EQ(ClickX, -1);
    Frame();
    EXPECT_EQ(ClickX, -30);
    EXPECT_EQ(GuiLog::messages.back(), "GLOBAL: Function=OnRelease");

    // A window of no size (minimised) does not divide by zero.
    WindowWidth = 0;
    WindowHeight = 0;
    Frame([] { InputManager::CursorPosCallback(nullptr, 1e300, -1e300); });

    WindowWidth = oldW;
    WindowHeight = oldH;
    LetterboxOffsetX = oldX;
    LetterboxOffsetY = oldY;
}

TEST(InputStick, DeadZoneAndFullDeflection) {
    float x, y;
    NormalizeStick(16383, 0, x, y);
    EXPECT_EQ(x, 0.0f);
    NormalizeStick(32767, -32768, x, y);
    EXPECT_EQ(x, 1.0f);
    EXPECT_EQ(y, -1.0f);
    NormalizeStick(-24575, 24575, x, y);  // three quarters of the travel
    EXPECT_NEAR(x, -0.5f, 1e-4);
    EXPECT_NEAR(y, 0.5f, 1e-4);
}

TEST_F(InputTest, PadsAreReadIntoTheirPlayersCodes) {
    FakePads::connected[1] = true;
    XINPUT_GAMEPAD& pad = FakePads::pads[1];
    pad.wButtons = XINPUT_GAMEPAD_A | XINPUT_GAMEPAD_DPAD_DOWN | 0x0C00;
    pad.bLeftTrigger = 25;
    pad.bRightTrigger = 26;
    pad.sThumbLX = 32767;
    pad.sThumbLY = -32768;
    pad.sThumbRX = 16383;
    Frame();
    EXPECT_EQ(Pad(1, kPadA), 1.0f);
    EXPECT_EQ(Pad(1, kPadDown), 1.0f);
    EXPECT_EQ(Pad(1, 408), 0.0f);  // bits 10 and 11 have no button
    EXPECT_EQ(Pad(1, 409), 0.0f);
    EXPECT_EQ(Pad(1, kPadLeftTrigger), 0.0f);
    EXPECT_EQ(Pad(1, kPadRightTrigger), 1.0f);
    EXPECT_EQ(Pad(1, kPadLeftStickRight), 1.0f);
    EXPECT_EQ(Pad(1, kPadLeftStickLeft), 0.0f);
    EXPECT_EQ(Pad(1, kPadLeftStickDown), 1.0f);
    EXPECT_EQ(Pad(1, kPadLeftStickUp), 0.0f);
    EXPECT_EQ(Pad(1, kPadRightStickRight), 0.0f);
    EXPECT_EQ(Pad(0, kPadA), 0.0f);  // other players untouched
    EXPECT_TRUE(AnyInputFlag);

    // A thumb-stick press has no code but is input.
    pad = XINPUT_GAMEPAD();
    pad.wButtons = XINPUT_GAMEPAD_LEFT_THUMB;
    Frame();
    EXPECT_TRUE(AnyInputFlag);
    EXPECT_EQ(Pad(1, kPadA), 0.0f);

    // Unfocused, or gone: the values freeze and no edge is seen.
    pad.wButtons = XINPUT_GAMEPAD_B;
    WindowFocused = false;
    Frame();
    EXPECT_EQ(Pad(1, kPadB), 0.0f);
    WindowFocused = true;
    Frame();
    EXPECT_EQ(Pad(1, kPadB), 1.0f);
    FakePads::connected[1] = false;
    Frame();
    EXPECT_EQ(Pad(1, kPadB), 1.0f);
    EXPECT_EQ(PreviousPadState[kPadB - kFirstPadCode + kPadCodeCount], 1.0f);
    EXPECT_FALSE(AnyInputFlag);
}

TEST_F(InputTest, ActionsWalkTheirCodesInBindingOrder) {
    // GUIMoveDown for player 0 is 417, 423, 401, Down, S: the pressed value
    // is the largest of them, so idle codes after the stick do not undo it.
    FakePads::connected[0] = true;
    FakePads::pads[0].sThumbLY = -26214;  // 0.8 of the travel: 0.6 after the dead zone
    Frame();
    EXPECT_NEAR(GetActionPressed(0, "GUIMoveDown"), 0.6f, 1e-3);
    FakePads::pads[0].sThumbRY = -29491;  // the right stick further down wins
    Frame();
    EXPECT_NEAR(GetActionPressed(0, "GUIMoveDown"), 0.8f, 1e-3);
    FakePads::pads[0].sThumbRY = 0;
    FakePads::pads[0].sThumbLY = 0;
    Frame();
    FakePads::pads[0].sThumbLY = -26214;
    Frame();
    EXPECT_EQ(GetActionTriggered(0, "GUIMoveDown"), 1.0f);
    Frame();
    EXPECT_EQ(GetActionTriggered(0, "GUIMoveDown"), 0.0f);

    // A stick direction is released only from full deflection.
    FakePads::pads[0].sThumbLY = 0;
    Frame();
    EXPECT_EQ(GetActionReleased(0, "GUIMoveDown"), 0.0f);
    FakePads::pads[0].sThumbLY = -32768;
    Frame();
    EXPECT_EQ(GetActionPressed(0, "GUIMoveDown"), 1.0f);  // a full value ends the walk
    FakePads::pads[0].sThumbLY = 0;
    Frame();
    EXPECT_EQ(GetActionReleased(0, "GUIMoveDown"), 1.0f);

    // Keys are bound for player 0 only.
    Frame([] { Key(kDown, 1); });
    EXPECT_EQ(GetActionPressed(1, "GUIMoveDown"), 0.0f);
    EXPECT_EQ(GetActionPressed(0, "GUIMoveDown"), 1.0f);

    // A key and a pad button in the same frame.
    BindAction(0, "Jump", ' ');
    BindAction(0, "Jump", kPadA);
    BindAction(0, "Jump", ' ');  // twice is allowed
    ASSERT_NE(FindAction(0, "Jump"), nullptr);
    EXPECT_EQ(FindAction(0, "Jump")->size(), 3u);
    FakePads::pads[0].wButtons = XINPUT_GAMEPAD_A;
    Frame([] { Key(' ', 1); });
    EXPECT_EQ(GetActionTriggered(0, "Jump"), 1.0f);

    // Unknown names, bad players, bad codes, null names.
    EXPECT_EQ(GetActionPressed(0, "jump"), 0.0f);
    EXPECT_EQ(GetActionPressed(0, nullptr), 0.0f);
    EXPECT_EQ(GetActionPressed(-1, "Jump"), 0.0f);
    EXPECT_EQ(GetActionPressed(4, "Jump"), 0.0f);
    BindAction(9, "Jump", ' ');
    BindAction(0, nullptr, ' ');
    BindAction(0, "Odd", -5);
    BindAction(0, "Odd", 424);
    BindAction(0, "Odd", 1 << 30);
    EXPECT_EQ(GetActionPressed(0, "Odd"), 0.0f);
    float result = 0.5f;
    AccumulatePressed(500, result, 0);
    AccumulateTriggered(kPadA, result, 7);
    EXPECT_EQ(result, 0.5f);
}

TEST_F(InputTest, EscapeReleaseFiresOnce) {
    Frame([] { Key(kEscape, 1); });
    EXPECT_EQ(GetActionTriggered(0, "Pause_Game"), 1.0f);
    EXPECT_EQ(GetActionTriggered(0, "Pause"), 1.0f);
    Frame([] { Key(kEscape, 0); });
    EXPECT_EQ(GetActionReleased(0, "Pause_Game"), 1.0f);
    Frame();
    EXPECT_EQ(GetActionReleased(0, "Pause_Game"), 0.0f);
}

TEST_F(InputTest, PauseMenuNavigationAndActionCharacters) {
    FakePads::connected[2] = true;
    FakePads::pads[2].wButtons = XINPUT_GAMEPAD_A | XINPUT_GAMEPAD_DPAD_DOWN;
    Frame();  // menu hidden: nothing
    EXPECT_TRUE(GuiLog::chars.empty());
    EXPECT_TRUE(GuiLog::events.empty());

    GetStateManager().pauseMenuShown = true;
    FakePads::pads[2].wButtons = 0;
    Frame();
    FakePads::pads[2].wButtons = XINPUT_GAMEPAD_A | XINPUT_GAMEPAD_DPAD_DOWN;
    Frame([] { Key('W', 1); });
    EXPECT_EQ(GuiLog::chars, (std::vector<unsigned>{13}));
    EXPECT_EQ(GuiLog::events, (std::vector<std::string>{"next", "prev"}));

    // "CloseConsole" sends its backquote once bound, menu or not.
    GetStateManager().pauseMenuShown = false;
    GuiLog::Clear();
    Frame([] { Key('`', 1); });
    EXPECT_TRUE(GuiLog::chars.empty());
    BindAction(0, "CloseConsole", 'Q');
    Frame([] { Key('Q', 1); });
    EXPECT_EQ(GuiLog::chars, (std::vector<unsigned>{'`'}));
}

TEST_F(InputTest, ShutdownStopsThePadsAndUpdateWithoutActionsIsHarmless) {
    FakePads::connected[0] = FakePads::connected[3] = true;
    FakePads::motors[0].wLeftMotorSpeed = 100;
    FakePads::motors[3].wRightMotorSpeed = 100;
    Shutdown();
    EXPECT_EQ(FakePads::motors[0].wLeftMotorSpeed, 0);
    EXPECT_EQ(FakePads::motors[3].wRightMotorSpeed, 0);
    // Without the action maps: nothing is bound, nothing breaks.
    Frame([] { Key(kEscape, 1); });
    EXPECT_EQ(GetActionTriggered(0, "Pause_Game"), 0.0f);
    BindAction(0, "Jump", ' ');
    EXPECT_EQ(FindAction(0, "Jump"), nullptr);
}

TEST_F(InputTest, APadThatSdlAttachesGoesThroughThePadLayer) {
    // A virtual controller that SDL maps as a game controller: the code a
    // player's pad goes through, from SDL up.
    static Uint16 motors[2];
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.Rumble = [](void*, Uint16 low, Uint16 high) {
        motors[0] = low;
        motors[1] = high;
        return 0;
    };
    XInputSetBackend(nullptr);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    SDL_Joystick* pad = SDL_JoystickOpen(index);
    ASSERT_NE(pad, nullptr) << SDL_GetError();
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, -32768);  // at rest
    Frame();                                                                    // the pad connects
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, 32767);
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTY, -32768);  // up, for SDL
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_RIGHTY, 16383);  // in the dead zone
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
    SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_A, 1);
    SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN, 1);
    Frame();
    // Codes 400-423: down, A, left stick right and up, right trigger.
    const std::vector<float> held{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0,
                                  0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<float>(PadState, PadState + kPadCodeCount), held);
    EXPECT_EQ(GetActionTriggered(0, "GUISelect"), 1.0f);
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTY, 26214);  // 0.8 of the travel
    SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN, 0);
    Frame();
    EXPECT_NEAR(GetActionPressed(0, "GUIMoveDown"), 0.6f, 1e-3);

    RumbleSpeeds[0] = MotorSpeeds{1000, 2000};
    ResumeRumble();
    EXPECT_EQ(std::vector<Uint16>(motors, motors + 2), (std::vector<Uint16>{1000, 2000}));
    StopRumble();
    EXPECT_EQ(std::vector<Uint16>(motors, motors + 2), (std::vector<Uint16>{0, 0}));

    // The pad leaves: not connected, its values kept.
    SDL_JoystickClose(pad);
    SDL_JoystickDetachVirtual(index);
    XINPUT_STATE state;
    EXPECT_EQ(XInputGetState(0, &state), XINPUT_NOT_CONNECTED);
    Frame();
    EXPECT_NEAR(Pad(0, kPadLeftStickDown), 0.6f, 1e-3);
    XInputShutdown();
    XInputSetBackend(&NoPads::backend);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

TEST(InputShutdown, PadsNeverReadAreNotStartedOnlyToStopTheirVibration) {
    // The real pad layer, not started by anything in this test: shutting the
    // input down must not start it (a device scan) just to stop rumble.
    XInputSetBackend(nullptr);
    ASSERT_FALSE(XInputStarted());
    int starts = XInputStartCount();
    InputManager::Shutdown();
    EXPECT_EQ(XInputStartCount(), starts) << "the pad layer was started";
    EXPECT_FALSE(XInputStarted());
    XInputSetBackend(&NoPads::backend);
}

// The input module inside the engine: Lua functions, rumble with the pause,
// the main loop's pause action and the replay file.
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "engine_fixture.h"
#include "input_fixture.h"

using namespace InputManager;

namespace {

class InputEngineTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        Start();
        input.Begin();
        InputLuaRegisterAll();
    }
    void TearDown() override {
        delete Recorder;
        Recorder = nullptr;
        SetPaused(false);
        input.End();
        EngineFixture::TearDown();
    }

    // A frame of the main loop whose input poll delivers `events`.
    void Pass(std::function<void()> events = nullptr) {
        if (events) InputHarness::Queue(std::move(events));
        Frame(0.01);
    }
    static void Key(int key, int action) { InputHarness::Key(key, action); }

    InputHarness input;
};

}  // namespace

TEST_F(InputEngineTest, KeyAndMouseFunctions) {
    Pass([] {
        Key('W', 1);
        Key('A', 1);
    });
    Lua("assert(IsKeyPressed(87) == 1 and IsKeyTriggered(87) == 1 and IsKeyReleased(87) == 0)");
    Lua("assert(GetMouseClickX() == -1 and GetMouseClickY() == -1 and AnyInput() == 1)");
    Pass([] { Key('A', 0); });
    Lua("assert(IsKeyPressed(87) == 1 and IsKeyTriggered(87) == 0)");
    Lua("assert(IsKeyReleased(65) == 1 and IsKeyPressed(65) == 0 and AnyInput() == 1)");
    Pass();
    Lua("assert(AnyInput() == 0)");
    // Codes that are not keys, and arguments of the wrong type, read as 0.
    Lua("assert(IsKeyPressed(1000) == 0 and IsKeyPressed(-1) == 0 and IsKeyPressed(1e300) == 0)");
    Lua("assert(IsKeyPressed('W') == 0 and IsKeyPressed() == 0 and IsKeyTriggered({}) == 0)");
    Lua("assert(IsKeyPressed(87.9) == 1)");  // truncated toward zero
    Lua("assert(select('#', IsKeyPressed(1)) == 1 and select('#', BindActionToKey('x', 1, 0)) == "
        "0)");
}

TEST_F(InputEngineTest, ActionFunctionsAndBindings) {
    Lua("BindActionToKey('Jump', 32, 0)");
    Lua("BindActionToKey('Jump', 410, 1)");
    Lua("BindActionToKey('Jump', 32, 9)");      // no such player
    Lua("BindActionToKey(nil, 'x', {})");       // wrong types read as '', 0, 0
    Lua("BindActionToKey('Wild', 100000, 0)");  // a code outside the table
    FakePads::connected[1] = true;
    FakePads::pads[1].wButtons = XINPUT_GAMEPAD_A;
    Pass([] { Key(' ', 1); });
    Lua("assert(IsActionTriggered('Jump', 0) == 1 and IsActionPressed('Jump', 0) == 1)");
    Lua("assert(IsActionTriggered('Jump', 1) == 1 and IsActionPressed('Jump', 2) == 0)");
    Lua("assert(IsActionPressed('Wild', 0) == 0 and IsActionPressed('Nope', 0) == 0)");
    Lua("assert(IsActionPressed('Jump', 'zero') == 1 and IsActionPressed(5, 0) == 0)");
    Lua("assert(IsActionPressed('Jump', 4) == 0 and IsActionPressed('Jump', -1) == 0)");
    Pass([] { Key(' ', 0); });
    Lua("assert(IsActionReleased('Jump', 0) == 1 and IsActionReleased('Jump', 1) == 0)");
}

TEST_F(InputEngineTest, ControllerQueries) {
    Lua("assert(AnyControllerIn() == 0 and IsControllerActive(0) == 1)");
    Lua("assert(IsControllerActive(2) == 0 and IsControllerActive(-3) == 0)");
    Lua("assert(IsControllerActive(4) == 0 and IsControllerActive('x') == 1)");
    FakePads::connected[2] = true;
    Lua("assert(AnyControllerIn() == 1 and IsControllerActive(2) == 1 and IsControllerActive(1) == "
        "0)");
}

TEST_F(InputEngineTest, RumbleReachesListedPlayersAndSurvivesThePause) {
    FakePads::connected[0] = FakePads::connected[1] = true;
    Lua("PLAYER_LIST = { newproxy() }");
    Lua("RumbleControllers(0.5)");
    EXPECT_EQ(FakePads::motors[0].wLeftMotorSpeed, 32767);
    EXPECT_EQ(FakePads::motors[0].wRightMotorSpeed, 32767);
    EXPECT_EQ(FakePads::motors[1].wLeftMotorSpeed, 0);  // no player for pad 1
    EXPECT_EQ(RumbleSpeeds[0].left, 32767);
    EXPECT_EQ(RumbleSpeeds[1].left, 0);

    FakePads::motors[1].wLeftMotorSpeed = 5;
    SetPaused(true);
    EXPECT_EQ(FakePads::motors[0].wLeftMotorSpeed, 0);
    EXPECT_EQ(FakePads::motors[1].wLeftMotorSpeed, 0);
    EXPECT_EQ(RumbleSpeeds[0].left, 32767);  // remembered through the pause
    SetPaused(false);
    EXPECT_EQ(FakePads::motors[0].wLeftMotorSpeed, 32767);
    EXPECT_EQ(FakePads::motors[0].wRightMotorSpeed, 32767);
    EXPECT_EQ(FakePads::motors[1].wLeftMotorSpeed, 0);

    Lua("RumbleControllers(1)");
    EXPECT_EQ(FakePads::motors[0].wLeftMotorSpeed, 65535);
    // Strengths outside the range are held to it; anything else reads as 0.
    Lua("RumbleControllers(7)");
    EXPECT_EQ(FakePads::motors[0].wLeftMotorSpeed, 65535);
    Lua("RumbleControllers(-2)");
    EXPECT_EQ(FakePads::motors[0].wLeftMotorSpeed, 0);
    Lua("RumbleControllers(0.25) RumbleControllers('loud')");
    EXPECT_EQ(RumbleSpeeds[0].left, 0);
    Lua("RumbleControllers(0/0)");
    EXPECT_EQ(RumbleSpeeds[0].left, 0);
    // A player list that is not a table rumbles nothing.
    Lua("PLAYER_LIST = 3 RumbleControllers(1)");
    EXPECT_EQ(RumbleSpeeds[0].left, 0);

    ZeroRememberedVibration();
    EXPECT_EQ(RumbleSpeeds[0].left, 0);
}

TEST_F(InputEngineTest, EscapeTogglesPauseOnlyWhileTheMenuIsHidden) {
    Pass([] { Key(256, 1); });
    EXPECT_TRUE(IsPaused());
    EXPECT_TRUE(IsPauseMenuShown());
    Pass([] { Key(256, 0); });
    Pass([] { Key(256, 1); });  // the menu is shown: Escape does not unpause
    EXPECT_TRUE(IsPaused());
    TogglePause();
    EXPECT_FALSE(IsPaused());
}

TEST_F(InputEngineTest, ReplayFramesRoundTrip) {
    const std::string path = dir.Path() + "/replay.bin";
    Recorder = new ReplayRecorder(true);
    ASSERT_TRUE(Recorder->Open(path.c_str()));
    FakePads::connected[3] = true;
    FakePads::pads[3].wButtons = XINPUT_GAMEPAD_Y;
    Pass([] {
        Key('W', 1);
        InputManager::CharCallback(nullptr, 'q');
    });
    Pass();
    // Each frame reaches the file as it ends, not only as the file closes.
    EXPECT_EQ(TestSupport::ReadFile(path).size(), 2 * ReplayRecorder::kFrameBytes);
    delete Recorder;
    Recorder = nullptr;

    const std::string bytes = TestSupport::ReadFile(path);
    ASSERT_EQ(bytes.size(), 2 * ReplayRecorder::kFrameBytes);
    EXPECT_EQ(bytes[8 + 'W'], 1);
    EXPECT_EQ(bytes[432 + 'q'], 1);
    EXPECT_EQ(bytes[687], 1);
    float y;
    std::memcpy(&y, bytes.data() + 688 + 4 * ((kPadY - kFirstPadCode) + 3 * kPadCodeCount),
                sizeof(y));
    EXPECT_EQ(y, 1.0f);
    double second;
    std::memcpy(&second, bytes.data() + ReplayRecorder::kFrameBytes, sizeof(second));
    EXPECT_NEAR(second, 0.01, 1e-9);                         // the step measured in the first frame
    EXPECT_EQ(bytes[ReplayRecorder::kFrameBytes + 687], 1);  // the pad still held

    // Playing back: the file's input replaces the devices, which are not read.
    std::memset(KeyState, 0, sizeof(KeyState));
    std::memset(PadState, 0, sizeof(PadState));
    FakePads::pads[3].wButtons = XINPUT_GAMEPAD_X;
    Recorder = new ReplayRecorder(false);
    ASSERT_TRUE(Recorder->Open(path.c_str()));
    Pass([] { Key('E', 1); });
    EXPECT_EQ(KeyState['W'], 1);
    EXPECT_EQ(KeyState['E'], 0);
    EXPECT_EQ(PadState[(kPadY - kFirstPadCode) + 3 * kPadCodeCount], 1.0f);
    EXPECT_EQ(PadState[(kPadX - kFirstPadCode) + 3 * kPadCodeCount], 0.0f);
    Lua("assert(IsKeyTriggered(87) == 1 and AnyInput() == 1)");
    Pass();
    // Past the end: one line, the held keys let go, pads read again and the
    // measured time step.
    std::string out = TestSupport::CaptureStdout([&] { Pass(); });
    EXPECT_EQ(out, "Replay file " + path + " ended; input is live again\n");
    EXPECT_FALSE(Recorder->IsOpen());
    EXPECT_EQ(KeyState['W'], 0);
    EXPECT_EQ(PadState[(kPadX - kFirstPadCode) + 3 * kPadCodeCount], 1.0f);
    EXPECT_NEAR(GetFrameTime(), 0.01, 1e-9);
    EXPECT_EQ(GuiLog::keys, (std::vector<int>{'W', 'W'}));  // recorded, replayed; not the live E
}

TEST_F(InputEngineTest, ReplayTypedWithinOneFrameKeepsTheOrderTyped) {
    // "zyxw" and a repeated z within one frame, then Enter: the console
    // gets the same line live and played back (a repeat within one frame
    // is the one thing the fixed frame cannot hold).
    const std::string path = dir.Path() + "/typed.bin";
    Recorder = new ReplayRecorder(true);
    ASSERT_TRUE(Recorder->Open(path.c_str()));
    Pass([] {
        for (unsigned c : {'z', 'y', 'x', 'z', 'w'}) InputManager::CharCallback(nullptr, c);
        Key(257, 1);  // Enter
    });
    delete Recorder;
    Recorder = nullptr;
    EXPECT_EQ(GuiLog::chars, (std::vector<unsigned>{'z', 'y', 'x', 'z', 'w', 13}));

    Recorder = new ReplayRecorder(false);
    ASSERT_TRUE(Recorder->Open(path.c_str()));
    GuiLog::Clear();
    Pass();
    EXPECT_EQ(GuiLog::chars, (std::vector<unsigned>{'z', 'y', 'x', 'w', 13}));
    delete Recorder;

    // A replay recorded when each typed character's slot held 1 still
    // plays, in code order as it did then.
    std::string frame(ReplayRecorder::kFrameBytes, '\0');
    frame[432 + 'b'] = frame[432 + 'a'] = 1;
    dir.Write("typed.bin", frame);
    Recorder = new ReplayRecorder(false);
    ASSERT_TRUE(Recorder->Open(path.c_str()));
    GuiLog::Clear();
    Pass();
    EXPECT_EQ(GuiLog::chars, (std::vector<unsigned>{'a', 'b'}));
    TestSupport::CaptureStdout([&] { Pass(); });  // past the end: live again
}

// Characters that a frame could not take are recorded in the frame that
// took them, so that a replay hands them out as the live run did.
TEST_F(InputEngineTest, CharactersCarriedToTheNextFrameAreRecordedThere) {
    const std::string path = dir.Path() + "/carried.bin";
    std::vector<std::vector<unsigned>> seen;
    for (bool recording : {true, false}) {
        Recorder = new ReplayRecorder(recording);
        ASSERT_TRUE(Recorder->Open(path.c_str()));
        for (int frame = 0; frame < 2; ++frame) {
            GuiLog::Clear();
            Pass([&] {
                for (int i = 0; recording && frame == 0 && i < 258; ++i) {
                    InputManager::CharCallback(nullptr, i < 256 ? 'a' : 'a' + unsigned(i - 254));
                }
            });
            seen.push_back(GuiLog::chars);
        }
        if (!recording) TestSupport::CaptureStdout([&] { Pass(); });  // past the end: live again
        delete Recorder;
        Recorder = nullptr;
    }
    using Chars = std::vector<unsigned>;
    EXPECT_EQ(seen, (std::vector<Chars>{Chars(256, 'a'), {'c', 'd'}, {'a'}, {'c', 'd'}}));
}

// Keys and characters that arrive while levels change back to back (a
// level whose start asks for another) reach the next frame's input.
TEST_F(InputEngineTest, InputBetweenBackToBackLevelChangesReachesTheNextFrame) {
    dir.Write("Resources/Levels/a.tmx", "<map></map>\n");
    lua_register(L, "ChangeLevel", [](lua_State*) {
        RequestStateChange("GenericTileLevel", "a.tmx");
        return 0;
    });
    WriteScript("StartOfLevel.lua", "if chain then chain = nil; ChangeLevel() end\n");
    Lua("chain = true");
    RequestStateChange("GenericTileLevel", "a.tmx");
    Pass();  // a change whose level asks for the next
    GuiLog::Clear();
    Pass([] {  // the next change: its poll brings a tap of W and a q
        Key('W', 1);
        Key('W', 0);
        InputManager::CharCallback(nullptr, 'q');
    });
    Pass();  // the first frame
    EXPECT_EQ(GuiLog::chars, std::vector<unsigned>{'q'});
    EXPECT_EQ(GuiLog::keys, std::vector<int>{'W'});
    Lua("assert(IsKeyTriggered(87) == 1, 'W not triggered')");
    Pass();
    Lua("assert(IsKeyReleased(87) == 1, 'W not released')");
}

TEST_F(InputEngineTest, PlaybackWithoutAFileKeepsTheGameGoing) {
    Recorder = new ReplayRecorder(false);
    EXPECT_TRUE(Recorder->IsPlayingBack());
    FakePads::connected[0] = true;
    FakePads::pads[0].wButtons = XINPUT_GAMEPAD_A;
    Pass([] { Key('W', 1); });
    Pass();
    EXPECT_NEAR(GetFrameTime(), 0.01, 1e-9);
    EXPECT_EQ(KeyState['W'], 1);
    EXPECT_EQ(PadState[kPadA - kFirstPadCode], 1.0f);  // pads still read

    // Reads and writes of the wrong mode or without a file do nothing.
    double value = 3.0;
    EXPECT_FALSE(Recorder->Read(&value, sizeof(value)));
    EXPECT_EQ(value, 3.0);
    Recorder->Write(&value, sizeof(value));
    const std::string missing = dir.Path() + "/missing/none.bin";
    EXPECT_EQ(TestSupport::CaptureStdout([&] { EXPECT_FALSE(Recorder->Open(missing.c_str())); }),
              "Could not open replay file " + missing + "; running live\n");
}

// A file's step gets the bounds of a measured one; an endless step is no
// step, whichever its sign. The first step out of bounds is named.
TEST(ReplayTimeStep, StepsOutOfBoundsReadAsZeroOrTheLargest) {
    ReplayRecorder recorder(false);
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, double> readAs[] = {{0.02, 0.02}, {0.0, 0.0},    {0.5, 0.04},
                                                {1e30, 0.04}, {inf, 0.0},    {-inf, 0.0},
                                                {-1e-9, 0.0}, {std::nan(""), 0.0}};
    const std::string out = TestSupport::CaptureStdout([&] {
        for (const auto& [step, read] : readAs)
            EXPECT_EQ(recorder.BoundTimeStep(step, 0.04), read) << step;
    });
    EXPECT_EQ(out, "Replay file  holds a time step of 0.5; read as 0.04\n");
}

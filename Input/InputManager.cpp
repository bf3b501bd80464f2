// The input state tables, the window-system callbacks, the per-frame update
// with its replay steps and GUI dispatch, and pad vibration.
#include "Input/InputManager.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Input/InputInternal.h"
#include "Platform/WindowSystemGuard.h"
#include "Platform/XInput.h"
#include "System/Source/DataNode.h"
#include "System/Source/FrameState.h"
#include "System/Source/LuaState.h"

namespace InputManager {

uint8_t KeyState[kCodeCount] = {};
uint8_t PreviousKeyState[kCodeCount] = {};
uint8_t TypedChars[kCharCount] = {};
float PadState[kPlayerCount * kPadCodeCount] = {};
float PreviousPadState[kPlayerCount * kPadCodeCount] = {};
bool AnyInputFlag = false;
int32_t ClickX = -1;
int32_t ClickY = -1;
MotorSpeeds RumbleSpeeds[kPlayerCount] = {};

// The game's window as the wiring hands it over; null: no window.
static GLFWwindow* HookedWindow() {
    return GetWindowHooks().window ? GetWindowHooks().window() : nullptr;
}

// Guarded: the poll may be the call that meets a connection whose server
// has just gone.
static void PollWindowEvents() {
    if (HookedWindow()) CallWindowSystem([] { glfwPollEvents(); });
}
void (*PollEvents)() = PollWindowEvents;

namespace {

// The last cursor position the window reported, for a mouse button that
// arrives without a window to ask.
double g_cursorX = 0.0;
double g_cursorY = 0.0;

// Releases that came in the same poll as their press: the press is seen for
// one frame, the release at the start of the next update.
uint8_t g_pressedThisPoll[kCodeCount] = {};

// Arrivals that no frame has taken yet, oldest first. A frame hands the GUI
// at most kFrameShare of each kind; on a slow frame more come (a tool types
// hundreds in one poll), and those wait for the next frames instead of
// being lost. The wait is bounded so that a flood cannot grow memory: past
// kBacklog waiting, the newest are dropped, and that is said once.
constexpr size_t kFrameShare = 256;
constexpr size_t kBacklog = 16384;

template <typename T>
class Backlog {
public:
    bool Push(T value) {
        if (count_ == kBacklog) return false;
        items_[(head_ + count_) % kBacklog] = value;
        ++count_;
        return true;
    }
    T Pop() {
        const T value = items_[head_];
        head_ = (head_ + 1) % kBacklog;
        --count_;
        return value;
    }
    size_t Size() const { return count_; }
    void Clear() { head_ = count_ = 0; }

private:
    T items_[kBacklog];
    size_t head_ = 0;
    size_t count_ = 0;
};

Backlog<uint8_t> g_typedWaiting;    // character codes 0-254
Backlog<uint16_t> g_pressedWaiting;  // key codes 0-399
// Whether arrivals were dropped since the backlogs were last empty.
bool g_droppedReported = false;

// Says once, until nothing waits any more, that arrivals were dropped.
void ReportDrop(bool kept) {
    if (kept || g_droppedReported) return;
    g_droppedReported = true;
    std::printf("Input comes faster than frames take it: past %zu waiting characters or key "
                "presses, the newest are dropped\n",
                kBacklog);
}

void NoteTyped(unsigned ch) {
    ReportDrop(g_typedWaiting.Push(uint8_t(ch)));
}

// This frame's characters in the order they came, for the GUI: the
// TypedChars table holds each character once, so a word typed within one
// frame would otherwise reach a text field with repeats merged.
unsigned g_typedInOrder[kFrameShare];
size_t g_typedInOrderCount = 0;
// Distinct characters of this frame: the place of the next new one.
uint8_t g_typedDistinct = 0;
// This frame's key presses in the order they came, for the GUI: two presses
// of one key within a frame are two presses there.
int g_pressedInOrder[kFrameShare];
size_t g_pressedInOrderCount = 0;

// The frame takes its share of what waits: the characters' table (which a
// recording keeps) then holds exactly what the GUI gets in this frame.
void TakeFrameShare() {
    while (g_typedInOrderCount < kFrameShare && g_typedWaiting.Size() > 0) {
        const unsigned ch = g_typedWaiting.Pop();
        if (!TypedChars[ch]) TypedChars[ch] = ++g_typedDistinct;
        g_typedInOrder[g_typedInOrderCount++] = ch;
    }
    while (g_pressedInOrderCount < kFrameShare && g_pressedWaiting.Size() > 0) {
        g_pressedInOrder[g_pressedInOrderCount++] = g_pressedWaiting.Pop();
    }
    if (g_typedWaiting.Size() == 0 && g_pressedWaiting.Size() == 0) g_droppedReported = false;
}

void ForgetWaitingInput() {
    g_typedWaiting.Clear();
    g_pressedWaiting.Clear();
    g_droppedReported = false;
}

// Whether this update's start has been made: a poll between frames makes it
// early, so that what that poll brings counts as this update's.
bool g_updateBegun = false;
uint8_t g_tapReleases[kCodeCount] = {};
bool g_leftDownThisPoll = false;
bool g_leftTapRelease = false;
int32_t g_tapReleaseX = 0;
int32_t g_tapReleaseY = 0;
// Mouse buttons and pad buttons in this update: the part of "any input"
// that the open console does not take.
bool g_nonKeyInput = false;
// Whether the last update took its input from a replay file.
bool g_replayedLastUpdate = false;

constexpr int kKeyF3 = 292;
constexpr int kKeyPrintScreen = 283;
constexpr int kKeyEnter = 257;
constexpr int kKeyKeypadEnter = 335;
constexpr int kKeyBackspace = 259;
constexpr int kKeyDelete = 261;

void Post(DataNode* message) {
    GuiHooks& hooks = GetGuiHooks();
    if (hooks.post) {
        hooks.post(message);
    } else if (message) {
        FreeNodeTree(message);
        delete message;
    }
}

DataNode* GlobalMessage(const char* function) {
    return MakeNodeWithString("GLOBAL", "Function", function);
}

void SendChar(unsigned ch) {
    if (GetGuiHooks().onChar) GetGuiHooks().onChar(ch);
}

bool GuiOwnsKeyboard() {
    return GetGuiHooks().ownsKeyboard && GetGuiHooks().ownsKeyboard();
}

// While the GUI owns the keyboard (the console is open) the game sees no
// key held: keys that were held are let go for it, and keys pressed meanwhile
// reach only the GUI. Pad codes are not keys and stay as they are.
void HideKeysFromGame(bool replaying) {
    std::memset(KeyState, 0, kKeyCodeCount);
    // A replay's any-input flag was recorded after this step.
    if (!replaying) AnyInputFlag = g_nonKeyInput;
}

// Window pixels to GUI pixels, as the window places its letterboxed area;
// without a window, 0.
void ToGui(double x, double y, int32_t& gx, int32_t& gy) {
    gx = gy = 0;
    if (GetWindowHooks().toGui) GetWindowHooks().toGui(x, y, gx, gy);
}

void ReadCursor(GLFWwindow* window, double& x, double& y) {
    x = g_cursorX;
    y = g_cursorY;
    if (window) CallWindowSystem([&] { glfwGetCursorPos(window, &x, &y); });
}

float StickSide(float v) {
    return v > 0.0f ? v : 0.0f;
}

void ReadPads() {
    // The button bit of each code 400-413; 408 and 409 have none.
    static constexpr uint16_t kButtonBits[] = {
        XINPUT_GAMEPAD_DPAD_UP,
        XINPUT_GAMEPAD_DPAD_DOWN,
        XINPUT_GAMEPAD_DPAD_LEFT,
        XINPUT_GAMEPAD_DPAD_RIGHT,
        XINPUT_GAMEPAD_START,
        XINPUT_GAMEPAD_BACK,
        XINPUT_GAMEPAD_LEFT_SHOULDER,
        XINPUT_GAMEPAD_RIGHT_SHOULDER,
        0,
        0,
        XINPUT_GAMEPAD_A,
        XINPUT_GAMEPAD_B,
        XINPUT_GAMEPAD_X,
        XINPUT_GAMEPAD_Y,
    };
    for (uint32_t n = 0; n < XINPUT_PAD_COUNT; ++n) {
        XINPUT_STATE state{};
        if (XInputGetState(n, &state) != XINPUT_SUCCESS) continue;
        const XINPUT_GAMEPAD& pad = state.Gamepad;
        float* values = PadState + kPadCodeCount * n;
        float lx, ly, rx, ry;
        NormalizeStick(pad.sThumbLX, pad.sThumbLY, lx, ly);
        NormalizeStick(pad.sThumbRX, pad.sThumbRY, rx, ry);
        values[kPadLeftStickRight - kFirstPadCode] = StickSide(lx);
        values[kPadLeftStickLeft - kFirstPadCode] = StickSide(-lx);
        values[kPadLeftStickUp - kFirstPadCode] = StickSide(ly);
        values[kPadLeftStickDown - kFirstPadCode] = StickSide(-ly);
        values[kPadLeftTrigger - kFirstPadCode] = pad.bLeftTrigger / 255.0f > 0.1f ? 1.0f : 0.0f;
        values[kPadRightTrigger - kFirstPadCode] = pad.bRightTrigger / 255.0f > 0.1f ? 1.0f : 0.0f;
        values[kPadRightStickRight - kFirstPadCode] = StickSide(rx);
        values[kPadRightStickLeft - kFirstPadCode] = StickSide(-rx);
        values[kPadRightStickUp - kFirstPadCode] = StickSide(ry);
        values[kPadRightStickDown - kFirstPadCode] = StickSide(-ry);
        for (int i = 0; i < 14; ++i) {
            values[i] = (pad.wButtons & kButtonBits[i]) != 0 ? 1.0f : 0.0f;
        }
        if (pad.wButtons != 0) AnyInputFlag = g_nonKeyInput = true;
    }
}

// Whether the action fired for any player 0-3.
bool TriggeredForAnyPlayer(const char* action) {
    for (int player = 0; player < kPlayerCount; ++player) {
        if (GetActionTriggered(player, action) > 0.0f) return true;
    }
    return false;
}

void PauseMenuNavigation() {
    if (!IsPauseMenuShown()) return;
    GuiHooks& hooks = GetGuiHooks();
    if (TriggeredForAnyPlayer("GUISelect")) SendChar(13);
    if (TriggeredForAnyPlayer("GUIMoveDown") && hooks.focusNext) hooks.focusNext();
    if (TriggeredForAnyPlayer("GUIMoveUp") && hooks.focusPrev) hooks.focusPrev();
}

// With a replay file open and playing back, the devices' state is replaced
// by the frame read from it. False when the file ran out.
bool ReadReplayedInput() {
    uint8_t any = AnyInputFlag ? 1 : 0;
    const bool read = Recorder->Read(KeyState, sizeof(KeyState)) &&
                      Recorder->Read(TypedChars, sizeof(TypedChars)) && Recorder->Read(&any, 1) &&
                      Recorder->Read(PadState, sizeof(PadState));
    AnyInputFlag = any != 0;
    return read;
}

// The releases held back from the last poll.
void ApplyTapReleases() {
    for (int k = 0; k < kCodeCount; ++k) {
        if (g_tapReleases[k]) KeyState[k] = 0;
    }
    std::memset(g_tapReleases, 0, sizeof(g_tapReleases));
    std::memset(g_pressedThisPoll, 0, sizeof(g_pressedThisPoll));
    if (g_leftTapRelease) {
        g_leftTapRelease = false;
        Post(GlobalMessage("OnRelease"));
        ClickX = g_tapReleaseX;
        ClickY = g_tapReleaseY;
    }
    g_leftDownThisPoll = false;
}

void WritePadBlocks() {
    const uint8_t any = AnyInputFlag ? 1 : 0;
    Recorder->Write(&any, 1);
    Recorder->Write(PadState, sizeof(PadState));
}

void SetMotors(uint32_t pad, uint16_t left, uint16_t right) {
    XINPUT_VIBRATION vibration;
    vibration.wLeftMotorSpeed = left;
    vibration.wRightMotorSpeed = right;
    XInputSetState(pad, &vibration);
}

bool PadConnected(uint32_t pad) {
    XINPUT_STATE state{};
    return XInputGetState(pad, &state) == XINPUT_SUCCESS;
}

}  // namespace

GuiHooks& GetGuiHooks() {
    static GuiHooks hooks;
    return hooks;
}

WindowHooks& GetWindowHooks() {
    static WindowHooks hooks;
    return hooks;
}

void Init() {
    GLFWwindow* window = HookedWindow();
    if (window) {
        glfwSetKeyCallback(window, KeyCallback);
        glfwSetMouseButtonCallback(window, MouseButtonCallback);
        glfwSetCharCallback(window, CharCallback);
        glfwSetCursorPosCallback(window, CursorPosCallback);
        glfwSetScrollCallback(window, ScrollCallback);
    }
    CreateActionTables();
    ForgetWaitingInput();
    g_updateBegun = false;
}

// Last update's input becomes the previous state; this update's starts empty.
static void BeginUpdate() {
    if (g_updateBegun) return;
    g_updateBegun = true;
    ClickX = ClickY = -1;
    AnyInputFlag = g_nonKeyInput = false;
    std::memcpy(PreviousKeyState, KeyState, sizeof(KeyState));
    std::memset(TypedChars, 0, sizeof(TypedChars));
    g_typedInOrderCount = 0;
    g_pressedInOrderCount = 0;
    g_typedDistinct = 0;
    std::memcpy(PreviousPadState, PadState, sizeof(PadState));
    ApplyTapReleases();
}

void PollBetweenFrames() {
    BeginUpdate();
    if (PollEvents) PollEvents();
}

void Update() {
    BeginUpdate();
    g_updateBegun = false;
    if (PollEvents) PollEvents();

    bool replaying = Recorder && Recorder->IsReplaying();
    if (replaying) replaying = ReadReplayedInput();
    // A replayed frame's characters and keys come from the file; what was
    // typed live meanwhile is not the run being repeated.
    if (replaying) {
        ForgetWaitingInput();
    } else {
        TakeFrameShare();
    }
    if (!replaying && Recorder) {
        Recorder->Write(KeyState, sizeof(KeyState));
        Recorder->Write(TypedChars, sizeof(TypedChars));
    }
    // The replay ended: the keys it held are let go, live input takes over.
    if (g_replayedLastUpdate && !replaying) std::memset(KeyState, 0, sizeof(KeyState));
    g_replayedLastUpdate = replaying;

    // Owned before or after the GUI saw this frame's keys: the key that
    // closes the console is the console's, not the game's.
    bool keyboardOwned = GuiOwnsKeyboard();
    DispatchToGui(replaying);

    // The file's pads stand in for the devices; everything that reads the
    // input below runs in both modes, so that a replay repeats the run.
    const bool focused = GetWindowHooks().focused && GetWindowHooks().focused();
    if (!replaying && focused) ReadPads();

    // Before the keys are hidden: a key bound to "CloseConsole" must close
    // the console that holds the keyboard.
    SendActionCharacters();
    if (keyboardOwned || GuiOwnsKeyboard()) HideKeysFromGame(replaying);
    if (Recorder) WritePadBlocks();
    PauseMenuNavigation();
}

void Shutdown() {
    DestroyActionTables();
    ForgetWaitingInput();
    g_updateBegun = false;
    // Pads never read were never set vibrating: no device scan only to stop them.
    if (XInputStarted()) StopRumble();
    XInputShutdown();
}

void NormalizeStick(int16_t rawX, int16_t rawY, float& x, float& y) {
    auto axis = [](int16_t raw) {
        float v = float(raw / 32767.0);
        if (v < -1.0f) v = -1.0f;
        const float a = std::fabs(v);
        const float r = a < 0.5f ? 0.0f : (a - 0.5f) * 2.0f;
        return v < 0.0f ? -r : r;
    };
    x = axis(rawX);
    y = axis(rawY);
}

// A replayed frame's characters in the order they were first typed. Replays
// recorded when every slot held 1 tie, and play in code order as they did.
static void SendReplayedChars() {
    unsigned order[kCharCount];
    size_t count = 0;
    for (unsigned c = 0; c < unsigned(kCharCount); ++c) {
        if (TypedChars[c]) order[count++] = unsigned(TypedChars[c]) << 8 | c;
    }
    std::sort(order, order + count);
    for (size_t i = 0; i < count; ++i) SendChar(order[i] & 0xFFu);
}

void DispatchToGui(bool replaying) {
    GuiHooks& hooks = GetGuiHooks();
    if (replaying) {
        // A replay frame holds only the table of typed characters.
        SendReplayedChars();
    } else {
        for (size_t i = 0; i < g_typedInOrderCount; ++i) SendChar(g_typedInOrder[i]);
    }
    if (!hooks.onSpecialKeyDown) return;
    if (!replaying) {
        for (size_t i = 0; i < g_pressedInOrderCount; ++i) hooks.onSpecialKeyDown(g_pressedInOrder[i]);
        return;
    }
    // A replay frame holds only the key table: its newly held keys.
    for (int k = 0; k < kCodeCount; ++k) {
        if (KeyState[k] == 1 && PreviousKeyState[k] == 0) hooks.onSpecialKeyDown(k);
    }
}

void GetCursorPosition(int32_t& x, int32_t& y) {
    double cx, cy;
    ReadCursor(HookedWindow(), cx, cy);
    ToGui(cx, cy, x, y);
}

void KeyCallback(GLFWwindow*, int key, int, int action, int) {
    AnyInputFlag = true;
    // Only keyboard codes are held here; the pad codes stay 0.
    const bool isKey = key >= 0 && key < kKeyCodeCount;
    if (action == GLFW_PRESS) {
        if (key == kKeyF3) {
            Post(MakeNodeWithInt("FPS", "ToggleVisible"));
            Post(MakeNodeWithInt("PerformanceGraph", "ToggleVisible"));
        } else if (key == kKeyPrintScreen) {
            if (GetWindowHooks().screenshot) GetWindowHooks().screenshot();
        }
        if (isKey) {
            KeyState[key] = 1;
            g_pressedThisPoll[key] = 1;
            g_tapReleases[key] = 0;
            ReportDrop(g_pressedWaiting.Push(uint16_t(key)));
        }
    } else if (action == GLFW_RELEASE) {
        if (!isKey) return;
        // A tap (down and up within this poll) still counts as pressed for
        // this frame.
        if (g_pressedThisPoll[key]) {
            g_tapReleases[key] = 1;
        } else {
            KeyState[key] = 0;
        }
        return;
    } else if (action != GLFW_REPEAT) {
        return;
    }
    if (key == kKeyBackspace || key == kKeyDelete) NoteTyped(10);
    if (key == kKeyEnter || key == kKeyKeypadEnter) NoteTyped(13);
}

void MouseButtonCallback(GLFWwindow* window, int button, int action, int) {
    AnyInputFlag = g_nonKeyInput = true;
    double x, y;
    ReadCursor(window, x, y);
    int32_t gx, gy;
    ToGui(x, y, gx, gy);
    if (button != GLFW_MOUSE_BUTTON_LEFT) return;
    if (action == GLFW_PRESS) {
        g_leftDownThisPoll = true;
        g_leftTapRelease = false;
        if (GetGuiHooks().onMouseDown) GetGuiHooks().onMouseDown(gx, gy);
        DataNode* message = GlobalMessage("OnClick");
        SetNodeInt(message, "x", gx);
        SetNodeInt(message, "y", gy);
        Post(message);
    } else if (action == GLFW_RELEASE) {
        if (g_leftDownThisPoll) {
            // A click within one poll: the press has this frame, the release
            // the next, as with keys.
            g_leftTapRelease = true;
            g_tapReleaseX = gx;
            g_tapReleaseY = gy;
            return;
        }
        Post(GlobalMessage("OnRelease"));
        ClickX = gx;
        ClickY = gy;
    }
}

void CharCallback(GLFWwindow*, unsigned int codePoint) {
    if (codePoint < unsigned(kCharCount)) NoteTyped(codePoint);
}

void CursorPosCallback(GLFWwindow*, double x, double y) {
    g_cursorX = x;
    g_cursorY = y;
    int32_t gx, gy;
    ToGui(x, y, gx, gy);
    if (GetGuiHooks().onMouseMove) GetGuiHooks().onMouseMove(gx, gy);
}

void ScrollCallback(GLFWwindow*, double, double yOffset) {
    DataNode* message = GlobalMessage("OnMouseScroll");
    SetNodeInt(message, "state", yOffset < 0.0 ? 1 : 0);
    Post(message);
}

void Rumble(float strength) {
    // Out-of-range strengths are held to the motors' range.
    double s = std::isnan(strength) ? 0.0 : double(strength);
    s = s < 0.0 ? 0.0 : (s > 1.0 ? 1.0 : s);
    const uint16_t speed = uint16_t(s * 65535.0);
    for (uint32_t n = 0; n < XINPUT_PAD_COUNT; ++n) {
        if (!PadConnected(n) || !HasPlayer(int(n) + 1)) continue;
        SetMotors(n, speed, speed);
        RumbleSpeeds[n] = MotorSpeeds{speed, speed};
    }
}

void StopRumble() {
    for (uint32_t n = 0; n < XINPUT_PAD_COUNT; ++n) {
        if (PadConnected(n)) SetMotors(n, 0, 0);
    }
}

void ResumeRumble() {
    for (uint32_t n = 0; n < XINPUT_PAD_COUNT; ++n) {
        if (PadConnected(n)) SetMotors(n, RumbleSpeeds[n].left, RumbleSpeeds[n].right);
    }
}

}  // namespace InputManager

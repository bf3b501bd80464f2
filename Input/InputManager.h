// Keyboard, mouse and gamepad input, named actions per player, rumble.
//
// One code space serves keys and pads: 0-399 are keyboard keys (GLFW key
// numbers), 400-423 are the 24 pad inputs, read from each player's own pad.
#pragma once

#include <cstdint>

#include "Input/ReplayRecorder.h"
#include "System/Source/PoolAllocator.h"

struct GLFWwindow;
class DataNode;

namespace InputManager {

constexpr int kKeyCodeCount = 400;
constexpr int kFirstPadCode = 400;
constexpr int kPadCodeCount = 24;
constexpr int kCodeCount = kFirstPadCode + kPadCodeCount;  // 424
constexpr int kPlayerCount = 4;
constexpr int kCharCount = 255;

// Pad codes.
enum PadCode : int {
    kPadUp = 400,
    kPadDown = 401,
    kPadLeft = 402,
    kPadRight = 403,
    kPadStart = 404,
    kPadBack = 405,
    kPadLeftShoulder = 406,
    kPadRightShoulder = 407,
    kPadA = 410,
    kPadB = 411,
    kPadX = 412,
    kPadY = 413,
    kPadLeftStickRight = 414,
    kPadLeftStickLeft = 415,
    kPadLeftStickUp = 416,
    kPadLeftStickDown = 417,
    kPadLeftTrigger = 418,
    kPadRightTrigger = 419,
    kPadRightStickRight = 420,
    kPadRightStickLeft = 421,
    kPadRightStickUp = 422,
    kPadRightStickDown = 423,
};

// The state tables. Keys: 1 while held. Typed characters: 0 when not among
// this frame's characters, else the character's place (from 1) in the order
// the frame's characters were first typed. A frame takes up to 256 typed
// characters and 256 key presses for the GUI; more that came in one poll
// wait for the next frames (up to 16384 of each; past that the newest are
// dropped, with one line said). Pads: value of code c for player p at
// (c - 400) + 24 * p, each in 0.0-1.0.
extern uint8_t KeyState[kCodeCount];
extern uint8_t PreviousKeyState[kCodeCount];
extern uint8_t TypedChars[kCharCount];
extern float PadState[kPlayerCount * kPadCodeCount];
extern float PreviousPadState[kPlayerCount * kPadCodeCount];
// Any key or mouse-button event, or any held pad button, in this frame.
extern bool AnyInputFlag;
// GUI position of this frame's left-button release; -1 when there was none.
extern int32_t ClickX;
extern int32_t ClickY;

// The motor speeds last given to each pad by Rumble.
struct MotorSpeeds {
    uint16_t left = 0;
    uint16_t right = 0;
};
extern MotorSpeeds RumbleSpeeds[kPlayerCount];

// Installs the window's input callbacks (when there is a window) and makes
// the action maps with the default bindings.
void Init();
// The per-frame poll: every window-system input callback runs inside it.
void Update();
// A poll where no frame runs (between back-to-back level changes): what it
// brings counts as the next update's, as if that update had polled it.
void PollBetweenFrames();
// Frees the action maps, stops every connected pad's motors and drops the
// input still waiting for a frame.
void Shutdown();

// A stick read as two axes, each -1.0-1.0 outside a dead zone of half the
// travel, 0.0 inside it.
void NormalizeStick(int16_t rawX, int16_t rawY, float& x, float& y);
// Typed characters and pressed keys to the GUI root, each in the order they
// came, one per press (a replay gives each typed character once, in the
// order first typed, and the keys that went down).
void DispatchToGui(bool replaying = false);
// The cursor in GUI coordinates (window pixels from the top-left corner of
// the letterboxed area).
void GetCursorPosition(int32_t& x, int32_t& y);

// The window-system callbacks.
void KeyCallback(GLFWwindow* window, int key, int scancode, int action, int mods);
void MouseButtonCallback(GLFWwindow* window, int button, int action, int mods);
void CharCallback(GLFWwindow* window, unsigned int codePoint);
void CursorPosCallback(GLFWwindow* window, double x, double y);
void ScrollCallback(GLFWwindow* window, double xOffset, double yOffset);

// Named actions: each player maps an action name to the codes bound to it,
// in binding order.
using CodeList = System::Vector<int32_t>;
// Appends `code` to the player's list for `name`; players outside 0-3 and
// null names bind nothing.
void BindAction(int player, const char* name, int code);
// The player's codes for `name`, or null when it is not bound.
const CodeList* FindAction(int player, const char* name);
float GetActionPressed(int player, const char* name);
float GetActionTriggered(int player, const char* name);
float GetActionReleased(int player, const char* name);
// One code's step of an evaluation; codes outside 0-423 and players
// outside 0-3 contribute nothing.
void AccumulatePressed(int code, float& result, int player);
void AccumulateTriggered(int code, float& result, int player);
void AccumulateReleased(int code, float& result, int player);
// Walks a code list with one of the steps above, stopping once the result
// exceeds 0.99.
float Accumulate(const CodeList* codes, void (*step)(int, float&, int), int player);

// Sets both motors of every connected pad that has a player in the Lua
// global PLAYER_LIST to `strength` (clamped to 0.0-1.0) and remembers it.
void Rumble(float strength);
// Stops every connected pad's motors; the remembered speeds stay.
void StopRumble();
// Gives every connected pad its remembered speeds again.
void ResumeRumble();

// The window-system event poll that Update makes (the callbacks run inside
// it). By default the window's; tests may replace it.
extern void (*PollEvents)();

// Where the input module hands what the GUI needs. The wiring installs the
// GUI's own entry points; tests may replace them.
struct GuiHooks {
    void (*onChar)(unsigned ch) = nullptr;
    void (*onSpecialKeyDown)(int key) = nullptr;
    void (*onMouseMove)(int x, int y) = nullptr;
    // The left button went down: focus cleared, then the hit test.
    void (*onMouseDown)(int x, int y) = nullptr;
    void (*focusNext)() = nullptr;
    void (*focusPrev)() = nullptr;
    // Takes over the message tree.
    void (*post)(DataNode* message) = nullptr;
    // Whether the GUI holds the keyboard (the console is open): the game
    // then sees no key go down.
    bool (*ownsKeyboard)() = nullptr;
};
GuiHooks& GetGuiHooks();

// What the input module needs of the window, installed by the wiring: its
// window-system handle (callbacks, cursor; null: no window), window pixels
// to GUI pixels, whether it has the focus (pads are read only then), and
// the screenshot that the Print Screen key takes.
struct WindowHooks {
    GLFWwindow* (*window)() = nullptr;
    void (*toGui)(double x, double y, int32_t& gx, int32_t& gy) = nullptr;
    bool (*focused)() = nullptr;
    void (*screenshot)() = nullptr;
};
WindowHooks& GetWindowHooks();

}  // namespace InputManager

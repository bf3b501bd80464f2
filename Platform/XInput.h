// A small gamepad layer with the shape the input module expects: up to four
// pads, each read as a button mask, two trigger bytes and four stick axes,
// and two vibration motors. It runs over SDL2's game controllers; a pad
// that is not attached answers "not connected".
#pragma once

#include <cstdint>

// Results of XInputGetState / XInputSetState.
constexpr uint32_t XINPUT_SUCCESS = 0;
constexpr uint32_t XINPUT_NOT_CONNECTED = 1167;

// Bits of XINPUT_GAMEPAD::wButtons. Bits 10 and 11 are unused.
constexpr uint16_t XINPUT_GAMEPAD_DPAD_UP = 0x0001;
constexpr uint16_t XINPUT_GAMEPAD_DPAD_DOWN = 0x0002;
constexpr uint16_t XINPUT_GAMEPAD_DPAD_LEFT = 0x0004;
constexpr uint16_t XINPUT_GAMEPAD_DPAD_RIGHT = 0x0008;
constexpr uint16_t XINPUT_GAMEPAD_START = 0x0010;
constexpr uint16_t XINPUT_GAMEPAD_BACK = 0x0020;
constexpr uint16_t XINPUT_GAMEPAD_LEFT_THUMB = 0x0040;
constexpr uint16_t XINPUT_GAMEPAD_RIGHT_THUMB = 0x0080;
constexpr uint16_t XINPUT_GAMEPAD_LEFT_SHOULDER = 0x0100;
constexpr uint16_t XINPUT_GAMEPAD_RIGHT_SHOULDER = 0x0200;
constexpr uint16_t XINPUT_GAMEPAD_A = 0x1000;
constexpr uint16_t XINPUT_GAMEPAD_B = 0x2000;
constexpr uint16_t XINPUT_GAMEPAD_X = 0x4000;
constexpr uint16_t XINPUT_GAMEPAD_Y = 0x8000;

constexpr uint32_t XINPUT_PAD_COUNT = 4;

struct XINPUT_GAMEPAD {
    uint16_t wButtons = 0;
    uint8_t bLeftTrigger = 0;   // 0-255
    uint8_t bRightTrigger = 0;  // 0-255
    int16_t sThumbLX = 0;       // -32768-32767, up and right positive
    int16_t sThumbLY = 0;
    int16_t sThumbRX = 0;
    int16_t sThumbRY = 0;
};

struct XINPUT_STATE {
    // Changes whenever the pad's state changes.
    uint32_t dwPacketNumber = 0;
    XINPUT_GAMEPAD Gamepad;
};

struct XINPUT_VIBRATION {
    uint16_t wLeftMotorSpeed = 0;   // the low-frequency motor
    uint16_t wRightMotorSpeed = 0;  // the high-frequency motor
};

// Reads pad `pad` (0-3): XINPUT_SUCCESS and the state, or
// XINPUT_NOT_CONNECTED (the state untouched). A null state or a pad number
// outside 0-3 is "not connected".
uint32_t XInputGetState(uint32_t pad, XINPUT_STATE* state);
// Sets the pad's motor speeds; they stay until changed.
uint32_t XInputSetState(uint32_t pad, XINPUT_VIBRATION* vibration);
// Closes the pads and the controller subsystem; a later call opens them again.
void XInputShutdown();
// Whether the pads are being read (a test backend counts): before that no
// pad can be vibrating on the game's behalf.
bool XInputStarted();
// How many times the layer has tried to start SDL's controllers (a device scan).
int XInputStartCount();

// A replacement for the devices (tests, tools). Null restores the devices.
struct XInputBackend {
    uint32_t (*getState)(uint32_t pad, XINPUT_STATE* state) = nullptr;
    uint32_t (*setState)(uint32_t pad, XINPUT_VIBRATION* vibration) = nullptr;
};
void XInputSetBackend(const XInputBackend* backend);

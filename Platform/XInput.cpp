// The gamepad layer over SDL2 game controllers. SDL is started on the first
// request; controllers are opened into free pad slots as they appear and
// closed when they go away.
#include "Platform/XInput.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

const XInputBackend* g_backend = nullptr;

enum class SdlStatus { NotStarted, Running, Failed };
SdlStatus g_sdl = SdlStatus::NotStarted;

struct PadSlot {
    SDL_GameController* controller = nullptr;
    SDL_JoystickID id = -1;
    XINPUT_GAMEPAD last;
    uint32_t packet = 0;
    // The speeds asked for, re-sent before SDL's rumble runs out.
    uint16_t low = 0;
    uint16_t high = 0;
    uint32_t rumbleSentAt = 0;
};
PadSlot g_pads[XINPUT_PAD_COUNT];
int g_starts = 0;  // attempts to start SDL's controllers

// SDL ends a rumble after at most this long; the layer renews it earlier.
constexpr uint32_t kRumbleMs = 0xFFFF;
constexpr uint32_t kRumbleRenewMs = 30000;

bool StartSdl() {
    if (g_sdl == SdlStatus::Running) return true;
    if (g_sdl == SdlStatus::Failed) return false;
    ++g_starts;
    // The game handles its own signals and never reads SDL's event queue.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_HAPTIC) != 0) {
        std::printf("Gamepads unavailable: %s\n", SDL_GetError());
        g_sdl = SdlStatus::Failed;
        return false;
    }
    SDL_GameControllerEventState(SDL_IGNORE);
    SDL_JoystickEventState(SDL_IGNORE);
    g_sdl = SdlStatus::Running;
    // A program that ends without the input shutdown still lets SDL go.
    static bool exitHook = false;
    if (!exitHook) exitHook = std::atexit(XInputShutdown) == 0;
    return true;
}

void ClosePad(PadSlot& slot) {
    if (slot.controller) SDL_GameControllerClose(slot.controller);
    slot = PadSlot();
}

bool IsOpen(SDL_JoystickID id) {
    return std::any_of(std::begin(g_pads), std::end(g_pads),
                       [id](const PadSlot& s) { return s.controller && s.id == id; });
}

// Drops detached controllers and opens new ones into free slots.
void RefreshPads() {
    SDL_GameControllerUpdate();
    for (PadSlot& slot : g_pads) {
        if (slot.controller && !SDL_GameControllerGetAttached(slot.controller)) ClosePad(slot);
    }
    const int count = SDL_NumJoysticks();
    for (int i = 0; i < count; ++i) {
        if (!SDL_IsGameController(i)) continue;
        const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
        if (id < 0 || IsOpen(id)) continue;
        PadSlot* free = std::find_if(std::begin(g_pads), std::end(g_pads),
                                     [](const PadSlot& s) { return !s.controller; });
        if (free == std::end(g_pads)) return;
        SDL_GameController* controller = SDL_GameControllerOpen(i);
        if (!controller) continue;
        free->controller = controller;
        free->id = id;
    }
}

uint16_t Bit(SDL_GameController* c, SDL_GameControllerButton button, uint16_t bit) {
    return SDL_GameControllerGetButton(c, button) ? bit : 0;
}

// SDL's axes grow downward; the pad's grow upward. -32768 stays in range.
int16_t Upward(int16_t v) {
    return int16_t(v == -32768 ? 32767 : -v);
}

uint8_t TriggerByte(int16_t v) {
    return uint8_t(std::clamp(int(v), 0, 32767) * 255 / 32767);
}

XINPUT_GAMEPAD ReadPad(SDL_GameController* c) {
    XINPUT_GAMEPAD pad;
    pad.wButtons =
        uint16_t(Bit(c, SDL_CONTROLLER_BUTTON_DPAD_UP, XINPUT_GAMEPAD_DPAD_UP) |
                 Bit(c, SDL_CONTROLLER_BUTTON_DPAD_DOWN, XINPUT_GAMEPAD_DPAD_DOWN) |
                 Bit(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT, XINPUT_GAMEPAD_DPAD_LEFT) |
                 Bit(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, XINPUT_GAMEPAD_DPAD_RIGHT) |
                 Bit(c, SDL_CONTROLLER_BUTTON_START, XINPUT_GAMEPAD_START) |
                 Bit(c, SDL_CONTROLLER_BUTTON_BACK, XINPUT_GAMEPAD_BACK) |
                 Bit(c, SDL_CONTROLLER_BUTTON_LEFTSTICK, XINPUT_GAMEPAD_LEFT_THUMB) |
                 Bit(c, SDL_CONTROLLER_BUTTON_RIGHTSTICK, XINPUT_GAMEPAD_RIGHT_THUMB) |
                 Bit(c, SDL_CONTROLLER_BUTTON_LEFTSHOULDER, XINPUT_GAMEPAD_LEFT_SHOULDER) |
                 Bit(c, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, XINPUT_GAMEPAD_RIGHT_SHOULDER) |
                 Bit(c, SDL_CONTROLLER_BUTTON_A, XINPUT_GAMEPAD_A) |
                 Bit(c, SDL_CONTROLLER_BUTTON_B, XINPUT_GAMEPAD_B) |
                 Bit(c, SDL_CONTROLLER_BUTTON_X, XINPUT_GAMEPAD_X) |
                 Bit(c, SDL_CONTROLLER_BUTTON_Y, XINPUT_GAMEPAD_Y));
    pad.bLeftTrigger = TriggerByte(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
    pad.bRightTrigger = TriggerByte(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
    pad.sThumbLX = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
    pad.sThumbLY = Upward(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY));
    pad.sThumbRX = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTX);
    pad.sThumbRY = Upward(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTY));
    return pad;
}

bool SamePad(const XINPUT_GAMEPAD& a, const XINPUT_GAMEPAD& b) {
    return a.wButtons == b.wButtons && a.bLeftTrigger == b.bLeftTrigger &&
           a.bRightTrigger == b.bRightTrigger && a.sThumbLX == b.sThumbLX &&
           a.sThumbLY == b.sThumbLY && a.sThumbRX == b.sThumbRX && a.sThumbRY == b.sThumbRY;
}

void SendRumble(PadSlot& slot) {
    SDL_GameControllerRumble(slot.controller, slot.low, slot.high, kRumbleMs);
    slot.rumbleSentAt = SDL_GetTicks();
}

}  // namespace

uint32_t XInputGetState(uint32_t pad, XINPUT_STATE* state) {
    if (pad >= XINPUT_PAD_COUNT || !state) return XINPUT_NOT_CONNECTED;
    if (g_backend && g_backend->getState) return g_backend->getState(pad, state);
    if (!StartSdl()) return XINPUT_NOT_CONNECTED;
    RefreshPads();
    PadSlot& slot = g_pads[pad];
    if (!slot.controller) return XINPUT_NOT_CONNECTED;
    const XINPUT_GAMEPAD now = ReadPad(slot.controller);
    if (!SamePad(now, slot.last)) ++slot.packet;
    slot.last = now;
    if ((slot.low || slot.high) && SDL_GetTicks() - slot.rumbleSentAt > kRumbleRenewMs) {
        SendRumble(slot);
    }
    state->dwPacketNumber = slot.packet;
    state->Gamepad = now;
    return XINPUT_SUCCESS;
}

uint32_t XInputSetState(uint32_t pad, XINPUT_VIBRATION* vibration) {
    if (pad >= XINPUT_PAD_COUNT || !vibration) return XINPUT_NOT_CONNECTED;
    if (g_backend && g_backend->setState) return g_backend->setState(pad, vibration);
    if (!StartSdl()) return XINPUT_NOT_CONNECTED;
    RefreshPads();
    PadSlot& slot = g_pads[pad];
    if (!slot.controller) return XINPUT_NOT_CONNECTED;
    slot.low = vibration->wLeftMotorSpeed;
    slot.high = vibration->wRightMotorSpeed;
    SendRumble(slot);
    return XINPUT_SUCCESS;
}

void XInputShutdown() {
    if (g_sdl != SdlStatus::Running) return;
    for (PadSlot& slot : g_pads) ClosePad(slot);
    // Only what was started here: other parts of the program may use SDL.
    // With nothing of SDL left running, SDL itself ends too.
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_HAPTIC);
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
    g_sdl = SdlStatus::NotStarted;
}

int XInputStartCount() {
    return g_starts;
}

bool XInputStarted() {
    return g_backend != nullptr || g_sdl == SdlStatus::Running;
}

void XInputSetBackend(const XInputBackend* backend) {
    g_backend = backend;
}

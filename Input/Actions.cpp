// Named actions: per player, an action name maps to the codes bound to it;
// pressed, triggered and released turn a code list into one value.
#include <algorithm>
#include <cstdio>
#include <functional>

#include "Input/InputInternal.h"
#include "Input/InputManager.h"

namespace InputManager {

namespace {

// A character sent to the GUI root in every frame its action fires.
struct ActionCharRow {
    System::String action;
    char character;
};

struct ActionTables : System::PoolObject {
    System::Map<System::String, CodeList, std::less<>> maps[kPlayerCount];
    System::Vector<ActionCharRow> characters;
};

ActionTables* g_tables = nullptr;

// The walk stops once a step has stored more than this (single precision).
constexpr float kFullValue = 0.99f;
constexpr float kTriggerLevel = 0.6f;

bool ValidPlayer(int player) {
    return player >= 0 && player < kPlayerCount;
}

float PadValue(const float* table, int code, int player) {
    return table[(code - kFirstPadCode) + kPadCodeCount * player];
}

float Evaluate(int player, const char* name, void (*step)(int, float&, int)) {
    return Accumulate(FindAction(player, name), step, player);
}

void BindAllPlayers(const char* name, int code) {
    for (int player = 0; player < kPlayerCount; ++player) BindAction(player, name, code);
}

}  // namespace

void DestroyActionTables() {
    delete g_tables;
    g_tables = nullptr;
}

void CreateActionTables() {
    DestroyActionTables();
    g_tables = new ActionTables();
    if (!g_tables) {
        std::printf("Out of memory for the input actions\n");
        return;
    }
    BindAction(0, "Pause_Game", 256);
    BindAction(0, "Pause", 256);
    BindAllPlayers("GUIMoveDown", kPadLeftStickDown);
    BindAllPlayers("GUIMoveDown", kPadRightStickDown);
    BindAllPlayers("GUIMoveDown", kPadDown);
    BindAction(0, "GUIMoveDown", 264);
    BindAction(0, "GUIMoveDown", 'S');
    BindAllPlayers("GUIMoveUp", kPadLeftStickUp);
    BindAllPlayers("GUIMoveUp", kPadRightStickUp);
    BindAllPlayers("GUIMoveUp", kPadUp);
    BindAction(0, "GUIMoveUp", 265);
    BindAction(0, "GUIMoveUp", 'W');
    BindAllPlayers("GUISelect", kPadA);
    g_tables->characters.push_back(ActionCharRow{System::MakeString("CloseConsole"), '`'});
}

void SendActionCharacters() {
    if (!g_tables) return;
    GuiHooks& hooks = GetGuiHooks();
    for (const ActionCharRow& row : g_tables->characters) {
        if (GetActionTriggered(0, row.action.c_str()) > 0.0f && hooks.onChar) {
            hooks.onChar(static_cast<unsigned char>(row.character));
        }
    }
}

void BindAction(int player, const char* name, int code) {
    if (!ValidPlayer(player) || !name || !g_tables) return;
    auto& map = g_tables->maps[player];
    auto found = map.find(std::string_view(name));
    if (found == map.end()) found = map.emplace(System::MakeString(name), CodeList()).first;
    found->second.push_back(code);
}

const CodeList* FindAction(int player, const char* name) {
    if (!ValidPlayer(player) || !name || !g_tables) return nullptr;
    const auto& map = g_tables->maps[player];
    auto found = map.find(std::string_view(name));
    return found == map.end() ? nullptr : &found->second;
}

float Accumulate(const CodeList* codes, void (*step)(int, float&, int), int player) {
    float result = 0.0f;
    if (!codes) return result;
    for (int32_t code : *codes) {
        if (result > kFullValue) break;
        step(code, result, player);
    }
    return result;
}

float GetActionPressed(int player, const char* name) {
    return Evaluate(player, name, AccumulatePressed);
}

float GetActionTriggered(int player, const char* name) {
    return Evaluate(player, name, AccumulateTriggered);
}

float GetActionReleased(int player, const char* name) {
    return Evaluate(player, name, AccumulateReleased);
}

void AccumulatePressed(int code, float& result, int player) {
    if (!ValidPlayer(player) || code < 0 || code >= kCodeCount) return;
    if (code < kKeyCodeCount) {
        if (KeyState[code] != 0) result = 1.0f;
    } else {
        // The largest value of the codes wins: a stick held at 0.8 is not
        // undone by an idle code bound after it.
        result = std::max(result, PadValue(PadState, code, player));
    }
}

void AccumulateTriggered(int code, float& result, int player) {
    if (!ValidPlayer(player) || code < 0 || code >= kCodeCount) return;
    if (code < kKeyCodeCount) {
        if (KeyState[code] == 1 && PreviousKeyState[code] == 0) result = 1.0f;
    } else if (PadValue(PadState, code, player) >= kTriggerLevel &&
               PadValue(PreviousPadState, code, player) < kTriggerLevel) {
        result = 1.0f;
    }
}

void AccumulateReleased(int code, float& result, int player) {
    if (!ValidPlayer(player) || code < 0 || code >= kCodeCount) return;
    if (code < kKeyCodeCount) {
        if (KeyState[code] == 0 && PreviousKeyState[code] == 1) result = 1.0f;
    } else if (PadValue(PadState, code, player) == 0.0f &&
               PadValue(PreviousPadState, code, player) == 1.0f) {
        result = 1.0f;
    }
}

}  // namespace InputManager

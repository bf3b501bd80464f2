#include "Input/InputLua.h"

#include "Input/InputManager.h"
#include "Platform/XInput.h"
#include "System/Source/LuaState.h"

namespace InputLua {

namespace {

using System::GetArgument;
using System::MetaArgs;

int PushNumber(lua_State* L, double value) {
    lua_pushnumber(L, value);
    return 1;
}

// The key code argument, or -1 when it names no code.
int CodeArg(const MetaArgs& args, unsigned index) {
    const int code = GetArgument(args, index).ToInt();
    return code >= 0 && code < InputManager::kCodeCount ? code : -1;
}

bool PadConnected(uint32_t pad) {
    XINPUT_STATE state{};
    return XInputGetState(pad, &state) == XINPUT_SUCCESS;
}

// (action name, player) evaluated by `evaluate`.
int ActionResult(lua_State* L, float (*evaluate)(int, const char*)) {
    MetaArgs args;
    ReadLuaArguments(L, args);
    const char* name = GetArgument(args, 0).ToString();
    const int player = GetArgument(args, 1).ToInt();
    return PushNumber(L, evaluate(player, name));
}

// A key code's current and previous state, for a code argument at 0.
template <class Test>
int KeyResult(lua_State* L, Test test) {
    MetaArgs args;
    ReadLuaArguments(L, args);
    const int code = CodeArg(args, 0);
    if (code < 0) return PushNumber(L, 0);
    return PushNumber(
        L, test(InputManager::KeyState[code], InputManager::PreviousKeyState[code]) ? 1 : 0);
}

}  // namespace

int IsKeyPressed(lua_State* L) {
    return KeyResult(L, [](uint8_t now, uint8_t) { return now == 1; });
}

int IsKeyReleased(lua_State* L) {
    return KeyResult(L, [](uint8_t now, uint8_t before) { return now == 0 && before == 1; });
}

int IsKeyTriggered(lua_State* L) {
    return KeyResult(L, [](uint8_t now, uint8_t before) { return now == 1 && before == 0; });
}

int RumbleControllers(lua_State* L) {
    MetaArgs args;
    ReadLuaArguments(L, args);
    InputManager::Rumble(GetArgument(args, 0).ToFloat());
    return 0;
}

int GetMouseClickX(lua_State* L) {
    return PushNumber(L, InputManager::ClickX);
}

int GetMouseClickY(lua_State* L) {
    return PushNumber(L, InputManager::ClickY);
}

int AnyControllerIn(lua_State* L) {
    for (uint32_t pad = 0; pad < XINPUT_PAD_COUNT; ++pad) {
        if (PadConnected(pad)) return PushNumber(L, 1);
    }
    return PushNumber(L, 0);
}

int IsControllerActive(lua_State* L) {
    MetaArgs args;
    ReadLuaArguments(L, args);
    const int pad = GetArgument(args, 0).ToInt();
    if (pad == 0) return PushNumber(L, 1);
    return PushNumber(L, pad > 0 && PadConnected(uint32_t(pad)) ? 1 : 0);
}

int AnyInput(lua_State* L) {
    return PushNumber(L, InputManager::AnyInputFlag ? 1 : 0);
}

int IsActionPressed(lua_State* L) {
    return ActionResult(L, InputManager::GetActionPressed);
}

int IsActionReleased(lua_State* L) {
    return ActionResult(L, InputManager::GetActionReleased);
}

int IsActionTriggered(lua_State* L) {
    return ActionResult(L, InputManager::GetActionTriggered);
}

int BindActionToKey(lua_State* L) {
    MetaArgs args;
    ReadLuaArguments(L, args);
    InputManager::BindAction(GetArgument(args, 2).ToInt(), GetArgument(args, 0).ToString(),
                             GetArgument(args, 1).ToInt());
    return 0;
}

}  // namespace InputLua

void InputLuaRegisterAll() {
    RegisterLuaFunction(InputLua::IsKeyPressed, "IsKeyPressed");
    RegisterLuaFunction(InputLua::IsKeyReleased, "IsKeyReleased");
    RegisterLuaFunction(InputLua::IsKeyTriggered, "IsKeyTriggered");
    RegisterLuaFunction(InputLua::RumbleControllers, "RumbleControllers");
    RegisterLuaFunction(InputLua::GetMouseClickX, "GetMouseClickX");
    RegisterLuaFunction(InputLua::GetMouseClickY, "GetMouseClickY");
    RegisterLuaFunction(InputLua::AnyControllerIn, "AnyControllerIn");
    RegisterLuaFunction(InputLua::IsControllerActive, "IsControllerActive");
    RegisterLuaFunction(InputLua::AnyInput, "AnyInput");
    RegisterLuaFunction(InputLua::IsActionPressed, "IsActionPressed");
    RegisterLuaFunction(InputLua::IsActionReleased, "IsActionReleased");
    RegisterLuaFunction(InputLua::IsActionTriggered, "IsActionTriggered");
    RegisterLuaFunction(InputLua::BindActionToKey, "BindActionToKey");
}

void ZeroRememberedVibration() {
    for (InputManager::MotorSpeeds& speeds : InputManager::RumbleSpeeds) speeds = {};
}

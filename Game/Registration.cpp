// The one ordered list of registrations. The order matters: lists linked at
// the head are walked newest first, a later Lua global of a name replaces an
// earlier one, and a class's methods must be in place before its class
// table copies them. Subsystems add their steps here, at their place.
#include "Game/Registration.h"

#include "Audio/AudioManager.h"
#include "Game/GameHooks.h"
#include "Game/StateCommands.h"
#include "Graphics/Camera.h"
#include "Graphics/DrawFunctions.h"
#include "Graphics/Effect.h"
#include "Graphics/GraphicsLua.h"
#include "Graphics/MetaPoint.h"
#include "Graphics/Window.h"
#include "Gui/FastPanel.h"
#include "Gui/GuiButton.h"
#include "Gui/GuiFactory.h"
#include "Gui/GuiFans.h"
#include "Gui/GuiLabel.h"
#include "Gui/GuiManager.h"
#include "Gui/GuiPieGraph.h"
#include "Gui/GuiScrollBar.h"
#include "Gui/GuiTextField.h"
#include "Gui/Menu.h"
#include "Input/InputLua.h"
#include "System/Source/Components/Empty.h"
#include "System/Source/Components/Factories.h"
#include "System/Source/Components/GenericComponent.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/Console.h"
#include "System/Source/GlobalScripts.h"
#include "System/Source/LuaState.h"
#include "System/Source/ScriptRegistry.h"
#include "World/AnimationComponent.h"
#include "World/GenericTileLevel.h"
#include "World/GraphicsComponent.h"
#include "World/Level.h"
#include "World/LuaComponent.h"
#include "World/Object.h"
#include "World/ObjectLua.h"
#include "World/ParticleComponent.h"
#include "World/PhysicsBody.h"
#include "World/TextureComponent.h"
#include "World/Transform.h"

namespace {

using System::RegisterClassTable;

// The registries outside Lua are filled once; a later run (a test that made
// a fresh Lua state) repeats only the Lua steps.
bool g_otherRegistriesFilled = false;

void Command(const char* name, ConsoleExecute execute, ConsoleCompletion completion = nullptr) {
    if (g_otherRegistriesFilled) return;
    // Entries live for the whole process; nothing is ever unlinked.
    ConsoleCommand* entry = new ConsoleCommand();
    entry->Register(name, "", execute, completion);
}

void LevelType(LevelTypeRegistry::Creator create, const char* name) {
    if (!g_otherRegistriesFilled) LevelTypeRegistry::Register(create, name);
}

// Factory entries are static records, linked once. They are linked from
// another file's static initialiser, so they must be ready before any
// dynamic initialisation runs: a later constructor would wipe the links.
constinit ComponentFactoryNode g_physicsNode, g_animationNode, g_graphicsNode, g_luaNode,
    g_particleNode, g_textureNode, g_transformNode;
constinit ObjectFactoryNode g_luaObjectNode, g_objectNode;
constinit GuiFactoryNode g_guiButtonNode, g_guiPanelNode, g_guiPieGraphNode, g_guiLabelNode, g_guiScalingBarNode, g_guiTextFieldNode;

void ComponentType(ComponentFactoryNode& node, const char* name,
                   System::GenericComponent* (*create)()) {
    if (!g_otherRegistriesFilled) RegisterComponentType(node, name, create);
}

void ObjectType(ObjectFactoryNode& node, const char* name, System::GenericGameObject* (*create)()) {
    if (!g_otherRegistriesFilled) RegisterObjectType(node, name, create);
}

void GuiType(GuiFactoryNode& node, const char* name, GuiPanel* (*create)()) {
    if (!g_otherRegistriesFilled) RegisterGuiType(node, name, create);
}

void ToggleFullscreenCommand(ConsoleArgs&) {
    ToggleFullscreen();
}

int NewLevel(lua_State* L) {
    System::CheckNewArguments(L);
    PushUserdata(L, Level::Create());
    return 1;
}

void RegisterAll() {
    // Console variables bloom1 to bloom6.
    if (!g_otherRegistriesFilled) RegisterBloomVariables();

    // Camera: methods, class table (the shared Lua state is made here).
    Camera::RegisterMethods();
    RegisterClassTable<Camera>("Camera", Camera::LuaNew);

    // Effects: both method lists, then both class tables.
    Effect::RegisterMethods();
    EffectParameter::RegisterMethods();
    RegisterClassTable<Effect>("Effect", Effect::LuaNew);
    RegisterClassTable<EffectParameter>("EffectParameter", EffectParameter::LuaNew);

    Command("fullscreen", ToggleFullscreenCommand);

    // The graphics globals, GetCamera to EndProfile.
    GraphicsLua::RegisterAll();

    // MetaPoint: the class table, then the global function that replaces it
    // under the same name.
    RegisterClassTable<MetaPoint>("MetaPoint", MetaPoint::LuaNew);
    RegisterLuaFunction(MetaPoint::LuaCreate, "MetaPoint");

    RegisterLuaFunction(LuaExecuteConsoleCommand, "ExecuteConsoleCommand");
    Command("Clear", ConsoleClear);
    RegisterLuaFunction(LuaPrint, "Print");

    GuiFans::RegisterMethods();
    RegisterClassTable<GuiFans>("GuiFans", GuiFans::LuaNew);

    RegisterLuaFunction(LuaDrawBox, "DrawBox");
    RegisterLuaFunction(LuaDrawLine, "DrawLine");
    RegisterLuaFunction(LuaDrawText, "DrawText");

    GuiType(g_guiButtonNode, "GuiButton", GuiButton::Create);
    GuiButton::RegisterMethods();
    RegisterClassTable<GuiButton>("GuiButton", GuiButton::LuaNew);

    // Widgets: panels (type, methods, class table), fast panels, labels,
    // then the pie graph, scaling bar and text field types.
    GuiType(g_guiPanelNode, "GuiPanel", GuiPanel::Create);
    GuiPanel::RegisterMethods();
    RegisterClassTable<GuiPanel>("GuiPanel", GuiPanel::LuaNew);
    RegisterClassTable<FastPanel>("FastPanel", FastPanel::LuaNew);
    GuiType(g_guiLabelNode, "GuiLabel", GuiLabel::Create);
    GuiLabel::RegisterMethods();
    RegisterClassTable<GuiLabel>("GuiLabel", GuiLabel::LuaNew);
    GuiType(g_guiPieGraphNode, "GuiPieGraph", GuiPieGraph::Create);
    GuiType(g_guiScalingBarNode, "GuiScalingBar", GuiScalingBar::Create);
    GuiType(g_guiTextFieldNode, "GuiTextField", GuiTextField::Create);

    // Physics bodies: methods, class table, component type.
    PhysicsBody::RegisterMethods();
    RegisterClassTable<PhysicsBody>("PhysicsBody", PhysicsBody::LuaNew,
                                    System::LuaNewIndexComponent);
    ComponentType(g_physicsNode, "PhysicsBody", PhysicsBody::Create);

    // Animation components (their methods are the texture component's).
    RegisterClassTable<AnimationComponent>("AnimationComponent", AnimationComponent::LuaNew,
                                           System::LuaNewIndexComponent);
    ComponentType(g_animationNode, "AnimationComponent", AnimationComponent::Create);

    // Game objects and the engine's base classes.
    ObjectLua::RegisterGameObjectMethods();
    RegisterLuaFunction(ObjectLua::GetGameObject, "GetGameObject");
    RegisterLuaFunction(ObjectLua::GetObjectByName, "GetObjectByName");
    RegisterLuaFunction(ObjectLua::GetFirstPlayer, "GetFirstPlayer");
    RegisterLuaFunction(ObjectLua::GetClosestPlayer, "GetClosestPlayer");
    RegisterLuaFunction(LuaGetLevel, "GetLevel");
    RegisterLuaFunction(ObjectLua::GetAllGameObjects, "GetAllGameObjects");
    RegisterLuaFunction(ObjectLua::CallMeDebug, "CallMeDebug");
    RegisterClassTable<empty>("empty", ObjectLua::NewEmpty);
    RegisterLuaFunction(ObjectLua::Null, "null");
    RegisterClassTable<System::GenericComponent>("GenericComponent", ObjectLua::NewGenericComponent,
                                                 System::LuaNewIndexComponent);
    RegisterLuaFunction(ObjectLua::IsNull, "IsNull");
    RegisterLuaFunction(ObjectLua::IsDataNull, "IsDataNull");
    RegisterClassTable<System::GenericGameObject>("GenericGameObject", ObjectLua::NewGameObject);

    // The components of the game world and the two object kinds.
    GraphicsComponent::RegisterMethods();
    RegisterClassTable<GraphicsComponent>("GraphicsComponent", GraphicsComponent::LuaNew,
                                          System::LuaNewIndexComponent);
    ComponentType(g_graphicsNode, "GraphicsComponent", GraphicsComponent::Create);
    LuaComponent::RegisterMethods();
    RegisterClassTable<LuaComponent>("LuaComponent", LuaComponent::LuaNew,
                                     System::LuaNewIndexComponent);
    ComponentType(g_luaNode, "LuaComponent", LuaComponent::Create);
    ParticleComponent::RegisterMethods();
    ComponentType(g_particleNode, "ParticleComponent", ParticleComponent::Create);
    RegisterClassTable<ParticleComponent>("ParticleComponent", ParticleComponent::LuaNew,
                                          System::LuaNewIndexComponent);
    TextureComponent::RegisterMethods();
    RegisterClassTable<TextureComponent>("TextureComponent", TextureComponent::LuaNew,
                                         System::LuaNewIndexComponent);
    ComponentType(g_textureNode, "TextureComponent", TextureComponent::Create);
    RegisterClassTable<Transform>("Transform", Transform::LuaNew, System::LuaNewIndexComponent);
    ComponentType(g_transformNode, "Transform", Transform::Create);
    ObjectType(g_luaObjectNode, "LuaObject", LuaObject::Create);
    RegisterClassTable<LuaObject>("LuaObject", LuaObject::LuaNew);
    ObjectType(g_objectNode, "Object", Object::Create);
    RegisterClassTable<Object>("Object", Object::LuaNew);

    // Input: the pads' remembered vibration, then IsKeyPressed to
    // BindActionToKey.
    ZeroRememberedVibration();
    InputLuaRegisterAll();

    // Level types, their methods and class tables.
    LevelType(GenericTileLevel::Create, "GenericTileLevel");
    GenericTileLevel::RegisterMethods();
    RegisterClassTable<GenericTileLevel>("GenericTileLevel", GenericTileLevel::LuaNew);
    LevelType(Level::Create, "Level");
    Level::RegisterMethods();
    RegisterClassTable<Level>("Level", NewLevel);

    RegisterLuaFunction(LuaDoScript, "DoScript");
    Command("lua", ConsoleLua);
    Command("globalReload", ConsoleGlobalReload);
    Command("teleport", ConsoleTeleport);
    RegisterLuaFunction(LuaStackDump, "stackdump");

    // Menus: methods, the global that removes them by name, class table.
    Menu::RegisterMethods();
    RegisterLuaFunction(LuaRemoveMenuByName, "RemoveMenuByName");
    RegisterClassTable<Menu>("Menu", Menu::LuaNew);

    // Audio: AddSound to KillSounds, the mute commands, the mute queries.
    AudioLuaRegisterFirst();
    Command("muteMusic", ConsoleMuteMusic);
    Command("muteSound", ConsoleMuteSound);
    AudioLuaRegisterMuteQueries();

    // State manager commands and functions.
    Command("level", ConsoleLevel, LevelCompletions);
    Command("reload", ConsoleReload);
    Command("resume", ConsoleResume);
    Command("god", ConsoleGod);
    RegisterLuaFunction(LuaCheckGodMode, "CheckGodMode");
    Command("StateManagerLockPause", ConsoleLockPause);
    Command("StateManagerUnlockPause", ConsoleUnlockPause);
    RegisterLuaFunction(LuaGetdt, "getdt");
    RegisterLuaFunction(LuaSetDtScale, "SetDtScale");
    RegisterLuaFunction(LuaLockPause, "LockPause");
    RegisterLuaFunction(LuaPause, "Pause");
    RegisterLuaFunction(LuaGetDtScale, "GetDtScale");
}

}  // namespace

void RunStaticRegistration() {
    InstallGameHooks();
    // Once per Lua state: a state closed and made anew (by tests) gets its
    // globals and class tables again.
    static lua_State* registeredInto = nullptr;
    if (registeredInto && registeredInto == PeekLuaState()) return;
    RegisterAll();
    g_otherRegistriesFilled = true;
    registeredInto = PeekLuaState();
}

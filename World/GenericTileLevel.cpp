#include "World/GenericTileLevel.h"

#include "Graphics/Camera.h"
#include "Graphics/Effect.h"
#include "Graphics/RenderTarget.h"
#include "Graphics/Renderer.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/LuaState.h"
#include "System/Source/ScriptRegistry.h"
#include "World/TmxReader.h"

namespace {

MetaValue LevelSetEffectName(GenericTileLevel& level, System::MetaArgs& args) {
    level.SetEffectName(System::GetArgument(args, 0).ToString());
    return MetaValue::None();
}

MetaValue LevelSetGraphicsLayer(GenericTileLevel& level, System::MetaArgs& args) {
    level.SetGraphicsLayer(System::GetArgument(args, 0).ToInt());
    return MetaValue::None();
}

}  // namespace

GenericTileLevel::GenericTileLevel()
    : effectName_(kDefaultEffect),
      renderTarget_(GetPostProcess(1)),
      self_(std::make_shared<GenericTileLevel*>(this)) {}

GenericTileLevel::~GenericTileLevel() {
    *self_ = nullptr;
}

void GenericTileLevel::SetEffectName(const char* name) {
    effectName_ = (name && *name) ? name : kDefaultEffect;
}

void GenericTileLevel::SetGraphicsLayer(int n) {
    renderTarget_ = n != 0 ? GetGraphicsLayer(n) : GetPostProcess(1);
}

void GenericTileLevel::Update(float) {
    if (updateScript_ != -1) RunScriptChunk(updateScript_, this);
}

void GenericTileLevel::Draw() {
    Renderer* renderer = CurrentRenderer;
    if (!renderer) return;
    renderer->SetTarget(renderTarget_);
    renderer->SetDepth(kTileDepth);
    renderer->SetEffect(GlobalShaderCache ? GlobalShaderCache->Find(effectName_.c_str()) : nullptr);
    std::weak_ptr<GenericTileLevel*> weak = self_;
    renderer->SetDrawCallback([weak](Effect* effect) {
        std::shared_ptr<GenericTileLevel*> level = weak.lock();
        if (level && *level) (*level)->tiles_.Draw(effect);
    });
    renderer->SetEffect(nullptr);
    renderer->SetDepth(0);
    // Later shapes of the frame go to the screen again.
    renderer->SetTarget(nullptr);
}

void GenericTileLevel::Load(std::string levelName) {
    // One level's bounds and zoom must not carry into the next, whose init
    // script sets its own.
    if (CurrentCamera) CurrentCamera->ResetBounds();
    Tmx::LoadLevel(*this, levelName);
}

Level* GenericTileLevel::Create() {
    return new GenericTileLevel();
}

void GenericTileLevel::RegisterMethods() {
    System::MetaData<GenericTileLevel>::SetParent<Level>();
    System::MetaData<GenericTileLevel>::AddMethod(
        "SetEffectName", System::Method<GenericTileLevel, LevelSetEffectName>);
    System::MetaData<GenericTileLevel>::AddMethod(
        "SetGraphicsLayer", System::Method<GenericTileLevel, LevelSetGraphicsLayer>);
}

int GenericTileLevel::LuaNew(lua_State* L) {
    return System::LuaNewDefault<GenericTileLevel>(L);
}

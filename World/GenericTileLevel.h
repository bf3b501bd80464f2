// A level read from a TMX tile map: its tile layer, the map's per-frame
// script and the effect and target the layer is drawn with.
#pragma once

#include <memory>

#include "World/Level.h"
#include "World/TileLayer.h"

class RenderTarget;

class GenericTileLevel : public Level {
public:
    static constexpr const char* kDefaultEffect = "BaseLevel";
    // Depth of the tile layer: behind everything drawn at 0 or above.
    static constexpr int kTileDepth = -100;

    GenericTileLevel();
    ~GenericTileLevel() override;

    const char* GetTypeName() const override { return System::TypeName<GenericTileLevel>::name; }
    // Runs the map's "Update" script, when it has one, with the level.
    void Update(float dt) override;
    // Hands the renderer the tile layer as a draw callback at depth -100.
    void Draw() override;
    // Reads "Resources/Levels/" + levelName.
    void Load(std::string levelName) override;

    static Level* Create();
    static void RegisterMethods();
    static int LuaNew(lua_State* L);

    TileWrapper& Tiles() { return tiles_; }
    int GetUpdateScript() const { return updateScript_; }
    void SetUpdateScript(int index) { updateScript_ = index; }
    const char* GetEffectName() const { return effectName_.c_str(); }
    // Null or empty restores "BaseLevel".
    void SetEffectName(const char* name);
    RenderTarget* GetRenderTarget() const { return renderTarget_; }
    // n: entry n of the graphics layers; 0: the first post-processing pass.
    void SetGraphicsLayer(int n);

private:
    TileWrapper tiles_;
    int updateScript_ = -1;
    System::String effectName_;
    RenderTarget* renderTarget_ = nullptr;
    // Shared with the draw callbacks handed to the renderer, so that a
    // callback outliving the level draws nothing.
    std::shared_ptr<GenericTileLevel*> self_;
};

// A level read from a TMX tile map.
#pragma once

#include "World/Level.h"

class GenericTileLevel : public Level {
public:
    GenericTileLevel() = default;
    ~GenericTileLevel() override = default;

    const char* GetTypeName() const override { return System::TypeName<GenericTileLevel>::name; }
    void Update(float dt) override;
    void Draw() override;
    void Load(std::string levelName) override;

    static Level* Create();
    static void RegisterMethods();
};

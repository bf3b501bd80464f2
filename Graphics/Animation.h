// A reflected animation record: a list of owned sprites, two names and,
// when it owns it, a texture. It registers no properties and has no class
// table.
#pragma once

#include "Graphics/Sprite.h"
#include "Graphics/TextureInfo.h"
#include "System/Source/Components/Meta.h"
#include "System/Source/PoolAllocator.h"

class Animation : public System::MetaData<Animation> {
public:
    Animation() = default;
    ~Animation() override;
    Animation(const Animation&) = delete;
    Animation& operator=(const Animation&) = delete;

    // Deleted with the animation (null entries are skipped).
    System::Vector<Sprite*> frames;
    System::String name;
    System::String fileName;
    // When set, the destructor deletes the texture.
    bool ownsTexture = false;
    TextureInfo texture;
};

// A reflected image record: a texture of its own, released with the sprite.
// It registers no properties and has no class table.
#pragma once

#include "Graphics/TextureInfo.h"
#include "System/Source/Components/Meta.h"

class Sprite : public System::MetaData<Sprite> {
public:
    // No texture.
    Sprite();
    // The image file loaded as the sprite's own texture (none when the file
    // cannot be read).
    explicit Sprite(const char* fileName);
    ~Sprite() override;
    Sprite(const Sprite&) = delete;
    Sprite& operator=(const Sprite&) = delete;

    // Owned: the destructor deletes the GL texture.
    TextureInfo texture;
};

#include "Graphics/Sprite.h"

Sprite::Sprite() = default;

Sprite::Sprite(const char* fileName) {
    if (fileName && *fileName) {
        LoadTexture(fileName, texture);
        texture.owns = texture.texture != 0;
    }
}

Sprite::~Sprite() {
    // Releases the texture while the base part still stands.
    texture.Reset();
}

// The record in which every image travels: a GL texture, the image size,
// the image's region inside the texture and whether the record owns the
// texture. LoadTexture fills one from an image file.
#pragma once

#include <string>

#include "Graphics/Window.h"

// Whether GL calls may be made now (HasGlContext).
bool TextureGlReady();

struct TextureInfo {
    int width = 0;         // pixels
    int height = 0;        // pixels
    unsigned texture = 0;  // GL texture name, 0 for none
    float u = 0.0f;        // the region's first corner in texture coordinates
    float v = 0.0f;
    float du = 1.0f;  // the region's extent; the far corner is (u + du, v + dv)
    float dv = 1.0f;
    bool owns = false;  // the record deletes its texture when destroyed or reloaded

    TextureInfo() = default;
    // A copy never owns: only the record it was made from deletes the texture.
    TextureInfo(const TextureInfo& other);
    TextureInfo& operator=(const TextureInfo& other);
    // A move hands the ownership over.
    TextureInfo(TextureInfo&& other) noexcept;
    TextureInfo& operator=(TextureInfo&& other) noexcept;
    ~TextureInfo();

    // Back to the defaults; an owned texture is deleted first.
    void Reset();
    // A new GL texture name that this record owns (the old one is deleted
    // when owned).
    void MakeFresh();
    // Deletes the texture when owned; the record then holds no texture.
    void Release();
};

// Loads an image file (PNG, JPEG, BMP or TGA; see ImageFile.h for the size
// limits) into a new GL texture: channels as in the file, rows
// inverted, nearest filtering, clamped at the edges; width and height as GL
// reports them. An owned texture in `out` is deleted first; `owns` and the
// region stay as they were. A file that cannot be loaded gives texture 0
// and size 0 x 0, and one line naming the file and the cause -- or, when
// `failure` is given, the cause there and no line. Returns whether a
// texture was made.
bool LoadTexture(const char* fileName, TextureInfo& out, std::string* failure = nullptr);

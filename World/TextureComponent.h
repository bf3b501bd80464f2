// Draws its object as one textured quad of the Transform's size, turned by
// its rotation, tinted by the graphics component's colour and optionally
// mirrored.
#pragma once

#include <lua.hpp>

#include "Graphics/TextureInfo.h"
#include "System/Source/Components/GenericComponent.h"

class TextureComponent : public System::GenericComponent {
public:
    TextureComponent() = default;

    const char* GetTypeName() const override;
    // 0: GL texture id = a1; 1: UV rectangle = (a1, a2, a3, a4); 2: the
    // atlas image of file a1. False for anything else.
    bool HandleMessage(const MessagePayload& payload) override;
    void Update(float) override {}
    void Draw() override;
    // The whole texture again.
    void OnEnable() override;

    // The atlas image of the file, drawn whole (its region of the atlas).
    void SetTexture(const char* fileName);
    // A value list whose first value names the image file.
    void SetTexture(const System::MetaArgs& values);
    // Shows what was drawn into a target: n from 1 into the graphics
    // layers, 0 the first post-processing pass. A target that does not
    // exist is reported and changes nothing.
    void SetTextureLayer(int n);
    void SetTextureId(unsigned texture);

    static System::GenericComponent* Create();
    static void RegisterMethods();
    static int LuaNew(lua_State* L);

    TextureInfo image;
    float u0 = 0.0f;
    float v0 = 0.0f;
    float u1 = 1.0f;
    float v1 = 1.0f;
    bool flip = false;  // mirror horizontally
};

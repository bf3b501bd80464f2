// Plays a sprite sheet: the texture is a grid of equal frames stepped
// through by elapsed time.
#pragma once

#include "World/TextureComponent.h"

class AnimationComponent : public TextureComponent {
public:
    AnimationComponent() = default;

    // The texture messages first, then 4: frame width, 5: frame height,
    // 6: loop start, 7 and 8: frame count, 9: frames per second. Every
    // message counts as handled.
    bool HandleMessage(const MessagePayload& payload) override;
    void Update(float dt) override;
    void Draw() override;

    static System::GenericComponent* Create();
    static int LuaNew(lua_State* L);

    int frame = 0;
    int frameCount = 0;  // the frame at which playback wraps
    int loopStart = 0;   // the frame it wraps back to
    float elapsed = 0.0f;
    float frameTime = 0.1f;  // seconds per frame
    float frameU0 = 0.0f;
    float frameV0 = 0.0f;
    float frameU1 = 0.0f;
    float frameV1 = 0.0f;
    int frameWidth = 0;  // pixels
    int frameHeight = 0;
};
